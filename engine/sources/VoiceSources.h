#pragma once

#include "engine/control/Envelope.h"
#include "engine/sources/NoiseSource.h"
#include "engine/sources/PdOscillator.h"
#include "engine/sources/SourceFrame.h"

#include <array>
#include <cstdint>
#include <vector>

namespace quillon
{

// The sources pass: the four oscillator units, the sub, the noise, the copies a switch fades from
// and the mix. It turns the control pass's frames into the 2x source signals (both sides' mixes
// and the sub) and the base-rate noise that goes in after decimation.
class VoiceSources
{
public:
    static constexpr int stretchLength = 32; // base-rate samples per stretch at most

    VoiceSources() noexcept;
    VoiceSources (const VoiceSources&) = delete; // the units point at their sync partners
    VoiceSources& operator= (const VoiceSources&) = delete;

    // Message thread, while audio is stopped: the units run at twice baseRate, the noise at it.
    void prepare (double baseRate, int maxBlockSize);

    //==============================================================================
    // Per chunk.
    void setSync (bool sync1, bool sync2) noexcept;
    bool isMutuallySynced() const noexcept { return units[osc1Left].isSyncEnabled() && units[osc2Left].isSyncEnabled(); }

    // A change fades for 5 ms from a copy of the sources that runs on with the old settings; a
    // change that comes while that fade runs waits for a later call.
    void refreshSettings (const SourceSettings& wanted) noexcept;
    // At once, without a fade: into a voice from silence.
    void jumpToSettings (const SourceSettings& wanted) noexcept;
    const SourceSettings& settings() const noexcept { return current; }
    bool isFading() const noexcept                  { return fade.countdown > 0; }
    const SourceSettings& fadingFrom() const noexcept { return fade.old; }

    void resetPhases (float osc2Phase, bool fadeOut) noexcept;
    Envelope& dcwEnvelope (int unit) noexcept { return units[(size_t) unit].dcwEnvelope; }
    const PdOscillator& unit (int index) const noexcept { return units[(size_t) index]; }

    // Finds the right units that are twins of the left ones (same state, same settings): only the
    // left ones run, and endChunk hands their state over.
    void beginChunk() noexcept;
    void endChunk() noexcept;
    void beginStretch() noexcept { osc2PartsAt = -1; }

    // Osc 2's two units get different frequencies from base-rate sample `at` of the stretch on: a
    // twin pair parts there, at once or, with the sources in loops, when the stretch renders.
    void partOsc2 (int at, bool inLoops) noexcept
    {
        if (! osc2Twins || osc2PartsAt >= 0)
            return;

        if (inLoops)
            osc2PartsAt = at;
        else
            partOsc2Now();
    }

    // The copies of a fading switch hear what the sources hear, osc 2 with its depth and width
    // under the old lock.
    void applyOldFrame (const SourceFrame& frame, float oldDepth2, float oldWidth2) noexcept;

    //==============================================================================
    // One base-rate sample, unit by unit and tick by tick: its two 2x samples at 2 * at and
    // 2 * at + 1 of the stretch's signals, its post-decimation noise at chunkIndex.
    void renderSample (const SourceFrame& frame, int at, int chunkIndex) noexcept;
    // A stretch of `count` frames, each source in a loop of its own: the same samples and states.
    // Not while a switch fades or the units sync each other.
    void renderStretch (const SourceFrame* frames, int chunkIndex, int count) noexcept;

    // The stretch's 2x signals.
    struct Signals
    {
        std::array<float, 2 * stretchLength> left {}, right {}, sub {};
    };
    const Signals& signals() const noexcept { return out; }

    // The chunk's noise that goes in after decimation.
    const float* postNoiseLeft() const noexcept  { return postNoise[0].data(); }
    const float* postNoiseRight() const noexcept { return postNoise[1].data(); }

private:
    void applySettings (const SourceSettings& s) noexcept;
    void applyFrame (const SourceFrame& frame) noexcept;
    void partOsc2Now() noexcept;
    void drawPostNoise (int chunkIndex, const SourceFrame& frame) noexcept;
    void renderTick (int index, const SourceFrame& frame) noexcept;
    void tickUnits (const SourceFrame& frame, bool audible1, bool audible2, float* outputs) noexcept;
    void renderOldTick (const SourceFrame& frame, float& mixL, float& mixR, float& sub) noexcept;

    // The stretch's frames a row per field, for the units, the sub and the mix.
    enum Row : int
    {
        depth1Row = numUnits, depth2Row, width1Row, width2Row, morphRow, osc1GainRow, osc2GainRow, subGainRow,
        subFrequencyRow, subDcwRow, preNoiseRow, postNoiseRow, audible1Row, audible2Row, numRows
    };
    void fillRows (const SourceFrame* frames, int count) noexcept;
    const float* row (Row r) const noexcept { return rows[(size_t) r].data(); }
    PdOscillator::StretchRows unitRows (int which) const noexcept;
    void renderUnit (int which, int begin, int end, const float* partnerWraps) noexcept;
    void renderOsc1 (int count, bool sync1) noexcept;
    void renderOsc2 (int count, bool sync2) noexcept;
    void renderUnits (int count) noexcept;
    void mixStretch (int chunkIndex, int count) noexcept;
    float* wrapsOf (int which) noexcept { return unitWraps[(size_t) which].data(); }

    std::array<PdOscillator, numUnits> units;
    SubOscillator subOscillator; // both sides: it gets nothing that differs between them
    std::array<NoiseSource, 2> noiseSources;

    // The sources as they were before a switch, run on with their old settings while it fades.
    std::array<PdOscillator, numUnits> oldUnits;
    SubOscillator oldSubOscillator;
    std::array<NoiseSource, 2> oldNoiseSources;

    SourceSettings current;
    struct
    {
        int countdown = 0, length = 1;
        SourceSettings old;

        float oldWeight() const noexcept { return (float) countdown / (float) length; }
    } fade;

    // The right unit is a twin of the left one: it stays behind and takes the left unit's state
    // only when the pair parts or the chunk ends.
    bool osc1Twins = false, osc2Twins = false;
    int osc2PartsAt = -1;

    alignas (16) std::array<std::array<float, stretchLength>, numRows> rows {};
    std::array<std::array<float, 2 * stretchLength>, numUnits> unitOutputs {};
    // Each unit's wraps one place in, after the wrap it held before the stretch.
    std::array<std::array<float, 2 * stretchLength + 1>, numUnits> unitWraps {};
    Signals out;
    std::array<std::vector<float>, 2> postNoise;
};

} // namespace quillon
