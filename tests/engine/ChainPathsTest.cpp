// The chain's ways through a stretch (sample by sample on its members, the stretch runner, both
// sides in lanes, the linear groups) give the same bits, for every curve, model and order, with
// and without feedback, with frames that hold or move, and sides that agree or differ.
#include "engine/chain/VoiceChain.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iomanip>
#include <random>
#include <sstream>
#include <vector>

using namespace quillon;

namespace
{
struct ChainCase
{
    int driveMode, model, position;
    float driveGain, feedback;
    bool moving, sidesDiffer;
};

constexpr int stretchLength = VoiceChain::maxStretch;
constexpr int stretchesPerChunk = 4, chunks = 6;

ChainFrame frameAt (const ChainCase& c, float t) noexcept
{
    ChainFrame f;
    const auto sweep = c.moving ? t : 0.5f;
    f.drivePre = c.driveGain * (c.moving ? 1.0f + sweep : 1.0f);
    f.drivePost = 1.0f / std::sqrt (f.drivePre);
    f.driveMix = 0.8f;
    f.filterBlend = 1.0f;
    f.cutoff = 300.0f + 6000.0f * sweep;
    f.resonance = c.moving ? 0.9f * sweep : 0.0f;
    f.phaseMix = 0.6f;
    f.phaseNotch = 1.0f;
    f.phaseSpread = c.sidesDiffer ? 0.3f : 0.0f;
    f.feedbackAmount = c.feedback;
    f.feedbackCoefficient = 0.2f;
    f.subSend = 0.7f;
    return f;
}

// Both outputs of the chain over chunks of stretches; `shortcuts` false takes the sample-by-sample
// path on the chain's members.
std::vector<float> render (const ChainCase& c, bool shortcuts)
{
    VoiceChain chain;
    chain.prepare (96000.0);
    chain.jumpSwitches ({ c.driveMode, c.model, c.position, 0 }, false);
    chain.clearSignalState();

    std::mt19937 random (7);
    std::uniform_real_distribution<float> noise (-0.05f, 0.05f);
    std::vector<ChainFrame> frames ((size_t) stretchLength);
    alignas (16) float left[2 * stretchLength], right[2 * stretchLength], sub[2 * stretchLength];
    alignas (16) float outLeft[2 * stretchLength], outRight[2 * stretchLength];
    std::vector<float> out;
    auto phase = 0.0f, phaseRight = 0.0f, subPhase = 0.0f;

    for (int chunk = 0; chunk < chunks; ++chunk)
    {
        chain.beginChunk();

        for (int n = 0; n < stretchesPerChunk; ++n)
        {
            const auto first = (chunk * stretchesPerChunk + n) * stretchLength;

            for (int k = 0; k < stretchLength; ++k)
                frames[(size_t) k] = frameAt (c, (float) (first + k) / (float) (chunks * stretchesPerChunk * stretchLength));

            for (int i = 0; i < 2 * stretchLength; ++i)
            {
                phase = std::fmod (phase + 0.0031f, 1.0f);
                phaseRight = std::fmod (phaseRight + (c.sidesDiffer ? 0.0033f : 0.0031f), 1.0f);
                subPhase = std::fmod (subPhase + 0.00155f, 1.0f);
                const auto grain = noise (random);
                left[i] = 0.6f * (2.0f * phase - 1.0f) + grain;
                right[i] = 0.6f * (2.0f * phaseRight - 1.0f) + (c.sidesDiffer ? -grain : grain);
                sub[i] = 0.4f * std::sin (6.2831853f * subPhase);
            }

            VoiceChain::Stretch s;
            s.frames = frames.data();
            s.count = stretchLength;
            s.settled = ! c.moving;
            s.shortcuts = shortcuts;
            s.left = left;
            s.right = right;
            s.sub = sub;
            chain.render (s, outLeft, outRight);
            out.insert (out.end(), outLeft, outLeft + 2 * stretchLength);
            out.insert (out.end(), outRight, outRight + 2 * stretchLength);
        }

        chain.endChunk();
    }

    return out;
}

// Where the two first part, for the failure message.
std::string firstDifference (const std::vector<float>& a, const std::vector<float>& b)
{
    for (size_t i = 0; i < a.size(); ++i)
        if (std::memcmp (&a[i], &b[i], sizeof (float)) != 0)
        {
            std::ostringstream text;
            text << "sample " << i << ": " << std::setprecision (9) << a[i] << " against " << b[i];
            return text.str();
        }

    return "none";
}
} // namespace

TEST (ChainPaths, everyWayThroughAStretchGivesTheSameBits)
{
    auto heard = 0;

    for (const auto driveMode : { (int) DriveStage::soft, (int) DriveStage::diode, (int) DriveStage::fold })
        for (int model = 0; model < FilterStage::numModels; ++model)
            for (const auto position : { 0, 1 })
                for (const auto driveGain : { 1.0f, 6.0f })
                    for (const auto feedback : { 0.0f, 0.6f })
                        for (const auto moving : { false, true })
                            for (const auto sidesDiffer : { false, true })
                            {
                                const ChainCase c { driveMode, model, position, driveGain, feedback, moving, sidesDiffer };
                                const auto fast = render (c, true);
                                const auto plain = render (c, false);
                                ASSERT_EQ (fast.size(), plain.size());
                                EXPECT_EQ (std::memcmp (fast.data(), plain.data(), fast.size() * sizeof (float)), 0)
                                    << "curve " << driveMode << ", model " << model << ", order " << position << ", gain "
                                    << driveGain << ", feedback " << feedback << (moving ? ", moving" : ", held")
                                    << (sidesDiffer ? ", sides apart" : ", sides alike") << ": first difference at "
                                    << firstDifference (fast, plain);

                                for (const auto x : fast)
                                    heard += std::abs (x) > 1.0e-3f ? 1 : 0;
                            }

    // Not a comparison of silences.
    EXPECT_GT (heard, 100000);
}
