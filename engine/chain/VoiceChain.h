#pragma once

#include "engine/chain/ChainFrame.h"
#include "engine/chain/DriveStage.h"
#include "engine/chain/FeedbackPath.h"
#include "engine/chain/FilterStage.h"
#include "engine/chain/OnePoleHighPass.h"
#include "engine/core/SwitchFade.h"

#include <array>

// The two sides can run side by side in lanes (ChainLanesRunner.cpp); the exact build takes no
// such shortcut.
#if QUILLON_SIN_LANES && ! QUILLON_EXACT_REFERENCE
 #define QUILLON_CHAIN_LANES 1
#else
 #define QUILLON_CHAIN_LANES 0
#endif

namespace quillon
{

// The chain pass: DC block, sub send, feedback, drive and filter in either order, and the phase
// stage, turning the 2x source signals into the 2x output. It owns every state of the chain; the
// voice hands it each stretch's frames and source signals.
class VoiceChain
{
public:
    static constexpr int maxStretch = 32; // base-rate samples per stretch at most

    // The switches that fade: drive curve, filter model, drive position and sub routing.
    struct Switches
    {
        int driveMode = 0, filterModel = 0, drivePosition = 0, subRouting = 0;
    };

    // One stretch: a frame per base-rate sample (one for all where settled) and two 2x samples
    // of the mix on each side and of the sub for each frame.
    struct Stretch
    {
        const ChainFrame* frames = nullptr;
        int count = 0;
        bool settled = false;   // every frame is the first one
        bool shortcuts = true;  // false: sample by sample on the members, as a fading switch has it
        const float* left = nullptr;
        const float* right = nullptr;
        const float* sub = nullptr;

        // Frame k's settings, the first frame's where settled; the last frame's.
        const ChainFrame& frame (int k) const noexcept { return frames[(size_t) (settled ? 0 : k)]; }
        const ChainFrame& last() const noexcept { return frame (count - 1); }
    };

    void prepare (double oversampledRate) noexcept;
    // From silence every switch applies at once; into a voice that sounds it fades.
    void jumpSwitches (const Switches& switches, bool feedbackAfterFilter) noexcept;
    void refreshSwitches (const Switches& switches) noexcept;
    void clearSignalState() noexcept;

    // Around each chunk: the two sides run as twins while their states agree.
    void beginChunk() noexcept;
    void endChunk() noexcept;
    void render (const Stretch& stretch, float* outLeft, float* outRight) noexcept;

    int getDriveMode() const noexcept { return driveStages[0].getMode(); }

private:
    void startDrivePositionFade (int position) noexcept;
    void applyChainFrame (const ChainFrame& frame) noexcept;
    static void applyChainSettings (DriveStage& driveStage, FilterStage& filterStage, const ChainFrame& frame,
                                    float phaseOffset) noexcept;
    static void applyFilterSettings (FilterStage& filterStage, const ChainFrame& frame, float phaseOffset) noexcept;
    // All of them but the cutoff and the phase offset.
    static void applyFilterShape (FilterStage& filterStage, const ChainFrame& frame) noexcept
    {
        filterStage.setResonance (frame.resonance);
        filterStage.setPhaseMix (frame.phaseMix);
        filterStage.setPhaseNotch (frame.phaseNotch);
    }
    struct SubShares { float send, direct; };
    SubShares nextSubShares() noexcept;
    void renderChainSample (float mixL, float mixR, float sub, float& left, float& right) noexcept;
    bool runChainStretch (const Stretch& s, float* outLeft, float* outRight) noexcept;
    template <bool twins>
    QUILLON_HOT_CLONES void runChainStretchWith (const Stretch& s, float* outLeft, float* outRight) noexcept;
    template <bool twins>
    QUILLON_HOT_CLONES bool runLinearChainStretch (const Stretch& s, float* outLeft, float* outRight) noexcept;
    bool runSidesInLanes (const Stretch& s, float* outLeft, float* outRight) noexcept;
    template <int model, int order>
    QUILLON_HOT_CLONES void runLanesStretch (const Stretch& s, float* outLeft, float* outRight) noexcept;
    template <int model>
    QUILLON_ALWAYS_INLINE bool takeFrameInLanes (const ChainFrame& frame, const ChainFrame& before, DriveStage::Lanes& drive,
                                                 FilterStage::LowpassLanes& poles, PhaseStage::Lanes& phases) noexcept;
    template <int model>
    void giveLanesBack (const Stretch& s, const FilterStage::LowpassLanes& poles,
                        const PhaseStage::Lanes& phases, dsp::Float4 dcIn, dsp::Float4 dcOut, dsp::Float4 memory,
                        dsp::Float4 memoryDc, bool restingStatesDue) noexcept;
    void catchUpRightChain() noexcept;
    void flushChainMemories() noexcept;

    std::array<OnePoleHighPass, 2> mixDcBlockers;
    std::array<DriveStage, 2> driveStages, spareDriveStages;
    std::array<FilterStage, 2> filterStages, spareFilterStages;
    std::array<FeedbackPath, 2> feedbackPaths;

    // The drive position fades from the order on the main drive and filter pair to the order on
    // the spare pair; the spare pair takes over when the fade ends on it.
    SwitchFade<2> drivePositionFade;
    int mainOrder = 0, spareOrder = 0;
    SwitchFade<2> subRoutingFade;      // weight of setting 0: the share that goes through the chain
    std::array<float, 4> subRoutingLag {}; // that share through four poles at the filter's cutoff
    bool subRoutingLagging = false;
    SwitchFade<2> feedbackPositionFade; // weight of setting 1: the share fed back after the filter

    bool chainTwins = false; // the left side's mix DC blocker, drive, filter and feedback serve both
    static constexpr int chainFlushInterval = 16;
    int chainFlushCountdown = chainFlushInterval;

    // The frame's values the sample-by-sample path holds.
    float subSend = 1.0f, driveMixAmount = 1.0f, drivePostGain = 1.0f, filterBlend = 1.0f;
    float feedbackAmount = 0.0f, chainFeedbackCoefficient = 1.0f;
};

} // namespace quillon
