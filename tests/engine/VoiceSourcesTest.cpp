#include "engine/sources/VoiceSources.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

using namespace quillon;

namespace
{
constexpr double baseRate = 48000.0;
constexpr int stretchLength = VoiceSources::stretchLength;

bool sameBits (float a, float b)
{
    return std::memcmp (&a, &b, sizeof (float)) == 0;
}

// A moving frame: both oscillators audible, osc 2's halves parting from `partsAt` on, morph,
// depth and width moving, noise before and after decimation.
SourceFrame frameAt (int j, int partsAt)
{
    SourceFrame f;
    const auto t = (float) j;
    const auto note = 55.0f + 0.25f * t;
    f.frequency = { note, note, 1.5f * note, 1.5f * note * (j >= partsAt ? 1.003f : 1.0f) };
    f.depth1 = 0.2f + 0.01f * t;
    f.depth2 = 0.9f - 0.01f * t;
    f.width1 = 0.3f;
    f.width2 = 0.6f;
    f.morph = j % 40 < 20 ? 0.0f : 0.35f;
    f.osc1Gain = 0.8f;
    f.osc2Gain = 0.5f;
    f.subGain = 0.4f;
    f.subFrequency = 0.5f * note;
    f.subDcw = 0.3f;
    f.preNoise = j % 50 < 25 ? 0.1f : 0.0f;
    f.postNoise = j % 30 < 10 ? 0.05f : 0.0f;
    f.audible1 = f.audible2 = true;
    return f;
}

struct Rendered
{
    std::vector<float> left, right, sub, postLeft, postRight;
};

void prepareSources (VoiceSources& sources, const SourceSettings& settings)
{
    sources.prepare (baseRate, 512);
    sources.jumpToSettings (settings);

    for (int unit = 0; unit < numUnits; ++unit)
        sources.dcwEnvelope (unit).trigger();
}

// Renders `stretches` stretches, sample by sample or each source in a loop of its own.
Rendered render (VoiceSources& sources, int stretches, int partsAt, bool inLoops)
{
    Rendered r;
    SourceFrame frames[stretchLength];
    sources.beginChunk();

    for (int s = 0; s < stretches; ++s)
    {
        sources.beginStretch();

        for (int j = 0; j < stretchLength; ++j)
        {
            const auto at = s * stretchLength + j;
            frames[j] = frameAt (at, partsAt);

            if (frames[j].frequency[osc2Left] != frames[j].frequency[osc2Right])
                sources.partOsc2 (j, inLoops);

            if (! inLoops)
                sources.renderSample (frames[j], j, j);
        }

        if (inLoops)
            sources.renderStretch (frames, 0, stretchLength);

        const auto& out = sources.signals();
        r.left.insert (r.left.end(), out.left.begin(), out.left.end());
        r.right.insert (r.right.end(), out.right.begin(), out.right.end());
        r.sub.insert (r.sub.end(), out.sub.begin(), out.sub.end());
        r.postLeft.insert (r.postLeft.end(), sources.postNoiseLeft(), sources.postNoiseLeft() + stretchLength);
        r.postRight.insert (r.postRight.end(), sources.postNoiseRight(), sources.postNoiseRight() + stretchLength);
    }

    sources.endChunk();
    return r;
}
} // namespace

// The loops are a shortcut: every signal, the noise drawn from the generators in its order and the
// twin pair parting halfway through a stretch, must come out as the sample-by-sample path's bits.
TEST (VoiceSources, stretchInLoopsGivesTheSampleBySampleBits)
{
    for (const auto ring : { 0, 1 })
        for (const auto wave : { 0, 5, 8 })
        {
            SourceSettings settings;
            settings.wave1 = wave;
            settings.wave2 = (wave + 3) % numWaveShapes;
            settings.subMode = 1;
            settings.subWave = 2;
            settings.noiseColour = NoiseSource::pink;
            settings.mixMode = ring;

            VoiceSources loops, samples;
            prepareSources (loops, settings);
            prepareSources (samples, settings);
            const auto partsAt = 3 * stretchLength + 13;
            const auto a = render (loops, 6, partsAt, true);
            const auto b = render (samples, 6, partsAt, false);

            for (size_t i = 0; i < a.left.size(); ++i)
            {
                ASSERT_TRUE (sameBits (a.left[i], b.left[i])) << "wave " << wave << " ring " << ring << " left " << i;
                ASSERT_TRUE (sameBits (a.right[i], b.right[i])) << "wave " << wave << " ring " << ring << " right " << i;
                ASSERT_TRUE (sameBits (a.sub[i], b.sub[i])) << "wave " << wave << " sub " << i;
                ASSERT_TRUE (std::isfinite (a.left[i]) && std::isfinite (a.right[i]));
            }

            for (size_t i = 0; i < a.postLeft.size(); ++i)
            {
                ASSERT_TRUE (sameBits (a.postLeft[i], b.postLeft[i])) << "post noise " << i;
                ASSERT_TRUE (sameBits (a.postRight[i], b.postRight[i])) << "post noise " << i;
            }

            // Once parted, the right side of osc 2 is its own: the sides differ.
            auto differing = 0;

            for (size_t i = 2 * (size_t) partsAt; i < a.left.size(); ++i)
                differing += a.left[i] != a.right[i] ? 1 : 0;

            EXPECT_GT (differing, 0) << "wave " << wave << " ring " << ring;
        }
}

// A wave switch fades for 5 ms from the old sources, which run on: no step at the switch, and
// after the fade the new wave alone.
TEST (VoiceSources, switchFadesWithoutAStepAndEndsOnTheNewSettings)
{
    SourceSettings saw;
    SourceSettings square = saw;
    square.wave1 = 1;

    VoiceSources faded, direct;
    prepareSources (faded, saw);
    prepareSources (direct, saw);
    faded.beginChunk();
    direct.beginChunk();
    auto frame = frameAt (0, 1 << 30);
    frame.osc2Gain = 0.0f;
    frame.audible2 = false;
    frame.preNoise = frame.postNoise = 0.0f;
    frame.frequency = { 220.0f, 220.0f, 330.0f, 330.0f };
    frame.depth1 = 1.0f;
    frame.morph = 0.0f;
    float last = 0.0f, largestStep = 0.0f, largestDirectStep = 0.0f, lastDirect = 0.0f;
    const auto fadeSamples = (int) std::lround (0.005 * 2.0 * baseRate);

    for (int j = 0; j < 2 * fadeSamples; ++j)
    {
        if (j == 100)
        {
            faded.refreshSettings (square);
            direct.jumpToSettings (square);
            EXPECT_TRUE (faded.isFading());
            EXPECT_EQ (faded.fadingFrom().wave1, 0);
        }

        faded.renderSample (frame, 0, 0);
        direct.renderSample (frame, 0, 0);

        for (int half = 0; half < 2; ++half)
        {
            const auto v = faded.signals().left[(size_t) half], d = direct.signals().left[(size_t) half];
            ASSERT_TRUE (std::isfinite (v));

            if (j >= 100 && j < 104)
            {
                largestStep = std::max (largestStep, std::abs (v - last));
                largestDirectStep = std::max (largestDirectStep, std::abs (d - lastDirect));
            }

            last = v;
            lastDirect = d;
        }
    }

    EXPECT_FALSE (faded.isFading());
    EXPECT_EQ (faded.settings().wave1, 1);
    EXPECT_LT (largestStep, 0.5f * largestDirectStep);
    EXPECT_EQ (faded.signals().left[1], direct.signals().left[1]);
}
