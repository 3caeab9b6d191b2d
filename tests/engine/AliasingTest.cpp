// High notes stay clean: the power that lies between the harmonics (folded back from above the
// rate) stays 40 dB under the note, for the shapes and the drive that reach furthest up.
#include "support/VoiceMeasure.h"

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

TEST (Aliasing, DISABLED_respulseStaysCleanUpHigh)
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

TEST (Aliasing, DISABLED_foldDriveStaysCleanUpHigh)
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
