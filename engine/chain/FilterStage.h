#pragma once

#include "engine/VoiceCodes.h"
#include "engine/core/DspMath.h"
#include "engine/core/SwitchFade.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace quillon
{

// Six first-order allpass sections in series with feedback around them, spread geometrically
// over two octaves upward from half the cutoff. Mixed with the dry signal it notches the
// spectrum where the chain's phase turns through odd multiples of 180 degrees.
class PhaseStage
{
public:
    static constexpr int numSections = 6;

    void prepare (double oversampledRate) noexcept;
    void reset() noexcept;

    void setCutoff (float hz) noexcept { cutoff = clampCutoff (hz); }
    float clampCutoff (float hz) const noexcept { return std::clamp (hz, 20.0f, topHz); } // 20 Hz .. 0.45 x the rate
    void setOffset (float octaves) noexcept      { offset = octaves; offsetFactor = std::exp2 (octaves); anchor.cell = -1; }
    void setFeedback (float amount) noexcept     { feedback = amount; }
    void setMix (float amount) noexcept          { mix = amount; }
    void setNotch (float amount) noexcept        { notch = amount; }

    float getOffset() const noexcept { return offset; }

    void updateCoefficients() noexcept;
    float process (float x) noexcept;
    // x + blend (process (x) - x), with the last section's output taken straight from the input
    // and the states (see sectionWeights): the sections still run, but only for the next states,
    // so the output waits on its input through one multiply-add instead of six.
    float processBlended (float x, float blend) noexcept;
    // The same for x = base + scale raw, with the scale folded into the output's gain, so that
    // the output waits on raw through one multiply-add.
    float processBlended (float base, float scale, float raw, float blend) noexcept;
    // The same before the output's silence floor, as fixed + slope raw, for a caller that takes
    // the output on from raw itself.
    struct Line { float fixed, slope; };
    Line processBlendedLine (float base, float scale, float raw, float blend) noexcept;
    void flushStates() noexcept;

    using Sections = std::array<float, numSections>;
    const Sections& getCoefficients() const noexcept { return c; }
    const Sections& getSectionWeights() const noexcept { return sectionWeights; }

    bool hasSameSignalStateAs (const PhaseStage& o) const noexcept { return z == o.z && lastOutput == o.lastOutput; }
    bool hasSameSettingsAs (const PhaseStage& o) const noexcept
    {
        return sampleRate == o.sampleRate && cutoff == o.cutoff && feedback == o.feedback && mix == o.mix
            && notch == o.notch && offset == o.offset && offsetFactor == o.offsetFactor && c == o.c;
    }
    void copySignalStateFrom (const PhaseStage& o) noexcept { z = o.z; lastOutput = o.lastOutput; }

    // Both sides' stages side by side in lanes (FilterStageLanes.h).
    struct Lanes;

private:
    double sampleRate = 44100.0;
    float topHz = 0.45f * 44100.0f;
    float cutoff = 1000.0f;
    float feedback = 0.0f;
    float mix = 0.5f;
    float notch = 1.0f;
    float offset = 0.0f;
    float offsetFactor = 1.0f; // 2^offset
    float lastOutput = 0.0f;
    std::array<float, numSections> c {};
    std::array<float, numSections> z {};
    // The last section's output is product x u + sum of sectionWeights[i] z[i] for the first
    // section's input u: the product of the coefficients and, for each state, the negated
    // coefficients of the sections after it multiplied together (1 for the last one).
    std::array<float, numSections> sectionWeights {};
    float product = 1.0f;
    // The same for the first three sections alone.
    std::array<float, 2> firstWeights {};
    float firstProduct = 1.0f;

    // The coefficients at the centre of the cutoff's cell and their first two derivatives, per
    // relative change of the cutoff (see coefficientsFromAnchor).
    struct Anchor
    {
        alignas (16) float c0[8], first[8], second[8];
        float centre = 0.0f, inverseCentre = 0.0f;
        std::int32_t cell = -1;
        bool expands = false;
    };

    // The cutoff's cell: its exponent and the first 7 bits of its mantissa, a 1/128 step at most.
    static std::int32_t cellOf (float hz) noexcept
    {
        std::uint32_t bits;
        std::memcpy (&bits, &hz, sizeof (bits));
        return (std::int32_t) (bits >> 16);
    }
    Anchor anchor;

    void sectionFrequencies (float hz, float* f) const noexcept;
    void sectionCoefficients (const float* f, float* out) const noexcept;
    void updateSectionWeights() noexcept;
    bool coefficientsFromAnchor() noexcept;
};

// One side's filter: a four-pole "ladder", "diode" and "state" low-pass and the phase stage,
// with an equal-gain fade when the model changes. Every model keeps its own state, so a model
// switched away from and back resumes where it was.
class FilterStage
{
public:
    // The models by the codes presets store, as the ints the fade's slots count in.
    static constexpr int ladder = (int) FilterModel::ladder, diode = (int) FilterModel::diode,
                         state = (int) FilterModel::state, phase = (int) FilterModel::phase;
    static constexpr int numModels = (int) FilterModel::count;

    // Calls run (std::integral_constant<int, model>()) for the model's code; any other code
    // comes as numModels, the input passed as it is.
    template <int model = 0, typename Run>
    static void withModel (int which, Run&& run)
    {
        if constexpr (model == numModels)
            run (std::integral_constant<int, model>());
        else if (which == model)
            run (std::integral_constant<int, model>());
        else
            withModel<model + 1> (which, run);
    }

    // The four-pole models that are linear while their resonance is 0 (isLinear names them too).
    static constexpr bool isLinearWithoutResonance (int model) noexcept { return model == ladder || model == state; }

    void prepare (double oversampledRate) noexcept;
    void reset() noexcept;

    // With `fade`, a 5 ms fade; a model still fading when the next change comes fades on from
    // where it was.
    void setModel (int newModel, bool fade) noexcept;
    int getModel() const noexcept { return modelFade.getTarget(); }
    bool isPhaseStageSounding() const noexcept { return isSounding (phase); }
    bool isModelFading() const noexcept { return modelFade.isFading(); }
    // The low-pass models' one-pole gain G = g / (1 + g) at the current cutoff.
    float getPoleGain() const noexcept { return bigG; }

    // Per base-rate sample. Coefficients are recomputed only for the models that are sounding
    // and only when the value moved; a silent model catches up when it is switched in.
    void setCutoff (float hz) noexcept;
    // The same for a caller that works out the phase stage's coefficients itself for a while:
    // they stay stale until catchUpPhaseStage.
    void setCutoffLeavingPhaseStage (float hz) noexcept;
    void catchUpPhaseStage() noexcept;
    void setResonance (float amount) noexcept;    // 0..1
    void setPhaseMix (float amount) noexcept      { phaseStage.setMix (amount); }
    void setPhaseNotch (float amount) noexcept    { phaseStage.setNotch (amount); }
    void setPhaseOffset (float octaves) noexcept; // -1..1, recomputed from a 1e-5 change

    float processModel (int which, float x) noexcept;
    float process (float x) noexcept;
    // x + blend (process (x) - x); the phase stage folds the blend into its own output.
    float processBlended (float x, float blend) noexcept;
    // While runsPhaseStageAlone(): the same for x = offset + scale raw (see PhaseStage).
    float processBlended (float offset, float scale, float raw, float blend) noexcept;
    PhaseStage::Line processBlendedLine (float offset, float scale, float raw, float blend) noexcept
    {
        if (groupPosition == 0)
            inGroup = false;

        countSamplesOutsideGroups (1);
        return phaseStage.processBlendedLine (offset, scale, raw, blend);
    }
    bool runsPhaseStageAlone() const noexcept { return ! modelFade.isFading() && modelFade.getTarget() == phase; }
    PhaseStage& getPhaseStage() noexcept { return phaseStage; }
    const PhaseStage& getPhaseStage() const noexcept { return phaseStage; }

    // A low-pass without resonance is linear: its samples are then worked out four at a time
    // from the states at the start of each group of four (counted from prepare), through the
    // poles' state-space powers, whether they come one by one through process() or as a run
    // through processLinear(), so that the two give the same bits. A group that its settings
    // break off (a new cutoff or resonance, a model change) goes on sample by sample from the
    // states it has reached.
    bool isLinear() const noexcept
    {
        // By constant indices only: one that varies keeps the stretch runner's copy of the stage
        // out of registers, which cost the fold 20 %.
        const auto model = modelFade.getTarget();
        const auto withoutResonance = [this, model] (int m) { return model == m && resonanceGains[(size_t) m] == 0.0f; };
        return ! dsp::exactReference && ! modelFade.isFading() && ! lowpassStale
            && (withoutResonance (ladder) || withoutResonance (state));
    }
    // A group begins only where the cutoff has held for a group's length already: one that
    // moves on every sample would break every group off halfway.
    bool canStartGroup() const noexcept { return steadySamples >= 4 && isLinear(); }
    // process() over a run of samples while isLinear() holds and the settings stay; false, with
    // nothing done, where it does not hold.
    bool processLinear (const float* in, float* out, int n) noexcept;

    // The recursions do not flush their states on every sample (see stateFloor): once per block
    // of samples, this sets every state that has gone tiny or is not finite back to 0, so that one
    // bad input sample cannot stay in the filter beyond the block it came in.
    void flushStates() noexcept;

    // True when the other side, fed the same input and settings, would put out the same samples
    // for as long as the model stays. The phase stage's settings count only while it sounds: a
    // silent one recomputes its coefficients from its own settings when it comes in.
    bool hasSameStateAs (const FilterStage& o) const noexcept
    {
        return modelFade == o.modelFade && sampleRate == o.sampleRate
            && cutoff == o.cutoff && bigG == o.bigG && inverseOnePlusG == o.inverseOnePlusG
            && lowpassStale == o.lowpassStale && resonanceGains == o.resonanceGains
            && poles == o.poles && diodeMemory == o.diodeMemory
            && diodeMemoryCoefficient == o.diodeMemoryCoefficient && phaseStage.hasSameSignalStateAs (o.phaseStage)
            && groupPosition == o.groupPosition && inGroup == o.inGroup && groupInputs == o.groupInputs
            && steadySamples == o.steadySamples
            && (! isSounding (phase) || (phaseStale == o.phaseStale && phaseStage.hasSameSettingsAs (o.phaseStage)));
    }

    // Takes over what the other side's processing has moved on, keeping this side's settings.
    void copySignalStateFrom (const FilterStage& o) noexcept
    {
        poles = o.poles;
        diodeMemory = o.diodeMemory;
        modelFade = o.modelFade;
        groupPosition = o.groupPosition;
        inGroup = o.inGroup;
        groupInputs = o.groupInputs;
        steadySamples = o.steadySamples;
        phaseStage.copySignalStateFrom (o.phaseStage);
    }

    using Poles = std::array<float, 4>;

    // Outside a group (while the filter is not linear), what process() moves on besides the
    // states for n samples.
    bool isInGroup() const noexcept { return inGroup; }
    void countSamplesOutsideGroups (int n) noexcept
    {
        groupPosition = (groupPosition + n) & 3;
        steadySamples = std::min (steadySamples + n, 4);
    }
    bool hasSameLowpassAs (const FilterStage& o) const noexcept
    {
        return modelFade == o.modelFade && bigG == o.bigG && inverseOnePlusG == o.inverseOnePlusG
            && gainPowers == o.gainPowers && estimateWeights == o.estimateWeights
            && stateInputWeights == o.stateInputWeights && stateCrossWeights == o.stateCrossWeights
            && stateSelfWeight == o.stateSelfWeight && resonanceGains == o.resonanceGains
            && diodeMemoryCoefficient == o.diodeMemoryCoefficient;
    }

    // The low-pass models of both sides side by side in lanes (FilterStageLanes.h).
    struct LowpassLanes;

private:
    bool isSounding (int which) const noexcept { return modelFade.isSounding (which); }
    // A four-pole model's states and resonance gain.
    Poles& polesOf (int which) noexcept { return poles[(size_t) which]; }
    const Poles& polesOf (int which) const noexcept { return poles[(size_t) which]; }
    float resonanceGainOf (int which) const noexcept { return resonanceGains[(size_t) which]; }
    void updateLowpassCoefficients() noexcept;
    float runPoles (Poles& s, float input, float estimate) noexcept;
    float stateEstimate (const Poles& s) const noexcept;

    SwitchFade<numModels + 1> modelFade; // the last slot stands for any other model: the input as it is
    double sampleRate = 44100.0;
    float cutoff = 20000.0f;

    // Shared by the three low-pass models, which run at the same rate.
    float bigG = 0.0f, inverseOnePlusG = 1.0f;
    Poles gainPowers {};        // G, G^2, G^3, G^4: each pole's output from the first pole's input
    Poles estimateWeights {};   // the states' weights in the last pole's output
    // Each state's next value as input x 2 G^(k+1), the states before it x 2 G^j h, itself x (h - G).
    Poles stateInputWeights {};
    std::array<float, 3> stateCrossWeights {};
    float stateSelfWeight = 1.0f;
    bool lowpassStale = true, phaseStale = true;

    // Per model, by its code (the phase stage's slot unused): the resonance's gain around the
    // poles at full resonance, the gain now, and the four states.
    static constexpr std::array<float, numModels> resonanceScales { 3.95f, 4.2f, 0.95f, 0.0f };
    std::array<float, numModels> resonanceGains {};
    std::array<Poles, numModels> poles {};
    float diodeMemory = 0.0f, diodeMemoryCoefficient = 0.0f;

    // A group of four samples of the linear low-pass: the outputs from the states (columns of
    // C A^k) and from the inputs (lower-triangular Toeplitz of the impulse response), and the
    // states four samples on (A^4 and A^(3-j) B), for the pole gain they were built at.
    struct LinearGroup
    {
        alignas (16) float fromStates[4][4], fromInputs[4][4], nextFromStates[4][4], nextFromInputs[4][4];
        float builtFor = -1.0f;
    };
    LinearGroup linearGroup;
    int groupPosition = 0;         // samples since the current group of four began
    bool inGroup = false;          // the poles hold the group's starting states
    std::array<float, 4> groupInputs {};
    int steadySamples = 0;         // samples since the low-pass coefficients last moved, up to 4
    void buildLinearGroup() noexcept;
    void breakGroup() noexcept;
    float groupStep (float x) noexcept;
    Poles& linearPoles() noexcept { return polesOf (modelFade.getTarget()); }
    // The state model's output level against the ladder's.
    static constexpr float stateLevel = 0.85f;
    float linearLevel() const noexcept { return modelFade.getTarget() == state ? stateLevel : 1.0f; }

    PhaseStage phaseStage;
};

//==============================================================================
namespace filter_detail
{
// Added to every recursion's input, far below anything audible (-340 dB): a decaying state settles
// on it instead of sinking into denormals, which a high cutoff reaches within a few dozen samples
// and which would cost dearly where the thread does not flush them. The recursions can then leave
// the flushing to flushStates() once a block.
constexpr float stateFloor = 1.0e-17f;

// What the floor leaves in the output is far below this; anything below it goes out as 0, so
// that silence in is silence out.
inline float silenceBelowFloor (float y) noexcept { return std::abs (y) >= 1.0e-15f ? y : 0.0f; }

} // namespace filter_detail

//==============================================================================
// The per-sample work, inline so that it compiles into the voice's loop.
QUILLON_ALWAYS_INLINE inline float PhaseStage::process (float x) noexcept
{
    auto u = (x + filter_detail::stateFloor) - feedback * lastOutput;

    for (int i = 0; i < numSections; ++i)
    {
        const auto y = z[(size_t) i] - c[(size_t) i] * u;
        z[(size_t) i] = c[(size_t) i] * y + u;
        u = y;
    }

    lastOutput = u;
    return x + mix * notch * (u - x);
}

QUILLON_ALWAYS_INLINE inline float PhaseStage::processBlended (float x, float blend) noexcept
{
    if constexpr (dsp::exactReference)
        return x + blend * (filter_detail::silenceBelowFloor (process (x)) - x);

    return processBlended (0.0f, 1.0f, x, blend);
}

QUILLON_ALWAYS_INLINE inline float PhaseStage::processBlended (float base, float scale, float raw, float blend) noexcept
{
    if constexpr (dsp::exactReference)
        return processBlended (base + scale * raw, blend);

    const auto line = processBlendedLine (base, scale, raw, blend);
    return filter_detail::silenceBelowFloor (line.slope * raw + line.fixed);
}

QUILLON_ALWAYS_INLINE inline PhaseStage::Line PhaseStage::processBlendedLine (float base, float scale, float raw,
                                                                               float blend) noexcept
{
    const auto x = base + scale * raw;

    // With u = x + (floor - feedback last) into the first section, the last one puts out
    // product x + rest, rest coming from the states and the last output alone; mixed with x and
    // blended, k of it with 1 - k of x. The last state comes into rest last: it is the one that
    // waits longest on the sections.
    const auto& w = sectionWeights;
    const auto feedbackOut = filter_detail::stateFloor - feedback * lastOutput;
    const auto head = (((w[0] * z[0] + w[1] * z[1]) + (w[2] * z[2] + w[3] * z[3])) + w[4] * z[4])
                    + (product * filter_detail::stateFloor - (feedback * product) * lastOutput);
    const auto rest = head + z[5];
    const auto k = (blend * mix) * notch;
    const auto gain = (1.0f - k) + k * product;
    // Each section's input and new state as a + b raw, a and b worked out while raw is still
    // on its way: the states then wait on raw through one multiply-add rather than six sections.
    // The third section's output comes straight from u as well, so the last three sections
    // start beside the first three.
    const auto& v = firstWeights;
    auto input = base + feedbackOut, inputSlope = scale;
    auto middle = firstProduct * input + ((v[0] * z[0] + v[1] * z[1]) + z[2]), middleSlope = firstProduct * scale;
    const auto section = [this, raw] (size_t i, float& in, float& inSlope)
    {
        const auto y = z[i] - c[i] * in;
        const auto ySlope = -(c[i] * inSlope);
        z[i] = (c[i] * y + in) + (c[i] * ySlope + inSlope) * raw;
        in = y;
        inSlope = ySlope;
    };

    for (size_t i = 0; i < 3; ++i)
        section (i, input, inputSlope);

    for (size_t i = 3; i < (size_t) numSections; ++i)
        section (i, middle, middleSlope);

    lastOutput = product * x + rest;
    return { gain * base + k * rest, gain * scale };
}

inline void FilterStage::setCutoff (float hz) noexcept
{
    if (hz == cutoff)
        return;

    setCutoffLeavingPhaseStage (hz);
    catchUpPhaseStage();
}

inline void FilterStage::setCutoffLeavingPhaseStage (float hz) noexcept
{
    if (hz == cutoff)
        return;

    if (inGroup)
        breakGroup();

    cutoff = hz;
    phaseStage.setCutoff (hz);
    lowpassStale = phaseStale = true;

    if (isSounding (ladder) || isSounding (diode) || isSounding (state))
        updateLowpassCoefficients();
}

inline void FilterStage::catchUpPhaseStage() noexcept
{
    if (phaseStale && isSounding (phase))
    {
        phaseStage.updateCoefficients();
        phaseStale = false;
    }
}

inline void FilterStage::setResonance (float amount) noexcept
{
    if (inGroup && amount != 0.0f)
        breakGroup();

    for (size_t model = 0; model < resonanceGains.size(); ++model)
        resonanceGains[model] = resonanceScales[model] * amount;

    phaseStage.setFeedback (0.95f * amount);
}

inline void FilterStage::setPhaseOffset (float octaves) noexcept
{
    if (std::abs (octaves - phaseStage.getOffset()) < 1.0e-5f)
        return;

    phaseStage.setOffset (octaves);
    phaseStale = true;

    if (isSounding (phase))
    {
        phaseStage.updateCoefficients();
        phaseStale = false;
    }
}

// What the four poles will put out from their states alone, before this sample's input: the
// estimate the resonance feeds back, which keeps the loop free of a delay-free path.
QUILLON_ALWAYS_INLINE inline float FilterStage::stateEstimate (const Poles& s) const noexcept
{
    const auto& w = estimateWeights;
    return (w[0] * s[0] + w[1] * s[1]) + (w[2] * s[2] + w[3] * s[3]);
}

// Four trapezoidal one-pole low-passes in series, y = G u + (1 - G) s and s' = 2 y - s each. Every
// pole's output is taken straight from the first pole's input and the states, rather than from
// the pole before it, so that the resonance loop waits for one multiply-add instead of four.
QUILLON_ALWAYS_INLINE inline float FilterStage::runPoles (Poles& s, float input, float estimate) noexcept
{
    if constexpr (! dsp::exactReference)
    {
        // The states' next values straight from this sample's input and the states as they
        // are: each state then waits on its own old value through one multiply and one add
        // instead of through the whole cascade.
        const auto& b = stateInputWeights;
        const auto& c = stateCrossWeights;
        const auto d = stateSelfWeight;
        const auto s0 = s[0], s1 = s[1], s2 = s[2], s3 = s[3];
        s[0] = b[0] * input + d * s0;
        s[1] = (b[1] * input + c[0] * s0) + d * s1;
        s[2] = (b[2] * input + c[1] * s0) + (c[0] * s1 + d * s2);
        s[3] = ((b[3] * input + c[2] * s0) + (c[1] * s1 + c[0] * s2)) + d * s3;
        return gainPowers[3] * input + estimate;
    }

    const auto h = inverseOnePlusG, G = bigG;
    const auto p0 = h * s[0];
    const auto p1 = G * p0 + h * s[1];
    const auto p2 = G * p1 + h * s[2];
    const auto y0 = gainPowers[0] * input + p0;
    const auto y1 = gainPowers[1] * input + p1;
    const auto y2 = gainPowers[2] * input + p2;
    const auto y3 = gainPowers[3] * input + estimate;
    s[0] = (y0 + y0) - s[0];
    s[1] = (y1 + y1) - s[1];
    s[2] = (y2 + y2) - s[2];
    s[3] = (y3 + y3) - s[3];
    return y3;
}

QUILLON_ALWAYS_INLINE inline float FilterStage::processModel (int which, float x) noexcept
{
    using dsp::loopTanh;
    using filter_detail::stateFloor;

    switch (which)
    {
        case ladder:
        {
            auto& s = poles[ladder];
            const auto k = resonanceGains[ladder];
            const auto e = stateEstimate (s);

            if (k == 0.0f) // no resonance: a plain four-pole low-pass
                return runPoles (s, x + stateFloor, e);

            return runPoles (s, ((1.0f + 0.5f * k) * x + stateFloor) - k * loopTanh (e), e);
        }

        case diode:
        {
            // Asymmetric clipping of the feedback, and a gentle cut below about 30 Hz.
            auto& s = poles[diode];
            const auto k = resonanceGains[diode];
            const auto e = stateEstimate (s);
            auto feedback = 0.0f;

            if (k != 0.0f)
            {
                const auto negative = e < 0.0f;
                const auto scale = negative ? 0.85f : 1.0f;
                feedback = k * scale * loopTanh (e * (negative ? 1.0f / 0.85f : 1.0f));
            }

            const auto y = runPoles (s, (x + stateFloor) - feedback, e);
            diodeMemory += (y - diodeMemory) * diodeMemoryCoefficient;
            return (y - 0.6f * diodeMemory) * 0.95f;
        }

        case state:
        {
            auto& s = poles[state];
            const auto k = resonanceGains[state];
            const auto feedback = k != 0.0f ? k * loopTanh (s[3]) : 0.0f;
            return stateLevel * runPoles (s, (x + stateFloor) - feedback, stateEstimate (s));
        }

        case phase:
            return phaseStage.process (x);

        default:
            return x;
    }
}

QUILLON_ALWAYS_INLINE inline float FilterStage::process (float x) noexcept
{
    if constexpr (! dsp::exactReference)
    {
        if (groupPosition == 0)
            inGroup = canStartGroup();

        steadySamples = std::min (steadySamples + 1, 4);

        if (inGroup)
            return groupStep (x);

        groupPosition = (groupPosition + 1) & 3;
    }

    if (! modelFade.isFading())
        return filter_detail::silenceBelowFloor (processModel (modelFade.getTarget(), x));

    // Every model taking part advances its own state, whatever its weight on this sample.
    auto y = 0.0f;

    for (int which = 0; which <= numModels; ++which)
        if (modelFade.isSounding (which))
            y += modelFade.weight (which) * processModel (which, x);

    modelFade.advance();
    return filter_detail::silenceBelowFloor (y);
}

QUILLON_ALWAYS_INLINE inline float FilterStage::processBlended (float x, float blend) noexcept
{
    if constexpr (! dsp::exactReference)
    {
        if (runsPhaseStageAlone())
        {
            // What process() moves on besides the states: the phase stage never starts a group.
            if (groupPosition == 0)
                inGroup = false;

            countSamplesOutsideGroups (1);
            return phaseStage.processBlended (x, blend);
        }
    }

    return x + blend * (process (x) - x);
}

QUILLON_ALWAYS_INLINE inline float FilterStage::processBlended (float offset, float scale, float raw, float blend) noexcept
{
    if (groupPosition == 0)
        inGroup = false;

    countSamplesOutsideGroups (1);
    return phaseStage.processBlended (offset, scale, raw, blend);
}

} // namespace quillon
