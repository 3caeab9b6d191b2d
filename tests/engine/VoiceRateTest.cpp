// The voice's tone does not hang on the host's rate: a phase-distortion saw at full depth keeps
// its harmonics' levels from 44.1 to 192 kHz, as heard at 48 kHz.
#include "support/VoiceMeasure.h"

using namespace quillon::test;

namespace
{
// Harmonics 1..8 of a held note of a full-depth saw.
std::vector<double> sawHarmonics (double rate, int note)
{
    HostedVoice voice (rate, 512);
    voice.set ("osc1DcwDepth", 1.0f);
    voice.set ("osc1DcwSustain", 1.0f);
    const auto order = rate > 100000.0 ? 16 : (rate > 50000.0 ? 15 : 14);
    const auto settle = (size_t) (0.2 * rate);
    voice.noteOn (note);
    const auto x = voice.render ((int) settle + (1 << order));
    return harmonicLevelsDb (x, settle, midiHz (note), rate, 8, order);
}
} // namespace

TEST (VoiceRate, fullDepthSawKeepsItsHarmonicsAtEveryHostRate)
{
    for (int note : { 48, 72, 84 })
    {
        const auto reference = sawHarmonics (48000.0, note);

        for (double rate : { 44100.0, 96000.0, 192000.0 })
        {
            const auto levels = sawHarmonics (rate, note);
            for (int h = 2; h <= 8; ++h)
                EXPECT_NEAR (levels[(size_t) h - 1] - levels[0], reference[(size_t) h - 1] - reference[0], 3.0)
                    << "note " << note << " at " << rate << " Hz, harmonic " << h;
        }
    }
}
