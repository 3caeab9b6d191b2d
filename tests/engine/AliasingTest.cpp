// High notes stay clean: the power that lies between the harmonics (folded back from above the
// rate) stays 40 dB under the note, for the shapes and the drive that reach furthest up.
#include "engine/sources/PhaseDistortion.h"
#include "support/VoiceMeasure.h"

#include <tuple>

using namespace quillon::test;

namespace
{
constexpr double limitDb = -40.0;

double offHarmonicPower (double rate, int note, const std::function<void (HostedVoice&)>& setup)
{
    HostedVoice voice (rate, 512);
    setup (voice);
    constexpr int order = 15;
    const auto settle = (size_t) (0.15 * rate);
    voice.noteOn (note);
    const auto x = voice.render ((int) settle + (1 << order));
    return offHarmonicDb (x, settle, midiHz (note), rate, order);
}

void respulse (HostedVoice& voice, float depth)
{
    voice.choose ("osc1Wave", "respulse");
    voice.set ("osc1DcwDepth", depth);
    voice.set ("osc1DcwSustain", 1.0f);
}
} // namespace

TEST (Aliasing, respulseStaysCleanUpHigh)
{
    for (double rate : { 44100.0, 48000.0 })
    {
        for (int note : { 72, 84, 96 })
            EXPECT_LT (offHarmonicPower (rate, note, [] (HostedVoice& v) { respulse (v, 0.5f); }), limitDb)
                << "depth 0.5, note " << note << " at " << rate;

        for (int note : { 72, 84 })
            EXPECT_LT (offHarmonicPower (rate, note, [] (HostedVoice& v) { respulse (v, 1.0f); }), limitDb)
                << "depth 1, note " << note << " at " << rate;
    }
}

// The band-limiting takes nothing from the shapes themselves: at C5 (depth 0.5) their first 16
// harmonics keep the levels their own series give them, relative to the fundamental; the pwm is
// the square of its default width.
TEST (Aliasing, resonantWavesAndThePwmKeepTheirHarmonics)
{
    constexpr int note = 72, count = 16, points = 4096;

    for (const auto& [wave, shape] : { std::pair { "ressaw", 5 }, { "restriangle", 6 }, { "restrapezoid", 7 },
                                       { "pwm", 8 }, { "respulse", 9 } })
    {
        HostedVoice voice (48000.0, 512);
        voice.choose ("osc1Wave", wave);
        voice.set ("osc1DcwDepth", 0.5f);
        voice.set ("osc1DcwSustain", 1.0f);
        voice.set ("filterEnabled", 0.0f); // the ladder at 20 kHz bends the upper harmonics a little
        const auto settle = (size_t) (0.15 * voice.sampleRate);
        voice.noteOn (note);
        const auto x = voice.render ((int) settle + (1 << 15));
        const auto heard = harmonicLevelsDb (x, settle, midiHz (note), voice.sampleRate, count);

        std::vector<double> series;
        for (int h = 1; h <= count; ++h)
        {
            double re = 0.0, im = 0.0;
            for (int i = 0; i < points; ++i)
            {
                const auto p = ((double) i + 0.5) / points;
                const auto y = (double) quillon::phaseDistortionShape (shape, (float) p, 0.5f, 16.0f);
                re += y * std::cos (juce::MathConstants<double>::twoPi * h * p);
                im += y * std::sin (juce::MathConstants<double>::twoPi * h * p);
            }
            series.push_back (10.0 * std::log10 (re * re + im * im));
        }

        for (int h = 2; h <= count; ++h)
            if (series[(size_t) h - 1] - series[0] > -40.0)
            {
                EXPECT_NEAR (heard[(size_t) h - 1] - heard[0], series[(size_t) h - 1] - series[0], 1.0)
                    << wave << ", harmonic " << h;
            }
    }
}

TEST (Aliasing, foldDriveStaysCleanUpHigh)
{
    for (double rate : { 44100.0, 48000.0 })
        for (int note : { 72, 84, 96 })
            EXPECT_LT (offHarmonicPower (rate, note, [] (HostedVoice& v)
                                         {
                                             v.choose ("driveMode", "fold");
                                             v.set ("drive", 24.0f);
                                         }),
                       limitDb)
                << "note " << note << " at " << rate;
}

// The fold at 24 dB on the bright waves at full DCW, and the resonant ones at 0.3 as well: their
// own partials near the 2x and 8x rates' multiples, the images its input's interpolation leaves
// and the source's partials above the base rate's Nyquist frequency stay out of the band. The
// fold's gain lifts what a source aliases by some 40 dB, so the resonant shapes' bends at their
// edges, 75 dB down without it, must be band-limited too.
TEST (Aliasing, foldDriveOnBrightWavesStaysCleanUpHigh)
{
    const std::vector<int> all { 72, 84, 96 };
    const std::tuple<const char*, float, std::vector<int>> waves[] = {
        { "saw", 1.0f, all }, { "square", 1.0f, all }, { "pulse", 1.0f, all }, { "sinepulse", 1.0f, all },
        { "halfsine", 1.0f, all }, { "ressaw", 1.0f, all }, { "restriangle", 1.0f, all }, { "restrapezoid", 1.0f, all },
        { "respulse", 1.0f, all }, { "pwm", 1.0f, all }, { "ressaw", 0.3f, all }, { "restriangle", 0.3f, all },
        { "restrapezoid", 0.3f, all }, { "respulse", 0.3f, all }
    };

    for (double rate : { 44100.0, 48000.0 })
        for (const auto& [wave, depth, notes] : waves)
            for (int note : notes)
                EXPECT_LT (offHarmonicPower (rate, note, [name = wave, dcw = depth] (HostedVoice& v)
                                             {
                                                 v.choose ("driveMode", "fold");
                                                 v.set ("drive", 24.0f);
                                                 v.choose ("osc1Wave", name);
                                                 v.set ("osc1DcwDepth", dcw);
                                                 v.set ("osc1DcwSustain", 1.0f);
                                             }),
                           limitDb)
                    << wave << " at depth " << depth << ", note " << note << " at " << rate;
}

// Every wave at full DCW, and the soft and diode curves at 24 dB, at C6 and C7: what was clean
// before the fold and the respulse were mended stays so.
TEST (Aliasing, everyWaveAndCurveStaysCleanUpHigh)
{
    for (double rate : { 44100.0, 48000.0 })
        for (int note : { 84, 96 })
        {
            for (const auto* wave : { "saw", "square", "pulse", "sinepulse", "halfsine", "ressaw", "restriangle", "restrapezoid", "pwm" })
                EXPECT_LT (offHarmonicPower (rate, note, [wave] (HostedVoice& v)
                                             {
                                                 v.choose ("osc1Wave", wave);
                                                 v.set ("osc1DcwDepth", 1.0f);
                                                 v.set ("osc1DcwSustain", 1.0f);
                                             }),
                           limitDb)
                    << wave << ", note " << note << " at " << rate;

            for (const auto* curve : { "soft", "diode" })
                EXPECT_LT (offHarmonicPower (rate, note, [curve] (HostedVoice& v)
                                             {
                                                 v.choose ("driveMode", curve);
                                                 v.set ("drive", 24.0f);
                                                 v.choose ("osc1Wave", "square");
                                             }),
                           limitDb)
                    << curve << " drive, note " << note << " at " << rate;
        }
}
