#pragma once

#include <juce_core/juce_core.h>

#include <array>
#include <atomic>
#include <cstddef>

namespace quillon
{

// The parameters the voice reads, by the names the plug-in gives them. The plug-in owns the ID
// strings and maps each of these names to its own (plugin/VoiceBinding.h); the voice only ever
// sees the values. A mod slot's four and an envelope's four stand together, in the order the
// voice reads them.
#define QUILLON_VOICE_PARAMETERS(X) \
    X (phaseMode) X (mode) X (detuneMode) X (stereoMode) X (stereoWidth) X (osc1Wave) X (osc2Wave) \
    X (subWave) X (subMode) X (subOctave) X (subSemitone) X (subFine) X (syncOsc1) X (syncOsc2) \
    X (driveMode) X (drivePosition) X (driveAutoMakeup) X (filterModel) X (noiseColour) X (subRouting) \
    X (velToFilterEnv) X (velToDrive) X (osc2PhaseOffset) X (lfo1Retrig) X (glideTime) X (octave) \
    X (osc1Level) X (osc2Level) X (subLevel) X (subDriveSend) X (drive) X (osc2Detune) X (osc2DetuneHz) \
    X (osc1DcwDepth) X (osc2DcwDepth) X (oscDrift) X (subDcwDepth) X (filterCutoff) X (filterReso) \
    X (filterEnvAmount) X (outputGain) X (lfo1Rate) X (lfo1Depth) X (lfo1Phase) X (noiseLevel) \
    X (noiseRouting) X (osc1PulseWidth) X (osc2PulseWidth) X (osc1Semitone) X (osc1Fine) \
    X (osc2Semitone) X (osc2Fine) X (driveGain) X (driveMix) X (filterEnabled) X (monoLowEnabled) \
    X (monoLowFreq) X (reeseBeat) X (reeseSpread) X (reeseLock) X (pdMorphAmount) X (phaseMix) \
    X (phaseStereo) X (phaseNotch) X (feedbackAmount) X (feedbackTone) X (feedbackPosition) \
    X (lfo1Shape) X (lfo1Sync) \
    X (mod1Source) X (mod1Dest) X (mod1Amount) X (matrix1Curve) \
    X (mod2Source) X (mod2Dest) X (mod2Amount) X (matrix2Curve) \
    X (mod3Source) X (mod3Dest) X (mod3Amount) X (matrix3Curve) \
    X (mod4Source) X (mod4Dest) X (mod4Amount) X (matrix4Curve) \
    X (ampAttack) X (ampDecay) X (ampSustain) X (ampRelease) \
    X (filterAttack) X (filterDecay) X (filterSustain) X (filterRelease) \
    X (osc1DcwAttack) X (osc1DcwDecay) X (osc1DcwSustain) X (osc1DcwRelease) \
    X (osc2DcwAttack) X (osc2DcwDecay) X (osc2DcwSustain) X (osc2DcwRelease)

struct VoiceParameter
{
    #define QUILLON_ENUM_ENTRY(name) name,
    enum Id : int { QUILLON_VOICE_PARAMETERS (QUILLON_ENUM_ENTRY) count };
    #undef QUILLON_ENUM_ENTRY

    // Slot `s`'s source, destination, amount and curve; envelope group `g`'s attack, decay,
    // sustain and release (amp, filter, osc 1's and osc 2's DCW).
    static constexpr Id slot (int s, int k) noexcept { return (Id) (mod1Source + 4 * s + k); }
    static constexpr Id envelope (int g, int k) noexcept { return (Id) (ampAttack + 4 * g + k); }
};

static_assert (VoiceParameter::slot (3, 3) == VoiceParameter::matrix4Curve);
static_assert (VoiceParameter::envelope (1, 2) == VoiceParameter::filterSustain);
static_assert (VoiceParameter::envelope (3, 3) == VoiceParameter::osc2DcwRelease);

// What the processor hands the voice: where each parameter's value lives, or nothing where it has
// no such parameter (then the voice reads its fallback), and the LFO rate knob's mapping, whose
// positions pick the sync divisions.
struct VoiceParameterBinding
{
    std::array<const std::atomic<float>*, VoiceParameter::count> values {};
    juce::NormalisableRange<float> lfoRateRange { 0.05f, 20.0f, 0.0f, 0.22767f };

    const std::atomic<float>* operator[] (VoiceParameter::Id id) const noexcept { return values[(size_t) id]; }

    float read (VoiceParameter::Id id, float fallback = 0.0f) const noexcept
    {
        const auto* raw = values[(size_t) id];
        return raw != nullptr ? raw->load (std::memory_order_relaxed) : fallback;
    }
};

} // namespace quillon
