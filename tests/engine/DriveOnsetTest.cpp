// Drive just above 0 dB: the curve acts as itself (a soft curve at 3 dB gives tanh (g) / g of a
// full-scale tone, not a straight line's level), and moving the drive across 0 dB by a step, a
// host ramp or an LFO never clicks.
#include "support/VoiceMeasure.h"

using namespace quillon::test;

namespace
{
constexpr int note = 48;

float heldPeak (float driveDb)
{
    HostedVoice voice;
    voice.choose ("driveMode", "soft");
    voice.set ("drive", driveDb);
    voice.noteOn (note);
    const auto x = voice.render (24000);
    return peakOf (x, 12000);
}

// The largest step after the drive moves, against the steady steps either side.
double stepRatio (const char* mode, const std::function<void (HostedVoice&, int)>& move, bool lfo = false)
{
    HostedVoice voice (48000.0, 32);
    voice.choose ("driveMode", mode);
    if (lfo)
    {
        voice.choose ("mod2Source", "lfo 1");
        voice.choose ("mod2Dest", "drive");
        voice.set ("mod2Amount", 0.1f);
        voice.set ("lfo1Depth", 1.0f);
        voice.set ("lfo1Rate", 8.0f);
    }
    voice.noteOn (note);
    const auto x = voice.render (48000, [&] (int start) { move (voice, start); });
    const auto steady = std::max (largestStep (x, 9600, 14400), largestStep (x, 40000, 48000));
    return largestStep (x, 14400, 40000) / steady;
}
} // namespace

TEST (DriveOnset, softCurveActsWholeAtThreeDecibels)
{
    const auto straight = heldPeak (0.0f);
    const auto g = std::pow (10.0f, 3.0f / 20.0f);
    EXPECT_NEAR (heldPeak (3.0f) / straight, std::tanh (g) / g, 0.05);
}

TEST (DriveOnset, movingAcrossZeroDecibelsNeverClicks)
{
    for (const auto* mode : { "soft", "diode", "fold" })
    {
        SCOPED_TRACE (mode);
        // Stepped up and back down in one block each.
        EXPECT_LE (stepRatio (mode, [] (HostedVoice& v, int start)
                              {
                                  if (start == 19200) v.set ("drive", 1.5f);
                                  if (start == 28800) v.set ("drive", 0.0f);
                              }), 2.0);
        // A 50 ms host ramp from 0 to 3 dB.
        EXPECT_LE (stepRatio (mode, [] (HostedVoice& v, int start)
                              {
                                  if (start >= 19200 && start < 21600)
                                      v.set ("drive", 3.0f * (float) (start - 19200) / 2400.0f);
                              }), 2.0);
        // An LFO on the drive around 0 dB.
        EXPECT_LE (stepRatio (mode, [] (HostedVoice&, int) {}, true), 2.0);
    }
}
