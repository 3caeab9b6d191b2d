#include "engine/sources/PdOscillator.h"

#include "engine/sources/PhaseDistortion.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>

namespace quillon
{

using namespace osc_detail;

namespace
{
inline int fadeLengthFor (double rate) noexcept
{
    return std::max (1, (int) std::lround (0.005 * rate));
}

constexpr int maxStretchTicks = 2 * PdOscillator::maxStretchFrames;
// Room for the last group of four lanes to run on past a stretch's end.
constexpr int laneArraySize = maxStretchTicks + 4;

inline int roundUpToLanes (int n) noexcept { return (n + 3) & ~3; }

// t in 0..1 (not 1) with one comparison of its bits; -0 is left out, to go the long way round.
inline bool withinOneTurn (float t) noexcept
{
    std::uint32_t bits;
    std::memcpy (&bits, &t, sizeof (bits));
    return bits < 0x3f800000u;
}
} // namespace

//==============================================================================
void PdOscillator::prepare (double newSampleRate) noexcept
{
    sampleRate = newSampleRate;
    inverseSampleRate = newSampleRate > 0.0 ? (float) (1.0 / newSampleRate) : 0.0f;
    phase = 0.0f;
    updateIncrement();
    dcwEnvelope.setSampleRate (newSampleRate);
    wrapped = false;
    wrapFraction = 0.0f;
    resetFadeCountdown = 0;
    oldPhase = 0.0f;
    oldDcw = 0.0f;
    heldOutput = 0.0f;
    delayFresh = true;
    resetFadeLength = fadeLengthFor (newSampleRate);
}

void PdOscillator::setWaveShape (int shape) noexcept
{
    waveShape = shape;
    outputGain = shape >= 0 && shape < numWaveShapes ? waveGainTable()[shape] : 1.0f;
    nextShapeGain = shape >= 0 && shape < numWaveShapes ? waveGainTable()[(shape + 1) % numWaveShapes] : 1.0f;
    chooseTickFunctions (shape);
    constantsDcw = nextConstantsDcw = -1.0f;
    oldConstants = pd_kernel::shapeConstants (shape, oldDcw);
}

void PdOscillator::chooseTickFunctions (int shape) noexcept
{
    static constexpr TickFunction ticks[] = { &tickWith<0>, &tickWith<1>, &tickWith<2>, &tickWith<3>, &tickWith<4>,
                                              &tickWith<5>, &tickWith<6>, &tickWith<7>, &tickWith<8>, &tickWith<9> };
    static constexpr const GroupFunctions* groups[] = { &groupFunctionsFor<0>, &groupFunctionsFor<1>,
                                                        &groupFunctionsFor<2>, &groupFunctionsFor<3>,
                                                        &groupFunctionsFor<4>, &groupFunctionsFor<5>,
                                                        &groupFunctionsFor<6>, &groupFunctionsFor<7>,
                                                        &groupFunctionsFor<8>, &groupFunctionsFor<9> };
    static_assert (std::size (ticks) == numWaveShapes && std::size (groups) == numWaveShapes);

    const auto known = shape >= 0 && shape < numWaveShapes;
    tickFunction = known ? ticks[shape] : &tickWith<-1>;
    groupFunctions = known ? groups[shape] : &groupFunctionsFor<-1>;
}

void PdOscillator::resetPhase (float newPhase, bool fade) noexcept
{
    oldPhase = phase;
    oldDcw = currentDcw;
    oldConstants = pd_kernel::shapeConstants (waveShape, oldDcw);
    resetFadeCountdown = fade ? resetFadeLength : 0;
    phase = frac (newPhase);
}

//==============================================================================
void PdOscillator::renderStretch (const StretchFrame* frames, int count, float* out, const float* partnerWraps,
                                  float* ownWraps) noexcept
{
    float frequencies[maxStretchFrames], depths[maxStretchFrames], widths[maxStretchFrames], morphs[maxStretchFrames],
        audibles[maxStretchFrames];
    const StretchRows rows { frequencies, depths, widths, morphs, audibles };

    for (int done = 0; done < count; done += maxStretchFrames)
    {
        const auto n = std::min (maxStretchFrames, count - done);

        for (int j = 0; j < n; ++j)
        {
            const auto& f = frames[done + j];
            frequencies[j] = f.frequency;
            depths[j] = f.dcwDepth;
            widths[j] = f.pulseWidth;
            morphs[j] = f.morph;
            audibles[j] = f.audible ? 1.0f : 0.0f;
        }

        const auto offset = 2 * done;
        renderStretch (rows, n, out + offset, partnerWraps != nullptr ? partnerWraps + offset : nullptr,
                       ownWraps != nullptr ? ownWraps + offset : nullptr);
    }
}

void PdOscillator::renderStretch (const StretchRows& rows, int count, float* out, const float* partnerWraps,
                                  float* ownWraps) noexcept
{
    using Render = void (*) (PdOscillator&, const StretchRows&, int, float*, const float*, float*) noexcept;
    static constexpr Render renders[] = { &renderStretchWith<0>, &renderStretchWith<1>, &renderStretchWith<2>,
                                          &renderStretchWith<3>, &renderStretchWith<4>, &renderStretchWith<5>,
                                          &renderStretchWith<6>, &renderStretchWith<7>, &renderStretchWith<8>,
                                          &renderStretchWith<9> };
    static_assert (std::size (renders) == numWaveShapes);
    const auto render = waveShape >= 0 && waveShape < numWaveShapes ? renders[waveShape] : &renderStretchWith<-1>;

    for (int done = 0; done < count; done += maxStretchFrames)
    {
        const auto offset = 2 * done;
        render (*this, rows.from (done), std::min (maxStretchFrames, count - done), out + offset,
                partnerWraps != nullptr ? partnerWraps + offset : nullptr, ownWraps != nullptr ? ownWraps + offset : nullptr);
    }
}

template <int Shape>
void PdOscillator::renderStretchWith (PdOscillator& unit, const StretchRows& rows, int count, float* out,
                                      const float* partnerWraps, float* ownWraps) noexcept
{
    const auto ticks = 2 * count;

    if constexpr (Shape < 0 || dsp::exactReference)
    {
        unit.tickRange<Shape> (rows, 0, ticks, out, partnerWraps, ownWraps);
    }
    else
    {
        // A reset fade blends in a third shape: its few ticks go one by one, to a frame's end.
        const auto fading = std::min (ticks, (std::max (0, unit.resetFadeCountdown) + 1) & ~1);
        unit.tickRange<Shape> (rows, 0, fading, out, partnerWraps, ownWraps);

        if (fading < ticks)
            unit.renderLanes<Shape> (rows, fading, ticks, out, partnerWraps, ownWraps);
    }
}

template <int Shape>
void PdOscillator::tickRange (const StretchRows& rows, int from, int to, float* out, const float* partnerWraps,
                              float* ownWraps) noexcept
{
    for (int i = from; i < to; ++i)
    {
        const auto j = i >> 1;

        if (i == from || (i & 1) == 0)
            applyFrame (rows, j);

        out[i] = tickSynced<Shape> (rows.audible[j] != 0.0f, syncEnabled && partnerWraps != nullptr ? partnerWraps[i] : -1.0f);

        if (ownWraps != nullptr)
            ownWraps[i] = getWrapForSync();
    }
}

// The ticks that see a partner's wrap, as bits, so that groups of four without one can step on
// without looking.
static std::uint64_t ticksWithWraps (const float* partnerWraps, int n) noexcept
{
    static_assert (maxStretchTicks <= 64);
    std::uint64_t bits = 0;
    auto k = 0;

    for (; k + 4 <= n; k += 4)
        bits |= (std::uint64_t) dsp::bitsOf (! (dsp::Float4::load (partnerWraps + k) < 0.0f)) << k;

    for (; k < n; ++k)
        bits |= (std::uint64_t) (! (partnerWraps[k] < 0.0f)) << k;

    return bits;
}

// A stretch's frames as the setters leave them, one entry a frame (its two ticks), and each
// tick's depth; past the last frame, nothing.
struct PdOscillator::LaneFrames
{
    static constexpr int frameArraySize = maxStretchFrames + 2;
    alignas (16) float increments[frameArraySize], limits[frameArraySize], dcwDepths[frameArraySize],
        morphs[frameArraySize], widths[frameArraySize], audibles[frameArraySize];
    alignas (16) float depths[laneArraySize];
    bool anyMorph = false, anyAudible = false, moving = false;
};

// The sync restarts of a stretch: at which tick, their step and edge.
struct PdOscillator::SyncRestarts
{
    int ticks[maxStretchTicks];
    float steps[maxStretchTicks], edges[maxStretchTicks];
    int count = 0;
};

void PdOscillator::readLaneFrames (const StretchRows& rows, int from, int n, LaneFrames& f) noexcept
{
    using dsp::Float4;
    const auto count = n / 2, lanes = roundUpToLanes (n), first = from / 2;

    // Four frames at a time, with updateIncrement's operations.
    const Float4 rate (inverseSampleRate);
    const auto copy = [count, first] (const float* row, float* into)
    {
        auto j = 0;

        for (; j + 4 <= count; j += 4)
            Float4::load (row + first + j).store (into + j);

        for (; j < count; ++j)
            into[j] = row[first + j];

        for (; j < roundUpToLanes (count); ++j)
            into[j] = 0.0f;
    };

    copy (rows.frequency, f.increments);
    copy (rows.dcwDepth, f.dcwDepths);
    copy (rows.morph, f.morphs);
    copy (rows.pulseWidth, f.widths);
    copy (rows.audible, f.audibles);
    dsp::Mask4 morphing { Float4 (0.0f) != Float4 (0.0f) }, sounding = morphing;

    for (int j = 0; j < count; j += 4)
    {
        const auto hz = Float4::load (f.increments + j);
        (hz * rate).store (f.increments + j);
        dsp::clamp (Float4 (1.0f) - Float4 (60.0f) * dsp::abs (hz * Float4 (dcwCeilingPerHz)), 0.0f, 1.0f).store (f.limits + j);
        morphing = morphing | (Float4::load (f.morphs + j) > 0.0f);
        sounding = sounding | (Float4::load (f.audibles + j) != 0.0f);
    }

    f.anyMorph = dsp::anyOf (morphing);
    f.anyAudible = dsp::anyOf (sounding);
    applyFrame (rows, first + count - 1);

    for (int j = count; j < lanes / 2; ++j)
        f.increments[j] = f.limits[j] = f.dcwDepths[j] = f.morphs[j] = f.widths[j] = f.audibles[j] = 0.0f;

    // The depth of each tick: the envelope moves on by itself, the rest holds no state.
    alignas (16) float levels[laneArraySize];
    dcwEnvelope.render (levels, n);
    std::fill (levels + n, levels + lanes, 0.0f);

    for (int k = 0; k < lanes; k += 4)
    {
        const auto e = Float4::load (levels + k) * Float4::loadPairs (f.dcwDepths + k / 2);
        dsp::min (Float4::loadPairs (f.limits + k / 2), dsp::clamp (e, 0.0f, 1.0f)).store (f.depths + k);
    }

    std::fill (f.depths + n, f.depths + lanes, f.depths[0]);
    dsp::Mask4 changes { Float4 (0.0f) != Float4 (0.0f) };

    for (int k = 0; k < lanes; k += 4)
        changes = changes | (Float4::load (f.depths + k) != Float4 (f.depths[0]));

    f.moving = dsp::anyOf (changes);
}

// While the depth holds, the shapes take the constants kept for it.
template <int Shape>
void PdOscillator::holdLaneConstants (const LaneFrames& f, pd_kernel::ShapeConstantsOf<dsp::Float4>& fixed,
                                      pd_kernel::ShapeConstantsOf<dsp::Float4>& fixedNext) noexcept
{
    const auto d = f.depths[0];

    if (constantsDcw != d)
    {
        constants = pd_kernel::shapeConstants (Shape, d);
        constantsDcw = d;
    }

    if (f.anyMorph && nextConstantsDcw != d)
    {
        nextConstants = pd_kernel::shapeConstants ((Shape + 1) % numWaveShapes, d);
        nextConstantsDcw = d;
    }

    fixed = { constants.a, constants.b };
    fixedNext = { nextConstants.a, nextConstants.b };
}

// The four ticks from k at phases p, morphed and silenced as their frames say.
template <int Shape>
QUILLON_ALWAYS_INLINE inline dsp::Float4 PdOscillator::shapeLanes (dsp::Float4 p, int k, const LaneFrames& f,
                                                                   const pd_kernel::ShapeConstantsOf<dsp::Float4>& fixed,
                                                                   const pd_kernel::ShapeConstantsOf<dsp::Float4>& fixedNext,
                                                                   float gain, float nextGain) noexcept
{
    using dsp::Float4;
    constexpr auto next = (Shape + 1) % numWaveShapes;
    constexpr auto twoSines = pd_kernel::usesSine<next> && ! pd_kernel::sharesSine<Shape, next>;
    const auto c = f.moving ? pd_kernel::shapeConstantsOf<Shape> (Float4::load (f.depths + k)) : fixed;
    const auto argument = pd_kernel::sineArgument<Shape> (p, c);
    Float4 sine, nextSine;

    // A morph towards a shape of another sine takes both sines together.
    if (twoSines && f.anyMorph)
    {
        const auto nc = f.moving ? pd_kernel::shapeConstantsOf<next> (Float4::load (f.depths + k)) : fixedNext;
        dsp::sinTurns (argument, pd_kernel::sineArgument<next> (p, nc), sine, nextSine);
    }
    else
        sine = dsp::sinTurns (argument);

    auto v = pd_kernel::fromSine<Shape> (sine, p);

    if constexpr (pd_kernel::hasEdgeResidual<Shape>)
    {
        // Most groups lie away from the edges: one test of all four lanes passes them by.
        const auto reach = Float4 (pd_kernel::edgeReach) * Float4::loadPairs (f.increments + k / 2);
        auto near = (p < reach) | (p > Float4 (1.0f) - reach);

        if constexpr (pd_kernel::hasMiddleEdge<Shape>)
            near = near | (dsp::abs (p - Float4 (0.5f)) < reach);

        if (dsp::anyOf (near))
        {
            alignas (16) float phases[4], windows[4], residuals[4];
            p.store (phases);
            c.a.store (windows);

            for (int i = 0; i < 4; ++i)
                residuals[i] = pd_kernel::edgeResidual<Shape> (phases[i], f.increments[(k + i) >> 1], windows[i]);

            v = v + Float4::load (residuals);
        }
    }

    v = v * gain;

    if (f.anyMorph)
    {
        const auto m = Float4::loadPairs (f.morphs + k / 2);
        Float4 target;

        if constexpr (pd_kernel::sharesSine<Shape, next>)
            target = pd_kernel::fromSine<next> (sine, p);
        else if constexpr (twoSines)
            target = pd_kernel::fromSine<next> (nextSine, p);
        else // the naive pulse
        {
            target = pd_kernel::naivePulse (p, Float4::loadPairs (f.widths + k / 2));
        }

        v = dsp::select (m > 0.0f, v + (target * nextGain - v) * m, v);
    }

    return dsp::select (Float4::loadPairs (f.audibles + k / 2) != 0.0f, v, 0.0f);
}

// A sync step's correction, half after the edge and half before it, on the sample held from the
// tick before: a synced unit puts out each tick one late.
void PdOscillator::putOutSynced (float* values, int n, const SyncRestarts& restarts, const LaneFrames& f,
                                 float* out) noexcept
{
    float beforeEdge[maxStretchTicks];

    for (int s = 0; s < restarts.count; ++s)
    {
        const auto t = restarts.ticks[s];
        beforeEdge[s] = 0.0f;

        if (f.audibles[t >> 1] != 0.0f)
        {
            const auto step = restarts.steps[s], edge = restarts.edges[s], after = 1.0f - edge;
            values[t] -= 0.5f * step * after * after;
            beforeEdge[s] = 0.5f * step * edge * edge;
        }
    }

    if (delayFresh)
    {
        heldOutput = values[0];
        delayFresh = false;
    }

    out[0] = heldOutput + 0.0f;

    for (int t = 1; t < n; ++t)
        out[t] = values[t - 1] + 0.0f;

    for (int s = 0; s < restarts.count; ++s)
    {
        const auto t = restarts.ticks[s];
        out[t] = (t == 0 ? heldOutput : values[t - 1]) + beforeEdge[s];
    }

    heldOutput = values[n - 1];
}

template <int Shape>
void PdOscillator::renderLanes (const StretchRows& rows, int from, int to, float* out, const float* partnerWraps,
                                float* ownWraps) noexcept
{
    using dsp::Float4;
    constexpr auto pwm = Shape == pwmShape;
    const auto n = to - from, count = n / 2;
    LaneFrames f;
    readLaneFrames (rows, from, n, f);
    const auto startDcw = currentDcw;
    alignas (16) float values[laneArraySize];

    // The phase, tick by tick, with the sync restarts.
    SyncRestarts restarts;
    auto ph = phase, wf = wrapFraction;
    auto wr = wrapped;
    const auto syncing = syncEnabled && partnerWraps != nullptr;

    const auto syncBits = syncing ? ticksWithWraps (partnerWraps + from, n) : 0;

    // Only a wrap changes a tick's entry from none.
    if (ownWraps != nullptr)
        std::fill (ownWraps + from, ownWraps + to, -1.0f);

    // Where a step takes the phase out of 0..1: the wrap, noted for the partner. Only the last
    // tick's step decides whether the unit ends wrapped.
    auto lastLeft = -1;
    const auto leaveRange = [&] (int k, float inc)
    {
        increment = inc;
        phase = ph;
        advancePhase();
        ph = phase;
        wr = wrapped;
        wf = wrapFraction;
        lastLeft = k;

        if (ownWraps != nullptr && wr)
            ownWraps[from + k] = wf;
    };

    // Tick k's phase, with the phase moved on past it, for a tick without a restart.
    const auto quickTick = [&] (int k, float inc) -> float
    {
        const auto here = ph;

        if (const auto t = ph + inc; withinOneTurn (t))
            ph = t;
        else
            leaveRange (k, inc);

        return here;
    };

    // The same for any tick, the pulse drawn on the way.
    const auto stepTick = [&] (int k) -> float
    {
        const auto j = k >> 1;
        const auto inc = f.increments[j];
        auto restarted = false;

        if (syncing && ! (partnerWraps[from + k] < 0.0f))
        {
            // The restart reads the unit's settings of this tick and the depth of the one before.
            const auto edge = 1.0f - std::clamp (partnerWraps[from + k], 0.0f, 1.0f);
            increment = inc;
            morphAmount = f.morphs[j];
            pulseWidth = f.widths[j];
            currentDcw = k == 0 ? startDcw : f.depths[k - 1];
            phase = ph;
            restarts.ticks[restarts.count] = k;
            restarts.edges[restarts.count] = edge;
            restarts.steps[restarts.count++] = restartForSync<Shape> (edge);
            ph = phase;
            restarted = true;
        }

        if constexpr (pwm)
            values[k] = f.audibles[j] != 0.0f ? pulseAt (ph, f.widths[j], inc, restarted) : 0.0f;

        return quickTick (k, inc);
    };

    // Then the shapes, four ticks at a time, each group as soon as its phases are known, so that
    // the phase's chain of additions runs alongside the shapes.
    if (pwm || ! f.anyAudible)
    {
        for (int k = 0; k < n; ++k)
            stepTick (k);

        if constexpr (! pwm)
            std::fill (values, values + n, 0.0f);
    }
    else if constexpr (! pwm)
    {
        pd_kernel::ShapeConstantsOf<Float4> fixed, fixedNext;
        const auto gain = outputGain, nextGain = nextShapeGain;

        if (! f.moving)
            holdLaneConstants<Shape> (f, fixed, fixedNext);

        // n is even: a group holds two or four ticks.
        for (int k = 0; k < n; k += 4)
        {
            const auto full = k + 2 < n;
            float p0, p1, p2 = 0.0f, p3 = 0.0f;

            if (((syncBits >> k) & 15) == 0)
            {
                const auto inc = f.increments[k >> 1];
                p0 = quickTick (k, inc);
                p1 = quickTick (k + 1, inc);

                if (full)
                {
                    const auto nextInc = f.increments[(k >> 1) + 1];
                    p2 = quickTick (k + 2, nextInc);
                    p3 = quickTick (k + 3, nextInc);
                }
            }
            else
            {
                p0 = stepTick (k);
                p1 = stepTick (k + 1);

                if (full)
                {
                    p2 = stepTick (k + 2);
                    p3 = stepTick (k + 3);
                }
            }

            shapeLanes<Shape> (Float4::set (p0, p1, p2, p3), k, f, fixed, fixedNext, gain, nextGain).store (values + k);
        }
    }

    phase = ph;
    wrapped = lastLeft == n - 1 && wr;
    wrapFraction = lastLeft == n - 1 ? wf : 0.0f;
    currentDcw = f.depths[n - 1];
    increment = f.increments[count - 1];
    morphAmount = f.morphs[count - 1];
    pulseWidth = f.widths[count - 1];

    if (! syncEnabled)
        std::copy (values, values + n, out + from);
    else
        putOutSynced (values, n, restarts, f, out + from);
}

bool PdOscillator::hasSameStateAs (const PdOscillator& o) const noexcept
{
    return dcwEnvelope.hasSameStateAs (o.dcwEnvelope)
        && sampleRate == o.sampleRate && inverseSampleRate == o.inverseSampleRate && phase == o.phase
        && increment == o.increment && frequency == o.frequency && dcwDepth == o.dcwDepth
        && outputGain == o.outputGain && nextShapeGain == o.nextShapeGain && waveShape == o.waveShape
        && pulseWidth == o.pulseWidth && morphAmount == o.morphAmount && syncEnabled == o.syncEnabled
        && wrapped == o.wrapped && wrapFraction == o.wrapFraction && heldOutput == o.heldOutput && delayFresh == o.delayFresh
        && resetFadeLength == o.resetFadeLength && resetFadeCountdown == o.resetFadeCountdown
        && oldPhase == o.oldPhase && oldDcw == o.oldDcw && currentDcw == o.currentDcw;
}

//==============================================================================
void SubOscillator::prepare (double newSampleRate) noexcept
{
    sampleRate = newSampleRate;
    inverseSampleRate = newSampleRate > 0.0 ? (float) (1.0 / newSampleRate) : 0.0f;
    phase = 0.0f;
    resetFadeCountdown = 0;
    resetFadeLength = fadeLengthFor (newSampleRate);
}

void SubOscillator::setWaveShape (int shape) noexcept
{
    waveShape = shape;
    outputGain = shape >= 0 && shape < numWaveShapes ? waveGainTable()[shape] : 1.0f;
    shapeFunction = pd_kernel::shapeFunction (shape);
    constants = pd_kernel::shapeConstants (shape, dcw);
}

void SubOscillator::renderStretch (const float* frequency, const float* newDcw, const float* gain, int count,
                                   float* out) noexcept
{
    using Render = void (SubOscillator::*) (const float*, const float*, const float*, int, int, float*) noexcept;
    static constexpr Render renders[] = { &SubOscillator::renderLanes<0>, &SubOscillator::renderLanes<1>,
                                          &SubOscillator::renderLanes<2>, &SubOscillator::renderLanes<3>,
                                          &SubOscillator::renderLanes<4>, &SubOscillator::renderLanes<5>,
                                          &SubOscillator::renderLanes<6>, &SubOscillator::renderLanes<7>,
                                          &SubOscillator::tickRange,      &SubOscillator::renderLanes<9> };
    static_assert (std::size (renders) == numWaveShapes);

    // The exact build and shapes without a sine (the pwm's naive pulse, unknown shapes) tick one by one.
    const auto render = dsp::exactReference ? &SubOscillator::tickRange
                      : mode != pdMode     ? &SubOscillator::renderLanes<-1>
                      : waveShape >= 0 && waveShape < numWaveShapes ? renders[waveShape]
                                                                    : &SubOscillator::tickRange;

    for (int done = 0; done < count; done += PdOscillator::maxStretchFrames)
    {
        const auto n = std::min (PdOscillator::maxStretchFrames, count - done);
        const auto ticks = 2 * n;
        auto* o = out + 2 * done;
        // A reset fade's ticks go one by one, to a frame's end.
        const auto fading = std::min (ticks, (std::max (0, resetFadeCountdown) + 1) & ~1);
        tickRange (frequency + done, newDcw + done, gain + done, 0, fading, o);

        if (fading < ticks)
            (this->*render) (frequency + done, newDcw + done, gain + done, fading, ticks, o);
    }
}

void SubOscillator::tickRange (const float* frequency, const float* newDcw, const float* gain, int from, int to,
                               float* out) noexcept
{
    for (int i = from; i < to; ++i)
    {
        const auto j = i >> 1;

        if (i == from || (i & 1) == 0)
        {
            setFrequency (frequency[j]);
            setDcw (newDcw[j]);
        }

        out[i] = tick (gain[j] != 0.0f) * gain[j];
    }
}

template <int Shape>
void SubOscillator::renderLanes (const float* frequency, const float* newDcw, const float* gain, int from, int to,
                                 float* out) noexcept
{
    using dsp::Float4;
    const auto n = to - from;

    // A sub not heard in the whole stretch only moves its phase on.
    if (std::all_of (gain + (from >> 1), gain + ((to + 1) >> 1), [] (float g) { return g == 0.0f; }))
    {
        for (int i = from; i < to; ++i)
        {
            if (i == from || (i & 1) == 0)
            {
                setFrequency (frequency[i >> 1]);
                setDcw (newDcw[i >> 1]);
            }

            stepPhase();
        }

        std::fill (out + from, out + to, 0.0f);
        return;
    }

    // The settings frame by frame (from is even: a frame's two ticks are in the same call), then
    // the phase tick by tick, each group of four ticks shaped as soon as its phases are known.
    constexpr auto frameArraySize = PdOscillator::maxStretchFrames + 2;
    const auto first = from >> 1, count = n >> 1;
    alignas (16) float increments[frameArraySize], as[frameArraySize], bs[frameArraySize], gains[frameArraySize],
        values[laneArraySize];

    {
        // The increments as setFrequency makes them, four at a time where there are four.
        const Float4 rate (inverseSampleRate);
        auto j = 0;

        for (; j + 4 <= count; j += 4)
        {
            (Float4::load (frequency + first + j) * rate).store (increments + j);
            Float4::load (gain + first + j).store (gains + j);
        }

        for (; j < count; ++j)
        {
            increments[j] = frequency[first + j] * inverseSampleRate;
            gains[j] = gain[first + j];
        }

        setFrequency (frequency[first + count - 1]);
    }

    // The sine has no depth: the last one is all the state needs.
    if constexpr (Shape < 0)
        setDcw (newDcw[first + count - 1]);
    else
        for (int j = 0; j < count; ++j)
        {
            setDcw (newDcw[first + j]);
            as[j] = constants.a;
            bs[j] = constants.b;
        }

    for (int j = count; j < frameArraySize; ++j)
        increments[j] = as[j] = bs[j] = gains[j] = 0.0f;

    auto ph = phase;
    const auto stepTick = [&] (float inc)
    {
        const auto here = ph;
        const auto t = ph + inc;

        // As stepPhase does, the usual case first with one comparison.
        if (withinOneTurn (t) || (t >= 0.0f && t < 1.0f))
            ph = t;
        else
        {
            ph = frac (t);

            if (! (ph >= 0.0f && ph <= 1.0f))
                ph = 0.0f;
        }

        return here;
    };

    for (int k = 0; k < n; k += 4)
    {
        const auto inc = increments[k >> 1], nextInc = increments[(k >> 1) + 1];
        const auto p0 = stepTick (inc);
        const auto p1 = stepTick (inc);
        const auto full = k + 2 < n;
        const auto p2 = full ? stepTick (nextInc) : 0.0f;
        const auto p3 = full ? stepTick (nextInc) : 0.0f;
        const auto p = Float4::set (p0, p1, p2, p3);
        Float4 v;

        if constexpr (Shape < 0)
            v = dsp::sinTurns (p);
        else
        {
            const pd_kernel::ShapeConstantsOf<Float4> c { Float4::loadPairs (as + k / 2), Float4::loadPairs (bs + k / 2) };
            v = pd_kernel::fromSine<Shape> (dsp::sinTurns (pd_kernel::sineArgument<Shape> (p, c)), p) * outputGain;
        }

        const auto g = Float4::loadPairs (gains + k / 2);
        (dsp::select (g != 0.0f, v, 0.0f) * g).store (values + k);
    }

    phase = ph;
    std::copy (values, values + n, out + from);
}

void SubOscillator::resetPhase (float newPhase, bool fade) noexcept
{
    oldPhase = phase;
    resetFadeCountdown = fade ? resetFadeLength : 0;
    phase = frac (newPhase);
}

} // namespace quillon
