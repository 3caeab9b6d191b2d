#pragma once

#include "engine/VoiceCodes.h"
#include "engine/chain/FoldLowPass.h"
#include "engine/core/DspMath.h"
#include "engine/core/SwitchFade.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace quillon
{

// The diode curve in units of the thermal voltage: two Newton steps towards
// w + (0.1 / Vt) (e^w - 0.7 e^-w) = v from w = v, tabulated as cubic pieces over |v| <= 16. Past
// that the two steps have moved the input by exactly two units either way (to float precision).
struct DiodeKnee
{
    static constexpr float thermal = 0.026f;
    static constexpr float range = 16.0f;
    static constexpr int perUnit = 8;
    static constexpr int pieces = (int) (2.0f * range) * perUnit + 1; // the last one is the straight line

    struct alignas (16) Piece { float c0, c1, c2, c3; };
    Piece pieces_[pieces];

    // The two Newton steps in double, as the table is made from them.
    static double newtonSteps (double v) noexcept;

    float operator() (float v) const noexcept
    {
        auto clamped = v > -range ? v : -range;
        clamped = clamped < range ? clamped : range;
        const auto t = (clamped + range) * (float) perUnit;
        const auto i = (int) t;
        const auto f = t - (float) i;
        const auto& p = pieces_[i];
        return ((p.c0 + f * p.c1) + (f * f) * (p.c2 + f * p.c3)) + (v - clamped);
    }

    // The same in two parts, the cubic piece for v = x toTable / perUnit and the straight line's
    // share past the range: the piece then waits on x through one multiply-add before the table.
    float piece (float x, float toTable) const noexcept { return pieceAt (x * toTable + centre); }

    // The same from the table index t = x toTable + centre, which a caller may build in parts.
    static constexpr float centre = range * (float) perUnit;
    float pieceAt (float t) const noexcept
    {
        constexpr auto top = 2.0f * range * (float) perUnit;
        t = t > 0.0f ? t : 0.0f;
        t = t < top ? t : top;
        const auto i = (int) t;
        const auto f = t - (float) i;
        const auto& p = pieces_[i];
        return (p.c0 + f * p.c1) + (f * f) * (p.c2 + f * p.c3);
    }

    static float beyondRange (float v) noexcept
    {
        auto clamped = v > -range ? v : -range;
        clamped = clamped < range ? clamped : range;
        return v - clamped;
    }
};

// tanh as cubic pieces over 0..9 (within 2.1e-7 of it), odd by construction; past 9 it is 1 to
// float precision.
struct SoftKnee
{
    static constexpr float range = 9.0f;
    static constexpr int perUnit = 16;
    static constexpr int pieces = (int) range * perUnit + 1; // the last one is the constant 1

    struct alignas (16) Piece { float c0, c1, c2, c3; };
    Piece pieces_[pieces];

    float operator() (float s) const noexcept
    {
        const auto magnitude = std::abs (s);
        const auto t = (magnitude < range ? magnitude : range) * (float) perUnit;
        const auto i = (int) t;
        const auto f = t - (float) i;
        const auto& p = pieces_[i];
        return std::copysign ((p.c0 + f * p.c1) + (f * f) * (p.c2 + f * p.c3), s);
    }
};

extern const DiodeKnee diodeKnee;
extern const SoftKnee softKnee;

// One side's saturation: "soft", "diode" or "fold" at a linear pre-gain of at least 1, with an
// equal-gain fade when the curve changes while a note plays.
class DriveStage
{
public:
    // The curves by the codes presets store; any other code passes the signal as it is.
    static constexpr int soft = (int) DriveMode::soft, diode = (int) DriveMode::diode, fold = (int) DriveMode::fold;
    static constexpr int passThrough = (int) DriveMode::count;

    static constexpr float inputLimit = 1.0e4f;

    void prepare (double oversampledRate) noexcept;
    void reset() noexcept
    {
        foldKernelledBefore = 0.0f;
        foldRisingBefore = 0.0f;
        std::fill (std::begin (foldInputs), std::end (foldInputs), 0.0f);

        for (auto& e : foldEighthsBefore)
            e = dsp::Float4 (0.0f);

        foldInputLowPass.reset();
        foldLowPass.reset();
        foldDryDelay.reset();
        mixDry = 0.0f;
    }

    // With `fade`, the old curve fades out over 5 ms while the new one fades in; a curve still
    // fading when the next change comes fades on from where it was.
    void setMode (int newMode, bool fade) noexcept;
    int getMode() const noexcept { return curveFade.getTarget(); }

    // Just above 0 dB a curve at its own gain already bends a full-scale signal hard (tanh (x) is
    // 0.76 at 1): the curve is blended in from the straight line over the first engagementSpan of
    // gain, so that drive moved across 0 dB does not click. Past it the curve acts whole.
    void setGain (float linearGain) noexcept
    {
        const auto g = linearGain > 1.0f ? linearGain : 1.0f;

        if (g == gain)
            return;

        const auto s = GainSettings::of (linearGain);
        gain = s.gain;
        engagement = s.engagement;
        inverseGain = s.inverseGain;
        diodeIn = s.diodeIn;
        diodeOut = s.diodeOut;
        diodeToTable = s.diodeToTable;
        foldTurns = s.foldTurns;
    }

    float getGain() const noexcept           { return gain; }
    bool isFading() const noexcept           { return curveFade.isFading(); }

    float getDiodeOut() const noexcept       { return diodeOut; }
    float getDiodeToTable() const noexcept   { return diodeToTable; }
    bool hasSameSettingsAs (const DriveStage& o) const noexcept
    {
        return curveFade == o.curveFade && gain == o.gain && engagement == o.engagement && inverseGain == o.inverseGain
            && diodeIn == o.diodeIn && diodeOut == o.diodeOut && foldTurns == o.foldTurns;
    }

    // The curve alone at the current gain; the fold curve also reads the previous inputs, and
    // takes x as its input low-pass gives it.
    float fullCurve (int curve, float x) const noexcept;

    // The fold at eight times the stage's rate: the step six back cut into eighths by the windowed
    // sinc over the twelve latest (low-passed) inputs (FoldEighthTaps), the curve averaged around
    // each eighth's start under a triangle two eighths wide (its second antiderivative, in closed
    // form), then brought back to the stage's rate by four boxcars of a whole step each over the 29
    // latest eighths. Their zeros fall where the folds would alias near the 2x rate's multiples,
    // and a fold driven hard by a bright wave has partials to spare there. The triangle's double
    // zeros at the 8x rate's multiples keep out what the sharp edges fold up from there: an
    // average over each eighth alone let the restrapezoid alias 30 dB down at C6. The cost is 6.4
    // steps of delay (and the input low-pass's 1.9) and 2.7 dB more loss at 24 kHz, of which
    // process() makes up 0.8.
    struct Eighths { dsp::Float4 early, late; float lastRising; };
    Eighths foldEighths (float x) const noexcept;
    float foldFromEighths (Eighths eighths) const noexcept;

    float process (float x) noexcept;

    // The dry signal a drive mix adds to the latest process (x): x itself, but while the fold is
    // heard, x as late as the fold's output has it (FoldDryDelay).
    float dryOfLatest() const noexcept { return mixDry; }

    // The curve a stage applies in `mode` at a drive amount in dB (0..24 dB, before make-up), for
    // drawing it: pure and allocation-free, from the reference maths, with the fold at rest.
    // Odd for soft and fold; bounded for every mode.
    static float transferCurve (int mode, float driveDb, float x) noexcept;

    // While this holds, process() is getDiodeOut() times the sum of diodeRaw()'s parts: a caller
    // can fold that gain into its own.
    bool actsAsWholeDiode() const noexcept
    {
        return ! dsp::exactReference && ! curveFade.isFading() && curveFade.getTarget() == diode && gain > 1.000001f
            && engagement >= 1.0f;
    }
    struct DiodeParts { float piece, beyond; };
    DiodeParts diodeRaw (float x) noexcept
    {
        x = limitInput (x);
        return { diodeKnee.piece (x, diodeToTable), DiodeKnee::beyondRange (diodeIn * x) };
    }

    // The same with the table index worked out by the caller from x (see DiodeKnee::pieceAt).
    DiodeParts diodeRawAt (float x, float t) noexcept
    {
        if (! (std::abs (x) <= inputLimit))
        {
            x = 0.0f;
            t = DiodeKnee::centre;
        }

        return { diodeKnee.pieceAt (t), DiodeKnee::beyondRange (diodeIn * x) };
    }

    // While this holds, process() is the straight line with its input limit; a run of samples
    // through it need only tell it the last input.
    // Not the fold, which keeps its state even then.
    bool passesStraight() const noexcept
    {
        return ! curveFade.isFading() && gain <= 1.000001f && curveFade.getTarget() != fold;
    }
    // Far beyond any signal the voice makes; what lies past it (or is not a number) is silenced
    // rather than turned into a full-scale value or passed on.
    static float limitInput (float x) noexcept { return std::abs (x) <= inputLimit ? x : 0.0f; }

    bool hasSameStateAs (const DriveStage& o) const noexcept
    {
        return curveFade == o.curveFade && gain == o.gain && engagement == o.engagement
            && sameFoldStateAs (o);
    }

    // Stages with the same settings side by side in lanes (below).
    struct Lanes;

private:
    // What a gain sets.
    static constexpr float engagementSpan = 0.2f; // linear gain above 1: 1.6 dB

    struct GainSettings
    {
        float gain, engagement, inverseGain, diodeIn, diodeOut, diodeToTable, foldTurns;

        static GainSettings of (float linearGain) noexcept
        {
            const auto g = linearGain > 1.0f ? linearGain : 1.0f;
            const auto inverse = 1.0f / g;
            const auto in = 0.5f * g / DiodeKnee::thermal;
            return { g, std::min ((g - 1.0f) * (1.0f / engagementSpan), 1.0f), inverse, in, 1.8f * DiodeKnee::thermal * inverse,
                     in * (float) DiodeKnee::perUnit, (6.0f * (g - 1.0f) + 1.0f) * (0.5f / dsp::pi) };
        }
    };

    // The curves as the exact build works them out, at a linear gain g above 1.
    static float referenceCurve (int curve, float g, float x) noexcept;

    SwitchFade<passThrough + 1> curveFade;
    float gain = 1.0f;
    float engagement = 0.0f; // share of the curve against the straight line, 0..1
    float inverseGain = 1.0f, diodeIn = 0.5f / DiodeKnee::thermal, diodeOut = 1.8f * DiodeKnee::thermal;
    float diodeToTable = diodeIn * (float) DiodeKnee::perUnit;
    float foldTurns = 1.0f / (2.0f * dsp::pi); // the fold's k in turns per unit of input
    float foldInputs[FoldEighthTaps::inputs - 1] {}; // the fold's own (low-passed) inputs, latest first
    float foldKernelledBefore = 0.0f; // the fold brought back to the stage's rate, a step before
    float foldRisingBefore = 0.0f; // the triangle's rising half over the last eighth a step before
    // The fold's eighths of the three steps before, latest first, each as its early and late four.
    dsp::Float4 foldEighthsBefore[6] { { 0.0f }, { 0.0f }, { 0.0f }, { 0.0f }, { 0.0f }, { 0.0f } };
    FoldInputLowPass foldInputLowPass;
    FoldLowPass foldLowPass;
    FoldDryDelay foldDryDelay;
    float mixDry = 0.0f; // what dryOfLatest() gives: the latest process() leaves it, it is no state

    float shape (int curve, float x, float folded) const noexcept;
    static Eighths averages (Eighths from, Eighths to, float risingBefore) noexcept;
    bool sameFoldStateAs (const DriveStage& o) const noexcept
    {
        for (size_t i = 0; i < std::size (foldEighthsBefore); ++i)
        {
            float mine[4], theirs[4];
            foldEighthsBefore[i].store (mine);
            o.foldEighthsBefore[i].store (theirs);

            if (! std::equal (mine, mine + 4, theirs))
                return false;
        }

        return std::equal (std::begin (foldInputs), std::end (foldInputs), o.foldInputs) && foldKernelledBefore == o.foldKernelledBefore
            && foldRisingBefore == o.foldRisingBefore
            && foldInputLowPass == o.foldInputLowPass && foldLowPass == o.foldLowPass && foldDryDelay == o.foldDryDelay;
    }
};

// What the drive amount, its modulation and the make-up settings come to for one sample.
struct DriveGains
{
    float pre = 1.0f;  // the stages' pre-gain
    float post = 1.0f; // output gain after the curve, make-up included
};

// `driveDb` is the drive amount with velocity and modulation already added; the applied drive
// is limited to 0..24 dB, and so is the amount the automatic make-up compensates for.
inline DriveGains computeDriveGains (float driveDb, int mode, bool autoMakeup, float outputGain) noexcept;

//==============================================================================
QUILLON_ALWAYS_INLINE inline float DriveStage::shape (int curve, float x, float folded) const noexcept
{
    if (gain <= 1.000001f)
        return x;

    const auto y = curve == fold ? folded : fullCurve (curve, x);
    return engagement >= 1.0f ? y : x + engagement * (y - x);
}

inline float DriveStage::referenceCurve (int curve, float g, float x) noexcept
{
    switch (curve)
    {
        case soft:
            return std::tanh (g * x) / g;

        case diode:
        {
            // An asymmetric knee around zero on a near-linear body, which the 2 / g rescaling expects.
            constexpr float thermal = DiodeKnee::thermal;
            const auto u = 0.5f * g * x;
            auto y = u;

            for (int step = 0; step < 2; ++step)
            {
                const auto e = dsp::expFast (std::clamp (y / thermal, -30.0f, 30.0f));
                const auto d = 0.7f / e;
                y -= ((e - d) * 0.1f + (y - u)) / ((e + d) * (0.1f / thermal) + 1.0f);
            }

            return 2.0f / g * y * 0.9f;
        }

        case fold: // the curve at rest; the stage's own fold averages it over its eighths
            return 0.7f * dsp::sinApprox ((6.0f * (g - 1.0f) + 1.0f) * x);

        default:
            return x;
    }
}

inline float DriveStage::fullCurve (int curve, float x) const noexcept
{
    if constexpr (dsp::exactReference)
        if (curve != fold)
            return referenceCurve (curve, gain, x);

    switch (curve)
    {
        case soft:
            return softKnee (gain * x) * inverseGain;

        case diode:
            return diodeOut * diodeKnee (diodeIn * x);

        case fold:
            return foldFromEighths (foldEighths (x));

        default:
            return x;
    }
}

QUILLON_ALWAYS_INLINE inline DriveStage::Eighths DriveStage::foldEighths (float x) const noexcept
{
    using dsp::Float4;
    // The step six back, from foldInputs[5] to foldInputs[4], split at its eighths by the windowed
    // sinc over the twelve latest inputs; a straight line between them would fold the input's own
    // images near the 2x rate into the audio.
    constexpr int taps = FoldEighthTaps::inputs;
    auto early = Float4 (0.0f), late = Float4 (0.0f);

    for (int t = 0; t < taps; ++t)
    {
        const auto input = Float4 (t < taps - 1 ? foldInputs[taps - 2 - t] : x);
        early = early + input * Float4::load (&FoldEighthTaps::weights[t][0]);
        late = late + input * Float4::load (&FoldEighthTaps::weights[t][4]);
    }

    alignas (16) float ends[8];
    early.store (ends);
    late.store (ends + 4);
    const auto turns = Float4 (foldTurns); // the eighths' ends in turns
    return averages ({ turns * Float4::set (foldInputs[5], ends[0], ends[1], ends[2]), turns * Float4::set (ends[3], ends[4], ends[5], ends[6]), 0.0f },
                     { turns * early, turns * late, 0.0f }, foldRisingBefore);
}

// 0.7 sin (2 pi t) over an eighth from a to b under the triangle's falling half (1 - s, s from 0 at
// a to 1 at b) and under the next one's rising half (s). With the middle m, the half width h and
// theta = 2 pi h, the two are 0.35 (I0 -+ I1): I0 = sin (2 pi m) sin (theta) / theta and
// I1 = cos (2 pi m) (sin (theta) - theta cos (theta)) / theta^2, whose series takes over below
// theta = 0.3, where the difference would cancel. The triangle at an eighth's start is the falling
// half over that eighth and the rising half over the one before (the last of the step before, for
// the first). The inputs are held to +-inputLimit. Both fours' sines at once.
QUILLON_ALWAYS_INLINE inline DriveStage::Eighths DriveStage::averages (Eighths from, Eighths to, float risingBefore) noexcept
{
    using dsp::Float4;
    const auto thetaEarly = Float4 (dsp::pi) * (to.early - from.early), thetaLate = Float4 (dsp::pi) * (to.late - from.late);
    const auto middleEarly = Float4 (0.5f) * (from.early + to.early), middleLate = Float4 (0.5f) * (from.late + to.late);
    Float4 sinMiddleEarly, sinMiddleLate, cosMiddleEarly, cosMiddleLate;
    dsp::sinTurns (middleEarly, middleLate, sinMiddleEarly, sinMiddleLate);
    dsp::sinTurns (middleEarly + Float4 (0.25f), middleLate + Float4 (0.25f), cosMiddleEarly, cosMiddleLate);

    // Only the eighths past the series need their half widths' sines; most steps have none, and
    // the series' lanes never read them.
    const auto narrow = [] (Float4 theta) { return theta * theta < Float4 (0.09f); };
    auto sinHalfEarly = Float4 (0.0f), sinHalfLate = Float4 (0.0f), cosHalfEarly = Float4 (0.0f), cosHalfLate = Float4 (0.0f);

    if (dsp::bitsOf (narrow (thetaEarly)) != 15 || dsp::bitsOf (narrow (thetaLate)) != 15)
    {
        const auto halfEarly = Float4 (0.5f) * (to.early - from.early), halfLate = Float4 (0.5f) * (to.late - from.late);
        dsp::sinTurns (halfEarly, halfLate, sinHalfEarly, sinHalfLate);
        dsp::sinTurns (halfEarly + Float4 (0.25f), halfLate + Float4 (0.25f), cosHalfEarly, cosHalfLate);
    }

    const auto halves = [narrow] (Float4 theta, Float4 sinHalf, Float4 cosHalf, Float4 sinMiddle, Float4 cosMiddle, Float4& falling, Float4& rising)
    {
        const auto theta2 = theta * theta;
        const auto series = narrow (theta);
        const auto safe = dsp::select (series, Float4 (1.0f), theta);
        const auto inverse = Float4 (1.0f) / safe;
        const auto s0Series = Float4 (1.0f) - theta2 * Float4 (1.0f / 6.0f) * (Float4 (1.0f) - theta2 * Float4 (1.0f / 20.0f) * (Float4 (1.0f) - theta2 * Float4 (1.0f / 42.0f)));
        const auto s1Series = theta * Float4 (1.0f / 3.0f) * (Float4 (1.0f) - theta2 * Float4 (0.1f) * (Float4 (1.0f) - theta2 * Float4 (1.0f / 28.0f) * (Float4 (1.0f) - theta2 * Float4 (1.0f / 54.0f))));
        const auto s0 = dsp::select (series, s0Series, sinHalf * inverse);
        const auto s1 = dsp::select (series, s1Series, (sinHalf - safe * cosHalf) * (inverse * inverse));
        const auto i0 = Float4 (0.35f) * (sinMiddle * s0), i1 = Float4 (0.35f) * (cosMiddle * s1);
        falling = i0 - i1;
        rising = i0 + i1;
    };
    Float4 fallingEarly, risingEarly, fallingLate, risingLate;
    halves (thetaEarly, sinHalfEarly, cosHalfEarly, sinMiddleEarly, cosMiddleEarly, fallingEarly, risingEarly);
    halves (thetaLate, sinHalfLate, cosHalfLate, sinMiddleLate, cosMiddleLate, fallingLate, risingLate);

    // The rising halves one eighth on.
    float rising[9];
    rising[0] = risingBefore;
    risingEarly.store (rising + 1);
    risingLate.store (rising + 5);
    return { fallingEarly + Float4::load (rising), fallingLate + Float4::load (rising + 4), rising[8] };
}

QUILLON_ALWAYS_INLINE inline float DriveStage::foldFromEighths (Eighths eighths) const noexcept
{
    using dsp::Float4;
    // Four boxcars of a whole step over the 29 latest eighths, (1 + z + ... + z^7)^4 / 4096,
    // oldest first.
    constexpr auto n = 1.0f / 4096.0f;
    const auto weighted = foldEighthsBefore[4] * Float4::set (0.0f, 0.0f, 0.0f, 1.0f * n)
                        + foldEighthsBefore[5] * Float4::set (4.0f * n, 10.0f * n, 20.0f * n, 35.0f * n)
                        + foldEighthsBefore[2] * Float4::set (56.0f * n, 84.0f * n, 120.0f * n, 161.0f * n)
                        + foldEighthsBefore[3] * Float4::set (204.0f * n, 246.0f * n, 284.0f * n, 315.0f * n)
                        + foldEighthsBefore[0] * Float4::set (336.0f * n, 344.0f * n, 336.0f * n, 315.0f * n)
                        + foldEighthsBefore[1] * Float4::set (284.0f * n, 246.0f * n, 204.0f * n, 161.0f * n)
                        + eighths.early * Float4::set (120.0f * n, 84.0f * n, 56.0f * n, 35.0f * n)
                        + eighths.late * Float4::set (20.0f * n, 10.0f * n, 4.0f * n, 1.0f * n);
    alignas (16) float parts[4];
    weighted.store (parts);
    return (parts[0] + parts[1]) + (parts[2] + parts[3]);
}

QUILLON_ALWAYS_INLINE inline float DriveStage::process (float x) noexcept
{
    mixDry = x;
    x = limitInput (x);

    // The fold's state is kept whenever it may be heard, its gain at 0 dB included, so that it
    // never starts from a stale one. Its straight line and the drive mix's dry part come as late
    // as the fold itself, so that they line up with it at every gain.
    auto folded = 0.0f, late = x;

    if (curveFade.getTarget() == fold || curveFade.isFading())
    {
        const auto input = foldInputLowPass.process (x);
        const auto eighths = foldEighths (input);
        // The fourth boxcar's loss in the audio band made up by a gentle lift, 1 + 0.09 (1 - z^-1):
        // within 0.05 dB of three boxcars' up to 20 kHz.
        const auto kernelled = foldFromEighths (eighths);
        folded = foldLowPass.process (kernelled + 0.09f * (kernelled - foldKernelledBefore));
        foldKernelledBefore = kernelled;

        foldRisingBefore = eighths.lastRising;

        for (size_t i = std::size (foldEighthsBefore) - 1; i >= 2; --i)
            foldEighthsBefore[i] = foldEighthsBefore[i - 2];

        foldEighthsBefore[0] = eighths.early;
        foldEighthsBefore[1] = eighths.late;
        for (size_t i = std::size (foldInputs) - 1; i > 0; --i)
            foldInputs[i] = foldInputs[i - 1];

        foldInputs[0] = input;
        late = foldDryDelay.process (x);
        mixDry = curveFade.isFading() ? mixDry + curveFade.weight (fold) * (late - mixDry) : late;
    }

    float y;

    if (! curveFade.isFading())
    {
        const auto curve = curveFade.getTarget();
        y = shape (curve, curve == fold ? late : x, folded);
    }
    else
    {
        y = 0.0f;

        for (int curve = 0; curve <= passThrough; ++curve)
            if (const auto w = curveFade.weight (curve); w != 0.0f)
                y += w * shape (curve, curve == fold ? late : x, folded);

        curveFade.advance();
    }

    return y;
}

//==============================================================================
#if QUILLON_SIN_LANES
// process() for a left and a right stage whose settings agree, while the curve does not fade and
// is not the fold (whose state only the stage keeps): each lane goes through the stage's
// operations in their order, so it gets the stage's bits.
struct DriveStage::Lanes
{
    using Float4 = dsp::Float4;

    int curve = passThrough;
    bool straight = true, whole = true;
    Float4 gain, inverseGain, diodeIn, diodeOut, diodeToTable, engagement;

    void takeSettings (const DriveStage& s) noexcept
    {
        curve = s.getMode();
        straight = s.gain <= 1.000001f;
        whole = s.engagement >= 1.0f;
        gain = s.gain;
        inverseGain = s.inverseGain;
        diodeIn = s.diodeIn;
        diodeOut = s.diodeOut;
        diodeToTable = s.diodeToTable;
        engagement = s.engagement;
    }

    // takeSettings after the stage's setGain (linearGain), its mode unchanged.
    void takeGain (float linearGain) noexcept
    {
        const auto s = GainSettings::of (linearGain);
        straight = s.gain <= 1.000001f;
        whole = s.engagement >= 1.0f;
        engagement = s.engagement;

        // Only what the curve reads.
        switch (curve)
        {
            case soft:
                gain = s.gain;
                inverseGain = s.inverseGain;
                break;

            case diode:
                diodeIn = s.diodeIn;
                diodeOut = s.diodeOut;
                diodeToTable = s.diodeToTable;
                break;

            default:
                break;
        }
    }

    // Both sides' cubic pieces from a table, lane by lane; its columns as four vectors.
    template <typename Piece>
    QUILLON_ALWAYS_INLINE static void lookUp (const Piece* pieces, Float4 t, Float4& f, Float4 (&c)[4]) noexcept
    {
        const auto i = dsp::truncateToInt (t);
        f = t - dsp::toFloat (i);
        const auto l = Float4::load (&pieces[dsp::laneOf<0> (i)].c0);
        const auto r = Float4::load (&pieces[dsp::laneOf<1> (i)].c0);
        const auto low = dsp::interleaveLow (l, r), high = dsp::interleaveHigh (l, r);
        c[0] = low;
        c[1] = dsp::highHalves (low, low);
        c[2] = high;
        c[3] = dsp::highHalves (high, high);
    }

    // SoftKnee, lane by lane.
    QUILLON_ALWAYS_INLINE static Float4 softCurve (Float4 s) noexcept
    {
        const auto m = dsp::abs (s);
        Float4 f, c[4];
        lookUp (softKnee.pieces_, dsp::min (Float4 (SoftKnee::range), m) * Float4 ((float) SoftKnee::perUnit), f, c);
        const auto v = (c[0] + f * c[1]) + (f * f) * (c[2] + f * c[3]);
        return dsp::copySign (v, s);
    }

    // DiodeKnee, lane by lane.
    QUILLON_ALWAYS_INLINE static Float4 diodeCurve (Float4 v) noexcept
    {
        constexpr auto range = DiodeKnee::range;
        const auto clamped = dsp::bound (v, Float4 (-range), Float4 (range));
        Float4 f, c[4];
        lookUp (diodeKnee.pieces_, (clamped + Float4 (range)) * Float4 ((float) DiodeKnee::perUnit), f, c);
        return ((c[0] + f * c[1]) + (f * f) * (c[2] + f * c[3])) + (v - clamped);
    }

    // DiodeKnee::pieceAt, piece and beyondRange, lane by lane.
    QUILLON_ALWAYS_INLINE static Float4 diodePieceAt (Float4 t) noexcept
    {
        constexpr auto range = DiodeKnee::range;
        const auto clamped = dsp::bound (t, Float4 (0.0f), Float4 (2.0f * range * (float) DiodeKnee::perUnit));
        Float4 f, c[4];
        lookUp (diodeKnee.pieces_, clamped, f, c);
        return (c[0] + f * c[1]) + (f * f) * (c[2] + f * c[3]);
    }

    QUILLON_ALWAYS_INLINE static Float4 diodePiece (Float4 x, Float4 toTable) noexcept
    {
        return diodePieceAt (x * toTable + Float4 (DiodeKnee::centre));
    }

    QUILLON_ALWAYS_INLINE static Float4 beyondRange (Float4 v) noexcept
    {
        constexpr auto range = DiodeKnee::range;
        return v - dsp::bound (v, Float4 (-range), Float4 (range));
    }

    QUILLON_ALWAYS_INLINE Float4 fullCurve (Float4 x) const noexcept
    {
        switch (curve)
        {
            case soft:
                return softCurve (gain * x) * inverseGain;

            case diode:
                return diodeOut * diodeCurve (diodeIn * x);

            default:
                return x;
        }
    }

    // Where both sides are within the limit, as they nearly always are, the loop need not wait
    // for the test.
    QUILLON_ALWAYS_INLINE static Float4 limitInput (Float4 x) noexcept
    {
        const auto within = dsp::abs (x) <= Float4 (inputLimit);

        if (! dsp::bothSides (within))
            x = keep (within, x);

        return x;
    }

    bool actsAsWholeDiode() const noexcept { return curve == diode && ! straight && whole; }

    // diodeRaw for both sides.
    QUILLON_ALWAYS_INLINE Float4 diodeRaw (Float4 x, Float4& beyond) noexcept
    {
        x = limitInput (x);
        beyond = beyondRange (diodeIn * x);
        return diodePiece (x, diodeToTable);
    }

    // diodeRawAt for both sides.
    QUILLON_ALWAYS_INLINE Float4 diodeRawAt (Float4 x, Float4 t, Float4& beyond) noexcept
    {
        const auto within = dsp::abs (x) <= Float4 (inputLimit);

        if (! dsp::bothSides (within))
        {
            x = keep (within, x);
            t = dsp::select (within, t, Float4 (DiodeKnee::centre));
        }

        beyond = beyondRange (diodeIn * x);
        return diodePieceAt (t);
    }

    QUILLON_ALWAYS_INLINE Float4 process (Float4 x) noexcept
    {
        x = limitInput (x);
        auto y = x;

        if (! straight)
        {
            y = fullCurve (x);

            if (! whole)
                y = x + engagement * (y - x);
        }

        return y;
    }
};
#endif

namespace detail
{
// 10^(db / 20) for 0..24 dB: whole decibels from a table, the rest from the series of e^x, whose
// argument stays below 0.116 (relative error below 4e-9 before rounding).
constexpr float decibelToLog = 0.11512925f; // ln 10 / 20

alignas (16) inline constexpr float wholeDecibels[25] = {
    1.0f, 1.12201845f, 1.25892541f, 1.41253754f, 1.58489319f, 1.77827941f, 1.99526231f, 2.23872114f,
    2.51188643f, 2.81838293f, 3.16227766f, 3.54813389f, 3.98107171f, 4.46683592f, 5.01187234f,
    5.62341325f, 6.30957344f, 7.07945784f, 7.94328235f, 8.91250938f, 10.0f, 11.2201845f, 12.5892541f,
    14.1253754f, 15.8489319f
};

// Written once over V: float, or the lanes where every lane gets the bits the float gives.
template <typename V>
inline V driveDecibelsToGainFast (V db) noexcept
{
    using dsp::gather;
    using dsp::toFloat;
    using dsp::truncateToInt;
    const auto whole = truncateToInt (db);
    const auto y = (db - toFloat (whole)) * V (decibelToLog);
    const auto series = V (1.0f) + y * (V (1.0f) + y * (V (0.5f) + y * (V (1.0f / 6.0f) + y * (V (1.0f / 24.0f) + y * V (1.0f / 120.0f)))));
    return gather (wholeDecibels, whole) * series;
}

inline float driveDecibelsToGain (float db) noexcept
{
    if constexpr (dsp::exactReference)
        return std::exp (db * decibelToLog);

    return driveDecibelsToGainFast (db);
}

// The same for four amounts at once.
inline dsp::Float4 driveDecibelsToGains (dsp::Float4 db) noexcept
{
#if QUILLON_SIN_LANES
    if constexpr (! dsp::exactReference)
        return driveDecibelsToGainFast (db);
#endif

    return dsp::eachLane (db, [] (float x) { return driveDecibelsToGain (x); });
}

// The same for two amounts at once.
inline void driveDecibelsToGains (float db0, float db1, float& gain0, float& gain1) noexcept
{
#if QUILLON_SIN_LANES
    if constexpr (! dsp::exactReference)
    {
        const auto gains = driveDecibelsToGainFast (dsp::Float4::set (db0, db1, 0.0f, 0.0f));
        gain0 = dsp::laneOf<0> (gains);
        gain1 = dsp::laneOf<1> (gains);
        return;
    }
#endif
    gain0 = driveDecibelsToGain (db0);
    gain1 = driveDecibelsToGain (db1);
}
} // namespace detail

inline DriveGains computeDriveGains (float driveDb, int mode, bool autoMakeup, float outputGain) noexcept
{
    // The comparisons put a drive that is not a number at 0 dB.
    const auto applied = driveDb > 0.0f ? (driveDb < 24.0f ? driveDb : 24.0f) : 0.0f;

    // Without make-up its share is 0 dB, which comes out as exactly 1.
    auto share = 0.0f;

    if (autoMakeup && driveDb > 0.01f)
        share = mode == DriveStage::diode ? 0.55f : (mode == DriveStage::fold ? 0.4f : 0.5f);

    DriveGains gains;
    float makeup;
    detail::driveDecibelsToGains (applied, share * applied, gains.pre, makeup);
    gains.post = outputGain * makeup;
    return gains;
}

// The same for four base samples at once: each lane gets the bits computeDriveGains gives it.
inline void computeDriveGains (dsp::Float4 driveDb, int mode, bool autoMakeup, dsp::Float4 outputGain, dsp::Float4& pre,
                               dsp::Float4& post) noexcept
{
    using dsp::Float4;
    const auto applied = select (driveDb > Float4 (0.0f), select (driveDb < Float4 (24.0f), driveDb, Float4 (24.0f)),
                                 Float4 (0.0f));
    auto share = Float4 (0.0f);

    if (autoMakeup)
        share = select (driveDb > Float4 (0.01f),
                        Float4 (mode == DriveStage::diode ? 0.55f : (mode == DriveStage::fold ? 0.4f : 0.5f)), Float4 (0.0f));

    pre = detail::driveDecibelsToGains (applied);
    post = outputGain * detail::driveDecibelsToGains (share * applied);
}

} // namespace quillon
