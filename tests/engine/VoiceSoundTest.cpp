// The voice as a musician hears it: hard sync and the pulse without aliasing or offset, drive that
// leaves 0 dB without a click, repeatable attacks from silence, and a NaN that cannot latch.
#include "DspTestTools.h"
#include "EngineTestRig.h"

#include <gtest/gtest.h>

#include <limits>

using namespace quillon;
using namespace quillon::test;

namespace
{
constexpr double rate = 48000.0, oversampledRate = 2.0 * rate;

// Largest sample-to-sample difference in x[from, to).
float largestStep (const std::vector<float>& x, size_t from, size_t to)
{
    float step = 0.0f;
    for (size_t i = std::max<size_t> (from, 1); i < std::min (to, x.size()); ++i)
        step = std::max (step, std::abs (x[i] - x[i - 1]));
    return step;
}

// Power away from the harmonics of f0 (below 20 kHz), relative to all power there, in dB.
double inharmonicDb (const std::vector<float>& x, double f0, size_t skip)
{
    size_t position = skip;
    const auto power = averagePowerSpectrum ([&] { return position < x.size() ? x[position++] : 0.0f; },
                                             (int) ((x.size() - skip) / 4096));
    const auto binHz = rate / 4096.0;
    double all = 0.0, inharmonic = 0.0;

    for (size_t k = 1; k < power.size() && (double) k * binHz < 20000.0; ++k)
    {
        const auto hz = (double) k * binHz;
        all += power[k];
        if (std::abs (hz - std::round (hz / f0) * f0) > 5.0 * binHz)
            inharmonic += power[k];
    }

    return 10.0 * std::log10 (inharmonic / all);
}

// A naive waveform generated at the 2x rate and brought down by the voice's own decimator:
// what the voice would put out without any band-limiting of its own.
std::vector<float> decimatedNaive (const std::function<float (int)>& sampleAt2x, int numSamples)
{
    juce::dsp::Oversampling<float> oversampler (1, 1, juce::dsp::Oversampling<float>::filterHalfBandPolyphaseIIR, true, false);
    constexpr int block = 512;
    oversampler.initProcessing (block);
    juce::AudioBuffer<float> base (1, block);
    std::vector<float> out;
    int n = 0;

    for (int start = 0; start < numSamples; start += block)
    {
        base.clear();
        juce::dsp::AudioBlock<float> baseBlock (base);
        auto up = oversampler.processSamplesUp (baseBlock);
        for (size_t i = 0; i < up.getNumSamples(); ++i)
            up.setSample (0, (int) i, sampleAt2x (n++));
        oversampler.processSamplesDown (baseBlock);
        out.insert (out.end(), base.getReadPointer (0), base.getReadPointer (0) + block);
    }

    out.resize ((size_t) numSamples);
    return out;
}

double frac (double x) { return x - std::floor (x); }

// Osc 2 alone at full level: with the filter out and the drive at 0 dB the chain passes it unchanged.
void osc2AloneAndClean (EngineRig& rig)
{
    rig.set ("osc1Level", -90.0f);
    rig.set ("osc2Level", 0.0f);
    rig.set ("filterEnabled", 0.0f);
}
} // namespace

//==============================================================================
TEST (VoiceSync, slaveAliasesFarLessThanAnUncorrectedReset)
{
    // Osc 2 (a plain cosine) synced to a silent osc 1 at 2.37 times its frequency; masters near
    // 300 Hz and 1.5 kHz.
    const auto semitones = 15.0 - 0.053;
    const auto ratio = std::pow (2.0, semitones / 12.0);

    for (int note : { 65, 93 })
    {
        EngineRig rig;
        osc2AloneAndClean (rig);
        rig.set ("syncOsc2", 1.0f);
        rig.set ("osc1Semitone", -3.0f);
        rig.set ("osc2Semitone", 12.0f);
        rig.set ("osc2Detune", -5.3f);
        rig.set ("phaseMode", 0.0f);
        rig.engine.noteOn (note, 1.0f, false);
        const auto synced = rig.render (72000);
        const auto master = noteHz (note - 3);

        const auto naive = decimatedNaive ([&] (int n)
        {
            const auto masterPhase = frac ((double) n * master / oversampledRate);
            return (float) std::cos (juce::MathConstants<double>::twoPi * frac (masterPhase * ratio));
        }, 72000);

        const auto corrected = inharmonicDb (synced, master, 4800);
        const auto uncorrected = inharmonicDb (naive, master, 4800);
        EXPECT_LT (corrected, uncorrected - 10.0) << "master " << master << " Hz";
        // The decimator's half-band filter alone overshoots a step by about 17 %.
        EXPECT_LT (peak (synced, 4800), 1.3f);
    }
}

//==============================================================================
TEST (VoicePulse, aliasesFarLessThanANaivePulse)
{
    // Notes near 1, 3 and 6 kHz, at two widths.
    for (int note : { 83, 102, 114 })
        for (float width : { 0.5f, 0.3f })
        {
            EngineRig rig;
            rig.set ("osc1Wave", 8.0f);
            rig.set ("osc1PulseWidth", width);
            rig.set ("filterEnabled", 0.0f);
            rig.engine.noteOn (note, 1.0f, false);
            const auto pulse = rig.render (72000);
            const auto f0 = noteHz (note);
            const auto naive = decimatedNaive ([&] (int n)
            {
                return frac ((double) n * f0 / oversampledRate) < width ? 1.0f : -1.0f;
            }, 72000);

            EXPECT_LT (inharmonicDb (pulse, f0, 4800), inharmonicDb (naive, f0, 4800) - 12.0)
                << f0 << " Hz, width " << width;
        }
}

TEST (VoicePulse, ringModeCarriesNoLineOfTheOtherOscillator)
{
    // A zero-mean pulse times a cosine holds only sidebands around the pulse's harmonics: nothing
    // at the cosine's own frequency.
    EngineRig rig;
    rig.set ("mode", 1.0f);
    rig.set ("osc1Wave", 8.0f);
    rig.set ("osc1PulseWidth", 0.2f);
    rig.set ("osc2Level", 0.0f);
    rig.set ("osc2Semitone", 5.0f);
    rig.set ("filterEnabled", 0.0f);
    rig.set ("monoLowEnabled", 0.0f);
    rig.engine.noteOn (45, 1.0f, false);
    const auto ring = rig.render (48000);
    const auto other = noteHz (50);
    EXPECT_LT (amplitudeAt (ring, other, rate, 9600), 0.0316); // 30 dB below the cosine alone
    EXPECT_GT (rms (ring, 9600), 0.2);
}

//==============================================================================
namespace
{
// A held C2 cosine over `blocks` blocks of 256 samples, `atBlock` setting parameters before each.
std::vector<float> renderThroughChange (EngineRig& rig, const std::function<void (EngineRig&, int block)>& atBlock, int blocks)
{
    std::vector<float> out;
    rig.engine.noteOn (36, 1.0f, false);

    for (int b = 0; b < blocks; ++b)
    {
        atBlock (rig, b);
        const auto chunk = rig.render (256);
        out.insert (out.end(), chunk.begin(), chunk.end());
    }

    return out;
}

float steadyStep (int curve, const std::function<void (EngineRig&)>& settings)
{
    EngineRig rig;
    rig.set ("driveMode", (float) curve);
    rig.set ("phaseMode", 0.0f);
    settings (rig);
    const auto out = renderThroughChange (rig, [] (EngineRig&, int) {}, 150);
    return largestStep (out, 9600, out.size());
}
} // namespace

TEST (VoiceDrive, leavingZeroDecibelsNeverClicks)
{
    const auto at = [] (float db) { return [db] (EngineRig& rig) { rig.set ("drive", db); }; };

    for (int curve = 0; curve < 3; ++curve)
    {
        SCOPED_TRACE (curve);
        const auto driveAt = [curve] (EngineRig& rig) { rig.set ("driveMode", (float) curve); rig.set ("phaseMode", 0.0f); };

        // Stepped off 0 dB (the knob's smoothing ramps it), with and without the make-up.
        for (float target : { 0.5f, 3.0f, 12.0f })
            for (float makeup : { 0.0f, 1.0f })
            {
                const auto withMakeup = [makeup] (EngineRig& rig) { rig.set ("driveAutoMakeup", makeup); };
                const auto steady = std::max (steadyStep (curve, [&] (EngineRig& r) { withMakeup (r); at (0.0f) (r); }),
                                              steadyStep (curve, [&] (EngineRig& r) { withMakeup (r); at (target) (r); }));
                EngineRig rig;
                driveAt (rig);
                withMakeup (rig);
                const auto out = renderThroughChange (rig, [target] (EngineRig& r, int b) { if (b == 50) r.set ("drive", target); }, 100);
                EXPECT_LE (largestStep (out, 9600, out.size()), 2.0f * steady) << "to " << target << " dB, make-up " << makeup;
            }

        // Dragged up from 0 dB, a new value every block.
        {
            const auto steady = std::max (steadyStep (curve, at (0.0f)), steadyStep (curve, at (6.0f)));
            EngineRig rig;
            driveAt (rig);
            const auto out = renderThroughChange (rig, [] (EngineRig& r, int b) { r.set ("drive", std::clamp ((float) (b - 40) * 0.1f, 0.0f, 6.0f)); }, 120);
            EXPECT_LE (largestStep (out, 9600, out.size()), 2.0f * steady) << "dragged";
        }

        // An LFO slot swinging the drive 2.4 dB either side of 0 dB.
        {
            const auto lfo = [] (EngineRig& rig)
            {
                rig.set ("mod2Source", (float) ModSource::lfo1);
                rig.set ("mod2Dest", (float) ModDestination::drive);
                rig.set ("mod2Amount", 0.1f);
                rig.set ("lfo1Depth", 1.0f);
                rig.set ("lfo1Rate", 4.0f);
            };
            const auto steady = std::max (steadyStep (curve, at (0.0f)), steadyStep (curve, at (2.4f)));
            EngineRig rig;
            driveAt (rig);
            lfo (rig);
            const auto out = renderThroughChange (rig, [] (EngineRig&, int) {}, 200);
            EXPECT_LE (largestStep (out, 9600, out.size()), 2.0f * steady) << "lfo";
        }

        // Velocity to drive: a soft note retriggered hard while it sounds.
        {
            const auto velocity = [] (EngineRig& rig) { rig.set ("velToDrive", 1.0f); };
            const auto steady = std::max (steadyStep (curve, at (0.0f)), steadyStep (curve, at (12.0f)));
            EngineRig rig;
            driveAt (rig);
            velocity (rig);
            rig.set ("drive", 12.0f);
            rig.engine.noteOn (36, 0.0f, false);
            auto out = rig.render (12000);
            rig.engine.noteOn (36, 1.0f, false);
            const auto after = rig.render (12000);
            out.insert (out.end(), after.begin(), after.end());
            EXPECT_LE (largestStep (out, 4800, out.size()), 2.0f * steady) << "velocity";
        }
    }
}

//==============================================================================
TEST (VoiceNotes, attacksFromSilenceAreRepeatable)
{
    // A voice with state everywhere: a detuned pair, the sub, a resonant filter, fold drive and
    // feedback. Each note from silence starts the same way, in "first" and in "per" mode.
    for (float phaseMode : { 1.0f, 2.0f })
    {
        EngineRig rig;
        const std::pair<const char*, float> settings[] = {
            { "phaseMode", phaseMode }, { "osc2Level", -3.0f }, { "osc2Detune", 13.0f }, { "osc2PhaseOffset", 90.0f },
            { "subLevel", -6.0f }, { "filterCutoff", 700.0f }, { "filterReso", 0.5f }, { "drive", 9.0f },
            { "driveMode", 2.0f }, { "feedbackAmount", 0.4f }, { "ampRelease", 0.05f },
        };
        for (auto [id, value] : settings)
            rig.set (id, value);

        std::vector<std::vector<float>> attacks;

        for (int take = 0; take < 3; ++take)
        {
            rig.engine.noteOn (40, 1.0f, false);
            attacks.push_back (rig.render (480));
            rig.render (7000 + 1234 * take); // a different stale phase each time
            rig.engine.releaseAll();
            rig.render (9600);
            ASSERT_FALSE (rig.engine.isActive());
        }

        for (size_t take = 1; take < attacks.size(); ++take)
            for (size_t i = 0; i < 480; ++i)
                ASSERT_NEAR (attacks[take][i], attacks[0][i], 1.0e-5f) << "mode " << phaseMode << " take " << take << " sample " << i;

        EXPECT_GT (peak (attacks[0]), 0.1f);
    }
}

//==============================================================================
TEST (VoiceHardening, aNonFiniteValueNeverLatches)
{
    // A NaN or infinity reaching the voice for one block (a broken host value) silences at most
    // that stretch: no state keeps it, and the voice sounds again once the value is sane.
    const std::pair<const char*, float> entries[] = {
        { "filterCutoff", 800.0f }, { "feedbackTone", 2500.0f }, { "osc1Fine", 0.0f }, { "lfo1Rate", 1.0f },
        { "reeseBeat", 1.0f }, { "filterReso", 0.5f }, { "osc2Detune", 9.0f },
    };

    for (auto [id, sane] : entries)
        for (float bad : { std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity() })
        {
            SCOPED_TRACE (id);
            EngineRig rig;
            const std::pair<const char*, float> settings[] = {
                { "osc2Level", -3.0f }, { "osc2Detune", 9.0f }, { "reeseBeat", 1.0f }, { "filterCutoff", 800.0f },
                { "filterReso", 0.5f }, { "feedbackAmount", 0.6f }, { "filterModel", 3.0f }, { "phaseStereo", 0.4f },
                { "mod2Source", (float) ModSource::lfo1 }, { "mod2Dest", (float) ModDestination::pitch },
                { "mod2Amount", 0.01f }, { "lfo1Depth", 1.0f }, { "lfo1Rate", 1.0f },
            };
            for (auto [other, value] : settings)
                rig.set (other, value);

            rig.engine.noteOn (40, 1.0f, false);
            rig.render (4800);
            rig.set (id, bad);
            auto out = rig.render (256);
            rig.set (id, sane);
            const auto after = rig.render (24000);
            out.insert (out.end(), after.begin(), after.end());

            for (size_t i = 0; i < out.size(); ++i)
                ASSERT_TRUE (std::isfinite (out[i])) << "sample " << i;

            EXPECT_GT (rms (out, out.size() - 4800), 0.05);
        }
}
