#pragma once

#include "engine/control/Envelope.h"
#include "engine/core/VoiceMath.h"
#include "engine/sources/PhaseDistortion.h"

#include <algorithm>
#include <cmath>

#if defined(__GNUC__)
 #define QUILLON_NOINLINE __attribute__ ((noinline))
 // Everything a tick calls inlined into it, whatever else the unit's file asks of the inliner.
 #define QUILLON_FLATTEN __attribute__ ((flatten))
#else
 #define QUILLON_NOINLINE
 #define QUILLON_FLATTEN
#endif

namespace quillon
{

namespace osc_detail
{
constexpr float resonanceWindows = 16.0f;
constexpr int pwmShape = 8;
constexpr float twoPi = 6.283185307179586f;
// The distortion's ceiling is a matter of pitch, not of rate: it reads the increment as the 2x
// rate of a 48 kHz host sees it, whatever the host's rate.
constexpr float dcwCeilingPerHz = (float) (1.0 / 96000.0);

} // namespace osc_detail

// One phase-distortion oscillator unit with its own DCW envelope, pulse width, morph towards the
// next shape, hard sync to a partner unit and a click-free phase reset.
class PdOscillator
{
public:
    void prepare (double newSampleRate) noexcept;

    void setFrequency (float hz) noexcept
    {
        frequency = hz;
        updateIncrement();
    }
    void setDcwDepth (float depth) noexcept     { dcwDepth = depth; }
    void setWaveShape (int shape) noexcept;
    void setPulseWidth (float width) noexcept   { pulseWidth = width; }
    void setMorphAmount (float amount) noexcept { morphAmount = amount; }
    void setSyncPartner (const PdOscillator* partner) noexcept { syncPartner = partner; }
    void setSyncEnabled (bool enabled) noexcept
    {
        // The first synced sample has nothing held yet: it is held and put out at once.
        delayFresh = delayFresh || (enabled && ! syncEnabled);
        syncEnabled = enabled;
    }

    // Jumps to a new phase while the old waveform fades out over 5 ms, or at once without `fade`.
    void resetPhase (float newPhase, bool fade = true) noexcept;

    // With `audible` false the output is 0 and only the state moves on (a unit at zero level).
    float tick (bool audible = true) noexcept { return tickFunction (*this, audible); }

    // Ticks up to four units at once, in this order, with their sines taken together four at a
    // time: the same samples and states as ticking them one after the other. Units synced to one
    // another see each other's wraps as they would then.
    static void tickUnits (PdOscillator* const* units, const bool* audible, float* outputs, int count) noexcept;

    // One base-rate sample's settings of a unit in a stretch: they hold for two ticks.
    struct StretchFrame
    {
        float frequency = 0.0f, dcwDepth = 0.0f, pulseWidth = 0.5f, morph = 0.0f;
        bool audible = false;
    };

    // The same settings a row per field, entry j for base-rate sample j; audible is 1 or 0. The
    // rows are read only up to the stretch's end.
    struct StretchRows
    {
        const float* frequency = nullptr;
        const float* dcwDepth = nullptr;
        const float* pulseWidth = nullptr;
        const float* morph = nullptr;
        const float* audible = nullptr;

        StretchRows from (int j) const noexcept
        {
            return { frequency + j, dcwDepth + j, pulseWidth + j, morph + j, audible + j };
        }
    };

    // Renders 2 * count ticks: frame j is set (frequency, depth, width, morph) before ticks 2j
    // and 2j + 1, which put out out[2j], out[2j + 1]. Samples and state afterwards are those of
    // the setters and ticks one after the other; the phase still moves on tick by tick, the
    // shapes are taken four ticks at a time.
    // partnerWraps[i] is the sync partner's wrap as tick i would see it: its wrap fraction, or
    // a negative value for none. It stands in for the partner itself (null: no wraps). ownWraps
    // (may be null) gets this unit's wraps the same way, for a unit synced to this one.
    void renderStretch (const StretchRows& rows, int count, float* out,
                        const float* partnerWraps = nullptr, float* ownWraps = nullptr) noexcept;
    void renderStretch (const StretchFrame* frames, int count, float* out,
                        const float* partnerWraps = nullptr, float* ownWraps = nullptr) noexcept;
    static constexpr int maxStretchFrames = 32;

    // This unit's wrap of the last tick as renderStretch's wrap arrays hold it.
    float getWrapForSync() const noexcept { return wrapped ? wrapFraction : -1.0f; }

    // Takes over another unit's whole state (not its sync partner): a twin that would have
    // computed the same samples.
    void copyStateFrom (const PdOscillator& other) noexcept
    {
        const auto* partner = syncPartner;
        *this = other;
        syncPartner = partner;
    }

    // True when both units hold the same state and settings, so that fed the same settings
    // they go on producing the same samples.
    bool hasSameStateAs (const PdOscillator& other) const noexcept;
    bool isSyncEnabled() const noexcept { return syncEnabled; }

    Envelope dcwEnvelope;

    float getPhase() const noexcept       { return phase; }
    float getCurrentDcw() const noexcept  { return currentDcw; }
    bool hasWrapped() const noexcept      { return wrapped; }
    float getWrapFraction() const noexcept { return wrapFraction; }
    int getWaveShape() const noexcept     { return waveShape; }

private:
    // Plain function pointers, so that a unit stays small to copy.
    using TickFunction = float (*) (PdOscillator&, bool) noexcept;
    using ShapeConstants = pd_kernel::ShapeConstants;

    // Moves the phase on by one increment and notes a wrap for a synced partner.
    void advancePhase() noexcept;
    float delayedOutput (float v, float beforeEdge) noexcept;

    struct GroupFunctions
    {
        int (*begin) (PdOscillator&, bool, float*) noexcept;
        float (*finish) (PdOscillator&, const float*) noexcept;
    };

    template <int Shape>
    QUILLON_FLATTEN static float tickWith (PdOscillator& unit, bool audible) noexcept { return unit.tickShape<Shape> (audible); }
    template <int Shape>
    static void renderStretchWith (PdOscillator&, const StretchRows&, int, float*, const float*, float*) noexcept;
    template <int Shape>
    void tickRange (const StretchRows& rows, int from, int to, float* out, const float* partnerWraps, float* ownWraps) noexcept;
    template <int Shape>
    QUILLON_HOT_CLONES QUILLON_FLATTEN void renderLanes (const StretchRows& rows, int from, int to, float* out, const float* partnerWraps, float* ownWraps) noexcept;
    // renderLanes' steps: the frames' settings and depths, the constants of a depth that holds,
    // four ticks' shapes, and a synced unit's output with its sync steps.
    struct LaneFrames;
    struct SyncRestarts;
    void readLaneFrames (const StretchRows& rows, int from, int n, LaneFrames& frames) noexcept;
    template <int Shape>
    void holdLaneConstants (const LaneFrames& frames, pd_kernel::ShapeConstantsOf<dsp::Float4>& fixed,
                            pd_kernel::ShapeConstantsOf<dsp::Float4>& fixedNext) noexcept;
    template <int Shape>
    static dsp::Float4 shapeLanes (dsp::Float4 p, int k, const LaneFrames& frames,
                                   const pd_kernel::ShapeConstantsOf<dsp::Float4>& fixed,
                                   const pd_kernel::ShapeConstantsOf<dsp::Float4>& fixedNext, float gain, float nextGain) noexcept;
    void putOutSynced (float* values, int n, const SyncRestarts& restarts, const LaneFrames& frames, float* out) noexcept;
    void applyFrame (const StretchRows& rows, int j) noexcept
    {
        setFrequency (rows.frequency[j]);
        dcwDepth = rows.dcwDepth[j];
        pulseWidth = rows.pulseWidth[j];
        morphAmount = rows.morph[j];
    }
    float partnerWrap() const noexcept
    {
        return syncEnabled && syncPartner != nullptr && syncPartner->wrapped ? syncPartner->wrapFraction : -1.0f;
    }
    template <int Shape>
    QUILLON_FLATTEN static int beginWith (PdOscillator& unit, bool audible, float* arguments) noexcept
    {
        return unit.beginTick<Shape> (audible, unit.partnerWrap(), arguments);
    }
    template <int Shape>
    QUILLON_FLATTEN static float finishWith (PdOscillator& unit, const float* sines) noexcept { return unit.finishTick<Shape> (sines); }
    template <int Shape>
    static constexpr GroupFunctions groupFunctionsFor { &beginWith<Shape>, &finishWith<Shape> };

    // One tick with the shape fixed at compile time (-1: any other shape, through the general
    // function), chosen when the shape changes. A tick is split where its sines are taken: the
    // first half moves the state on and leaves up to three sine arguments, the second makes the
    // output from their sines.
    template <int Shape>
    float tickShape (bool audible) noexcept { return tickSynced<Shape> (audible, partnerWrap()); }
    // A tick with the partner's wrap given (negative: none), as partnerWrap() reads it.
    template <int Shape>
    float tickSynced (bool audible, float wrap) noexcept;
    template <int Shape>
    int beginTick (bool audible, float wrap, float* sineArguments) noexcept;
    template <int Shape>
    float finishTick (const float* sines) noexcept;

    // Shape value without the output gain; the pulse is drawn naive (with its offset removed)
    // here: the sync, morph and fade paths.
    template <int Shape>
    float rawShape (float atPhase, const ShapeConstants& c) const noexcept;
    float rawWave (int shape, float atPhase, float dcw) const noexcept;
    // The unit's naive output at a phase: gain and morph included, at the depth of the cached constants.
    template <int Shape>
    float naiveOutput (float atPhase) const noexcept;
    // The shape the morph moves towards, out of line so that the unmorphed path keeps its registers.
    template <int Shape>
    float morphTarget (float atPhase) const noexcept;
    // A sync's restart: the step it makes, with the phase moved on past the edge.
    template <int Shape>
    float restartForSync (float edge) noexcept;
    // The band-limited pulse at a phase: a +-1 pulse steps by 2 at its edges, each with the
    // four-sample step residual. A synced unit keeps to two samples, those of its restarts' own
    // correction, whose polyBLEP residual is polyBlep itself: after a restart the rising edge is
    // the restart's.
    float pulseAt (float atPhase, float width, float inc, bool restarted) const noexcept
    {
        auto t = atPhase - width;
        if (t < 0.0f)
            t += 1.0f;

        auto v = pd_kernel::naivePulse (atPhase, width);

        if (syncEnabled)
        {
            v -= polyBlep (t, inc);

            if (! restarted)
                v += polyBlep (atPhase, inc);
        }
        else if (inc > 0.0f && inc < 0.125f)
        {
            v -= 2.0f * pd_kernel::stepResidualAtWrap (t, inc);
            v += 2.0f * pd_kernel::stepResidualAtWrap (atPhase, inc);
        }

        return v * outputGain;
    }
    // The depth's constants for this shape and, while morphing, the next one.
    template <int Shape>
    void updateConstants (float dcw) noexcept;
    void updateIncrement() noexcept
    {
        increment = frequency * inverseSampleRate;
        // The distortion fades out as the pitch rises and is gone from 1600 Hz up; a negative
        // frequency is as high as its magnitude.
        pitchDcwLimit = std::clamp (1.0f - 60.0f * std::abs (frequency * osc_detail::dcwCeilingPerHz), 0.0f, 1.0f);
    }
    void chooseTickFunctions (int shape) noexcept;

    double sampleRate = 44100.0;
    float inverseSampleRate = 1.0f / 44100.0f;
    float phase = 0.0f;
    float increment = 0.0f;
    float frequency = 0.0f;
    float dcwDepth = 1.0f;
    float outputGain = 1.0f;
    float nextShapeGain = 1.0f; // gain of the shape the morph moves towards
    int waveShape = 0;
    float pulseWidth = 0.5f;
    float morphAmount = 0.0f;
    const PdOscillator* syncPartner = nullptr;
    bool syncEnabled = false;
    bool wrapped = false;
    float wrapFraction = 0.0f;
    // A synced unit puts out each sample one tick late, so that the half of a sync step's
    // correction that belongs before the edge can still be added to the sample before it.
    float heldOutput = 0.0f;
    bool delayFresh = true;
    int resetFadeLength = 1;
    int resetFadeCountdown = 0;
    float oldPhase = 0.0f;
    float oldDcw = 0.0f;
    float currentDcw = 0.0f;

    // Derived from the settings above: not part of the compared state.
    TickFunction tickFunction = &PdOscillator::tickWith<0>;
    const GroupFunctions* groupFunctions = &groupFunctionsFor<0>;

    // What the first half of a tick leaves for the second.
    struct Pending
    {
        float phase = 0.0f, oldPhase = 0.0f, blend = 0.0f, edge = 0.0f, syncStep = 0.0f, pulse = 0.0f;
        bool audible = false, synced = false, morphing = false, fading = false;
    } pending;
    float pitchDcwLimit = 1.0f;
    ShapeConstants constants, nextConstants, oldConstants;
    float constantsDcw = -1.0f, nextConstantsDcw = -1.0f; // depth the constants hold (-1: none)
};

// The sub oscillator: a sine, or a phase-distortion shape at a fixed depth.
class SubOscillator
{
public:
    enum Mode { sineMode, pdMode };

    void prepare (double newSampleRate) noexcept;

    void setFrequency (float hz) noexcept  { increment = hz * inverseSampleRate; }
    void setMode (int newMode) noexcept    { mode = newMode; }
    void setWaveShape (int shape) noexcept;
    void setDcw (float depth) noexcept
    {
        if (depth != dcw)
        {
            dcw = depth;
            constants = pd_kernel::shapeConstants (waveShape, depth);
        }
    }

    void resetPhase (float newPhase, bool fade = true) noexcept;
    float tick (bool audible = true) noexcept;

    // Renders 2 * count ticks: with frequency[j] and dcw[j] set, out[2j] and out[2j + 1] are
    // tick (gain[j] != 0) * gain[j], the same samples and state as ticking one by one, with the
    // sines taken four at a time.
    void renderStretch (const float* frequency, const float* dcw, const float* gain, int count, float* out) noexcept;

private:
    float valueAt (float atPhase) const noexcept;
    void stepPhase() noexcept
    {
        // The floor only where the phase wraps: the next sample waits on this one's phase.
        const auto t = phase + increment;
        phase = t >= 0.0f && t < 1.0f ? t : frac (t);

        if (! (phase >= 0.0f && phase <= 1.0f)) // not a number
            phase = 0.0f;
    }
    template <int Shape> // -1: the sine
    QUILLON_HOT_CLONES QUILLON_FLATTEN void renderLanes (const float* frequency, const float* dcw, const float* gain, int from, int to, float* out) noexcept;
    void tickRange (const float* frequency, const float* dcw, const float* gain, int from, int to, float* out) noexcept;

    double sampleRate = 44100.0;
    float inverseSampleRate = 1.0f / 44100.0f;
    float phase = 0.0f;
    float increment = 0.0f;
    int mode = sineMode;
    int waveShape = 0;
    float dcw = 0.0f;
    float outputGain = 1.0f;
    pd_kernel::ShapeFunction shapeFunction = pd_kernel::shapeAt<0>;
    pd_kernel::ShapeConstants constants = pd_kernel::shapeConstants (0, 0.0f);
    int resetFadeLength = 1;
    int resetFadeCountdown = 0;
    float oldPhase = 0.0f;
};

//==============================================================================
// The per-sample work, inline so that it compiles into the voice's loop.
inline void PdOscillator::advancePhase() noexcept
{
    using namespace osc_detail;
    const auto t = phase + increment;

    if (t >= 0.0f && t < 1.0f)
    {
        wrapped = false;
        wrapFraction = 0.0f;
        phase = t;
    }
    else if (t >= 1.0f)
    {
        wrapped = true;
        wrapFraction = increment > 0.0f ? std::clamp (1.0f - (t - 1.0f) / increment, 0.0f, 1.0f) : 0.0f;
        phase = t < 1.0e6f ? frac (t) : 0.0f;
    }
    else
    {
        // A negative frequency runs the phase downward: keep it inside 0..1 as well. Only the
        // upward wrap restarts a synced partner. A phase that is not a number starts again at 0.
        wrapped = false;
        wrapFraction = 0.0f;
        phase = t < 0.0f && t > -1.0e6f ? frac (t) : 0.0f;
    }
}

// A synced unit puts out the sample held from the tick before, with the half of a sync step's
// correction that belongs before the edge.
inline float PdOscillator::delayedOutput (float v, float beforeEdge) noexcept
{
    if (! syncEnabled)
        return v;

    if (delayFresh)
    {
        heldOutput = v;
        delayFresh = false;
    }

    const auto out = heldOutput + beforeEdge;
    heldOutput = v;
    return out;
}

inline float PdOscillator::rawWave (int shape, float atPhase, float dcw) const noexcept
{
    using namespace osc_detail;
    if (shape == pwmShape)
        return pd_kernel::naivePulse (atPhase, pulseWidth);

    return phaseDistortionShape (shape, atPhase, dcw, resonanceWindows);
}

template <int Shape>
inline float PdOscillator::rawShape (float atPhase, const ShapeConstants& c) const noexcept
{
    if constexpr (Shape == osc_detail::pwmShape)
        return pd_kernel::naivePulse (atPhase, pulseWidth);
    else if constexpr (Shape < 0)
        return rawWave (waveShape, atPhase, c.dcw);
    else
        return pd_kernel::shapeAt<Shape> (atPhase, c);
}

template <int Shape>
inline void PdOscillator::updateConstants (float dcw) noexcept
{
    if (constantsDcw != dcw)
    {
        constants = pd_kernel::shapeConstants (Shape < 0 ? waveShape : Shape, dcw);
        constantsDcw = dcw;
    }

    if constexpr (Shape != osc_detail::pwmShape)
        if (morphAmount > 0.0f && nextConstantsDcw != dcw)
        {
            nextConstants = pd_kernel::shapeConstants (Shape < 0 ? (waveShape + 1) % numWaveShapes
                                                                 : (Shape + 1) % numWaveShapes, dcw);
            nextConstantsDcw = dcw;
        }
}

template <int Shape>
QUILLON_NOINLINE float PdOscillator::morphTarget (float atPhase) const noexcept
{
    if constexpr (Shape < 0)
        return rawWave ((waveShape + 1) % numWaveShapes, atPhase, nextConstants.dcw);
    else
        return rawShape<(Shape + 1) % numWaveShapes> (atPhase, nextConstants);
}

template <int Shape>
inline float PdOscillator::naiveOutput (float atPhase) const noexcept
{
    const auto v = rawShape<Shape> (atPhase, constants) * outputGain;

    if constexpr (Shape == osc_detail::pwmShape)
        return v;
    else
    {
        if (! (morphAmount > 0.0f))
            return v;

        return v + (morphTarget<Shape> (atPhase) * nextShapeGain - v) * morphAmount;
    }
}

template <int Shape>
int PdOscillator::beginTick (bool audible, float wrap, float* sineArguments) noexcept
{
    using namespace osc_detail;
    constexpr auto next = Shape >= 0 ? (Shape + 1) % numWaveShapes : -1;

    // Hard sync: the partner's wrap lay `edge` of a sample before this one. The restart is a step
    // from the old phase's value at the edge to the wave's start; a two-sample polyBLEP spreads
    // it, half before the edge (added to the held sample) and half after.
    auto& p = pending;
    p.syncStep = 0.0f;
    p.edge = 0.0f;
    p.synced = ! (wrap < 0.0f);
    p.audible = audible;

    if (p.synced)
    {
        p.edge = 1.0f - std::clamp (wrap, 0.0f, 1.0f);
        p.syncStep = restartForSync<Shape> (p.edge);
    }

    const auto e = dcwEnvelope.tick() * dcwDepth;
    currentDcw = std::min (pitchDcwLimit, std::clamp (e, 0.0f, 1.0f));

    // Silent, the unit still moves its phase, sync, envelope and fade on exactly as it would
    // sounding, so that it comes back in where it would have been.
    auto n = 0;
    p.phase = phase;
    p.morphing = false;

    if (audible)
    {
        if constexpr (Shape == pwmShape)
            p.pulse = pulseAt (phase, pulseWidth, increment, p.synced);
        else
        {
            updateConstants<Shape> (currentDcw);

            if constexpr (pd_kernel::usesSine<Shape>)
                sineArguments[n++] = pd_kernel::sineArgument<Shape> (phase, constants);

            p.morphing = morphAmount > 0.0f;

            if constexpr (pd_kernel::usesSine<next>)
                if (p.morphing)
                    sineArguments[n++] = pd_kernel::sineArgument<next> (phase, nextConstants);
        }
    }

    p.fading = resetFadeCountdown > 0;

    if (p.fading)
    {
        if (audible)
        {
            p.oldPhase = oldPhase;
            p.blend = smoothStep (1.0f - (float) resetFadeCountdown / (float) resetFadeLength);

            if constexpr (pd_kernel::usesSine<Shape>)
                sineArguments[n++] = pd_kernel::sineArgument<Shape> (oldPhase, oldConstants);
        }

        oldPhase = frac (oldPhase + increment);
        --resetFadeCountdown;
    }

    advancePhase();

    return n;
}

template <int Shape>
float PdOscillator::finishTick (const float* sines) noexcept
{
    using namespace osc_detail;
    constexpr auto next = Shape >= 0 ? (Shape + 1) % numWaveShapes : -1;
    const auto& p = pending;
    auto v = 0.0f;
    auto k = 0;

    if (p.audible)
    {
        if constexpr (Shape == pwmShape)
            v = p.pulse;
        else
        {
            if constexpr (pd_kernel::hasEdgeResidual<Shape>)
            {
                if constexpr (pd_kernel::usesSine<Shape>)
                    v = pd_kernel::fromSine<Shape> (sines[k++], p.phase);
                else
                    v = rawShape<Shape> (p.phase, constants);

                v = (v + pd_kernel::edgeResidual<Shape> (p.phase, increment, constants.a)) * outputGain;
            }
            else if constexpr (pd_kernel::usesSine<Shape>)
                v = pd_kernel::fromSine<Shape> (sines[k++], p.phase) * outputGain;
            else
                v = rawShape<Shape> (p.phase, constants) * outputGain;

            if (p.morphing)
            {
                float target;

                if constexpr (pd_kernel::usesSine<next>)
                    target = pd_kernel::fromSine<next> (sines[k++], p.phase);
                else
                    target = morphTarget<Shape> (p.phase);

                v += (target * nextShapeGain - v) * morphAmount;
            }
        }

        if (p.synced)
        {
            const auto after = 1.0f - p.edge;
            v -= 0.5f * p.syncStep * after * after;
        }

        if (p.fading)
        {
            float old;

            if constexpr (pd_kernel::usesSine<Shape>)
                old = pd_kernel::fromSine<Shape> (sines[k++], p.oldPhase) * outputGain;
            else
                old = rawShape<Shape> (p.oldPhase, oldConstants) * outputGain;

            v = (1.0f - p.blend) * old + p.blend * v;
        }
    }

    return delayedOutput (v, p.synced && p.audible ? 0.5f * p.syncStep * p.edge * p.edge : 0.0f);
}

// The rare parts of a tick, out of line so that the usual path keeps its registers.
template <int Shape>
QUILLON_NOINLINE float PdOscillator::restartForSync (float edge) noexcept
{
    using namespace osc_detail;
    updateConstants<Shape> (currentDcw);
    const auto step = naiveOutput<Shape> (0.0f) - naiveOutput<Shape> (frac (phase - edge * increment));
    phase = frac (edge * increment);
    return step;
}

// One tick on its own: its sines one by one between the two halves.
template <int Shape>
float PdOscillator::tickSynced (bool audible, float wrap) noexcept
{
    float arguments[3], sines[3];
    const auto n = beginTick<Shape> (audible, wrap, arguments);

    for (int i = 0; i < n; ++i)
        sines[i] = dsp::sinTurns (arguments[i]);

    return finishTick<Shape> (sines);
}

inline void PdOscillator::tickUnits (PdOscillator* const* units, const bool* audible, float* outputs, int count) noexcept
{
    constexpr int maxUnits = 4, maxSines = 3 * maxUnits;
    float arguments[maxSines] = {}, sines[maxSines];
    int first[maxUnits];
    auto n = 0;
    count = std::min (count, maxUnits);

    for (int i = 0; i < count; ++i)
    {
        auto& unit = *units[i];
        first[i] = n;
        n += unit.groupFunctions->begin (unit, audible[i], arguments + n);
    }

    for (int i = 0; i < n; i += 4)
        dsp::sinTurns4 (arguments + i, sines + i);

    for (int i = 0; i < count; ++i)
    {
        auto& unit = *units[i];
        outputs[i] = unit.groupFunctions->finish (unit, sines + first[i]);
    }
}

inline float SubOscillator::valueAt (float atPhase) const noexcept
{
    using namespace osc_detail;
    if (mode == pdMode)
        return shapeFunction (atPhase, constants) * outputGain;

    return dsp::sinTurns (atPhase);
}

inline float SubOscillator::tick (bool audible) noexcept
{
    using namespace osc_detail;
    auto v = audible ? valueAt (phase) : 0.0f;

    if (resetFadeCountdown > 0)
    {
        if (audible)
        {
            const auto old = valueAt (oldPhase);
            const auto b = smoothStep (1.0f - (float) resetFadeCountdown / (float) resetFadeLength);
            v = (1.0f - b) * old + b * v;
        }

        oldPhase = frac (oldPhase + increment);
        --resetFadeCountdown;
    }

    stepPhase();
    return v;
}

} // namespace quillon
