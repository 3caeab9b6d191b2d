#include "engine/control/VoiceControl.h"
#include "engine/chain/FeedbackPath.h"
#include "engine/core/VoiceMath.h"
#include "engine/core/FastMath.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <type_traits>

namespace quillon
{

// The control pass: smoothers, envelopes' settings, LFO, glide, random sources and the matrix,
// worked out per base-rate sample into the frames the sources and the chain read.
StretchState VoiceControl::stretchState (bool sourcesFading, bool mutualSync) const noexcept
{
    StretchState s;
    s.shortcutsAllowed = shortcutsAllowed;
    s.sourceFading = sourcesFading;
    s.mutualSync = mutualSync;
    s.smoothersRamping = numRampingSmoothers != 0;
    s.slotAmountsGliding = activeSlots.amountsGliding();
    s.gliding = glidingNote != (double) targetNote;
    s.driftKnob = smoothedNow[Smooth::oscDrift];
    s.cutoffRamping = cutoffSmoother.isSmoothing();
    s.driveVelocityRamping = driveVelocitySmoother.isSmoothing();
    s.slotsHoldStill = slotsHoldStill;
    s.chainSlotsHoldStill = chainSlotsHoldStill;
    s.slotsReadStillSources = slotsReadStillSources;
    s.modWheelRamping = smoothers[Smooth::modWheel].isSmoothing();
    s.aftertouchRamping = smoothers[Smooth::aftertouch].isSmoothing();
    s.pitchSlotsMove = (movingDestinations & pitchDestinations) != 0;
    s.beatPhaseRead = isSourceInUse (ModSource::beatPhase);
    s.filterEnvelopeHeard = ! (smoothedNow[Smooth::filterEnvAmount] * filterEnvVelocityFactor == 0.0f);
    s.envelopeSettingsMoving = envelopeSettingsMoving;
    s.lfoCanRender = lfoCanRender;
    s.lfoRateOrDepthModulated = ! (lfoRateMod == 0.0f && lfoDepthMod == 0.0f);
    return s;
}

int VoiceControl::beginStretch (bool sourcesFading, bool mutualSync, int length) noexcept
{
    plan = planStretch (stretchState (sourcesFading, mutualSync));
    osc2Parts = -1;

    if (plan.envelopesRendered)
    {
        length = ampEnvelope.render (envelopeLevels[ampGroup].data(), length);
        filterEnvelope.render (envelopeLevels[filterGroup].data(), length);
        osc1DcwEnvelope.render (envelopeLevels[osc1DcwGroup].data(), length);
        osc2DcwEnvelope.render (envelopeLevels[osc2DcwGroup].data(), length);
    }

    if (plan.lfoRendered)
    {
        lfoBefore = lfo;
        const auto rate = next (Smooth::lfo1Rate);
        moveLfoRate (std::clamp (rate, 0.001f, 200.0f), rate, next (Smooth::lfo1Phase));
        lfo.render (lfoValues.data(), length, isSourceInUse (ModSource::lfo1));
    }

    return length;
}

void VoiceControl::endStretch (int count, int length) noexcept
{
    // A voice that ended early leaves the LFO where its last sample left it.
    if (plan.lfoRendered && count < length)
    {
        lfo = lfoBefore;
        lfo.render (lfoValues.data(), count, isSourceInUse (ModSource::lfo1));
    }

    finishChainFrames (count);

    if (plan.pitchDeferred)
        computeDeferredPitch (count);
}

void VoiceControl::computeBaseRateSample (int index, int at, ChainFrame& chain, SourceFrame& sources, SourcesFade fade,
                                          const UnitEnvelopes& units, OldSources& old) noexcept
{
    const auto j = (size_t) at;

    if (glidingNote != (double) targetNote)
        glidingNote += ((double) targetNote - glidingNote) * glideCoefficient;

    advanceRampingSmoothers();

    if (envelopeSettingsMoving)
        advanceEnvelopeSettings (units);

    float ampLevel, dcwEnv1, dcwEnv2;

    if (plan.envelopesRendered)
    {
        filterEnvValue = envelopeLevels[filterGroup][j];
        ampLevel = envelopeLevels[ampGroup][j];
        dcwEnv1 = envelopeLevels[osc1DcwGroup][j];
        dcwEnv2 = envelopeLevels[osc2DcwGroup][j];
    }
    else
    {
        filterEnvValue = filterEnvelope.tick();
        ampLevel = ampEnvelope.tick();
        dcwEnv1 = osc1DcwEnvelope.tick();
        dcwEnv2 = osc2DcwEnvelope.tick();
    }

    const auto smoothRandomValue = smoothRandom.next();

    float lfoWave;

    if (plan.lfoRendered)
    {
        lfoWave = lfoValues[j];
    }
    else
    {
        const auto rate = next (Smooth::lfo1Rate);
        const auto phaseDegrees = next (Smooth::lfo1Phase);
        moveLfoRate (std::clamp (rate + lfoRateMod, 0.001f, 200.0f), rate, phaseDegrees);
        lfoWave = lfo.next (isSourceInUse (ModSource::lfo1));
    }

    const auto lfoValue = lfoWave * clamp01 (next (Smooth::lfo1Depth) + lfoDepthMod);

    // Without a slot the sums stay cleared, and slots that read held sources hold theirs; the
    // values are then only noted for the views.
    if ((activeSlots.count > 0 && ! (plan.matrixStill && at > 0)) || at == 0)
    {
        const auto beatValue = isSourceInUse (ModSource::beatPhase) ? dsp::sinTurns (reeseBeatPhase) : 0.0f;
        sourceValues = { 0.0f, velocity, key, next (Smooth::modWheel), next (Smooth::aftertouch), lfoValue, dcwEnv1,
                         dcwEnv2, filterEnvValue, ampLevel, noteRandom.getValue(), smoothRandomValue, beatValue };

        activeSlots.evaluate (sourceValues, modulation);

        osc2PhaseMod = modulation[ModDestination::osc2Phase];
        lfoRateMod = modulation[ModDestination::lfo1Rate];
        lfoDepthMod = modulation[ModDestination::lfo1Depth];
    }

    // A settled voice works out the same settings on every sample of a stretch. A settled chain
    // is read from the stretch's first frame alone.
    if (plan.voiceSettled && at > 0)
    {
        sources = sourceFrames[j - 1];
        advanceBeatPhase();
    }
    else
    {
        computeVoiceSettings (sources, at, fade, old);
    }

    if (! plan.chainSettled || at == 0)
        computeChainFrame (chain, at);

    const auto output = next (Smooth::outputGain) * modDecibelsToGain (modulation[ModDestination::output]);
    settledOutputGain = output;
    sampleGains[(size_t) index] = output * ampLevel * modulation.ampFactor;

    // Noise: the routing share goes in after decimation, the rest into the 2x mix.
    const auto routing = clamp01 (next (Smooth::noiseRouting));
    const auto noiseGain = next (Smooth::noiseLevel) * modDecibelsToGain (modulation[ModDestination::noiseLevel]);
    sources.postNoise = routing * noiseGain;
    sources.preNoise = (1.0f - routing) * noiseGain;
}

void VoiceControl::computeVoiceSettings (SourceFrame& frame, int at, SourcesFade fade, OldSources& old) noexcept
{
    if (plan.pitchDeferred)
    {
        // The walk moves on here, among the rest of the control pass, rather than in a chain of
        // its own ahead of the frequencies.
        deferredPitch.set ((size_t) at, nextPitchMods());
    }

    // Along a held stretch only what the drift and the slots from moving sources feed can change
    // from the sample before; the rest is taken over as it is.
    if (plan.voiceHeld && at > 0)
    {
        frame = sourceFrames[(size_t) at - 1];
        const auto& mod = modulation;

        if (! plan.pitchDeferred)
        {
            if ((movingDestinations & pitchDestinations) != 0 || next (Smooth::oscDrift) + mod[ModDestination::drift] > 0.0f)
                computePitchSettings (frame, nextPitchMods(), at);
            else
                advanceBeatPhase();
        }

        if ((movingDestinations & shapeDestinations) != 0)
            computeShapeSettings (frame);

        if ((movingDestinations & levelDestinations) != 0)
            computeLevelSettings (frame);

        return;
    }

    if (! plan.pitchDeferred)
        computePitchSettings (frame, nextPitchMods(), at);

    computeShapeSettings (frame);
    computeLevelSettings (frame);

    // The old sources of a fading switch hear everything the new ones hear but the switch.
    if (fade.fading)
    {
        const auto& mod = modulation;
        const auto depth1Smoothed = next (Smooth::osc1DcwDepth);
        const auto ownDepth2 = next (Smooth::osc2DcwDepth);
        const auto ownWidth2 = next (Smooth::osc2PulseWidth);
        const auto oldLocked = fade.oldLocked;
        const auto oldDepth2 = clamp01 ((oldLocked ? depth1Smoothed : ownDepth2) + mod[ModDestination::osc2Dcw]);
        const auto oldWidth2 = std::clamp ((oldLocked ? frame.width1 : ownWidth2) + mod[ModDestination::osc2Pw], 0.05f, 0.95f);

        old = { true, oldDepth2, oldWidth2 };
    }

    // The share of the send that goes through the chain is faded by the routing switch.
    controlSubSend = clamp01 (next (Smooth::subDriveSend));
}

void VoiceControl::computeDeferredPitch (int count) noexcept
{
    // Four samples at a time where the detune's exponentials hold along the stretch.
    constexpr auto detuneShape = modDestinationBits ({ ModDestination::reeseSpread, ModDestination::osc2Detune });

    if (detuneMode == 1 || (movingDestinations & detuneShape) == 0)
    {
        computePitchLanes (count);
        return;
    }

    for (int j = 0; j < count; ++j)
        computePitchSettings (sourceFrames[(size_t) j], deferredPitch.at ((size_t) j), j);
}

void VoiceControl::updateNoteOffset() noexcept
{
    if (glidingNote != noteOffsetCache.note)
        noteOffsetCache = { glidingNote, dsp::exp2Fast ((float) (glidingNote - 69.0) / 12.0f) };
}

pitch::PairSettings VoiceControl::pairSettings (float detuneCents, float k) noexcept
{
    const auto hertz = detuneMode == 1;

    if (! hertz && (detuneCents != detuneCache.cents || k != detuneCache.k))
    {
        const auto r = detuneCents == 0.0f ? 1.0f : dsp::exp2Fast (detuneCents / 1200.0f);
        detuneCache = { detuneCents, k, r, (k == 1.0f || r == 1.0f) ? r : std::pow (r, k) };
    }

    return { hertz, detuneCache.ratio, detuneCache.mirrored, semitoneRatio (next (Smooth::osc1Pitch)),
             semitoneRatio (next (Smooth::osc2Pitch)), subPitchRatio, inverseSampleRate };
}

// computePitchSettings for a held stretch, four samples at a time.
QUILLON_HOT_CLONES
void VoiceControl::computePitchLanes (int count) noexcept
{
    using dsp::Float4;
    constexpr auto n = (size_t) stretchLength;
    alignas (16) float octaves[n], pitchRatios[n], driftRatios[n];
    auto& mods = deferredPitch;
    auto* driftOctaves = mods.driftOctaves.data();

    const auto bend = next (Smooth::pitchBend);
    updateNoteOffset();

    // 2^0 is exactly 1: no pitch modulation and no drift leave the ratios at 1 as the one by one
    // path does.
    for (int j = 0; j < count; ++j)
        octaves[j] = (mods.pitch[(size_t) j] + bend) / 12.0f;

    // The lanes past the end take 0s, just those: clearing the whole arrays costs more.
    const auto lanes = (count + 3) & ~3;

    for (int j = count; j < lanes; ++j)
        octaves[j] = driftOctaves[j] = 0.0f;

    for (int j = 0; j < lanes; j += 4)
    {
        dsp::exp2Fast4 (octaves + j, pitchRatios + j);
        dsp::exp2Fast4 (driftOctaves + j, driftRatios + j);
    }

    // Where the pair is detuned in cents, its cents and spread hold along the stretch.
    const auto spreadKnobs = next (Smooth::stereoWidth) + next (Smooth::reeseSpread);
    const auto beatKnob = next (Smooth::reeseBeat), hzKnob = next (Smooth::osc2DetuneHz);
    const auto settings = pairSettings (next (Smooth::osc2Detune) + mods.detuneCents[0],
                                        pitch::spreadFactor (spreadKnobs + mods.spread[0]));
    const auto noteBase = Float4 (440.0f * noteOffsetCache.output);
    alignas (16) float osc1[n], pairLeft[n], pairRight[n], sub[n], increments[n];
    auto parts = 0u; // bit per sample whose pair's halves differ

    for (int j = 0; j < lanes; j += 4)
    {
        const auto lane = [j] (const std::array<float, n>& row) { return Float4::load (row.data() + j); };
        const auto f = pitch::frequencies (noteBase * Float4::load (pitchRatios + j),
                                           pitch::spreadFactor (Float4 (spreadKnobs) + lane (mods.spread)),
                                           pitch::beatHz (Float4 (beatKnob) + lane (mods.beat)),
                                           Float4 (hzKnob) + lane (mods.detuneHz), Float4::load (driftRatios + j), settings);
        f.beatIncrement.store (increments + j);
        f.osc1.store (osc1 + j);
        f.osc2Left.store (pairLeft + j);
        f.osc2Right.store (pairRight + j);
        f.sub.store (sub + j);
        parts |= (unsigned) bitsOf (f.pairLeft != f.pairRight) << j;
    }

    for (int j = 0; j < count; ++j)
    {
        auto& frame = sourceFrames[(size_t) j];
        frame.frequency = { osc1[j], osc1[j], pairLeft[j], pairRight[j] };
        frame.subFrequency = sub[j];
        beatIncrement = increments[j];
        advanceBeatPhase();
    }

    // Once the pair's halves part, the right unit runs on its own until the next chunk.
    parts &= count < 32 ? (1u << count) - 1u : ~0u;

    for (int j = 0; j < count && parts != 0; ++j)
        if ((parts >> j) & 1u)
        {
            noteOsc2Parts (j);
            break;
        }
}

void VoiceControl::computePitchSettings (SourceFrame& frame, const PitchMods& mods, int index) noexcept
{
    const auto bend = next (Smooth::pitchBend);
    updateNoteOffset();

    // Drift pulls the two oscillators apart in opposite directions, up to 60 cents. Its
    // exponential and the pitch modulation's are taken together.
    const auto pitchSemitones = mods.pitch + bend;
    auto pitchRatio = 1.0f, drift = 1.0f;

    if (mods.drifting)
    {
        const auto driftOctaves = mods.driftOctaves;

        if (pitchSemitones != 0.0f)
            dsp::exp2Fast2 (pitchSemitones / 12.0f, driftOctaves, pitchRatio, drift);
        else
            drift = dsp::exp2Fast (driftOctaves);
    }
    else
    {
        pitchRatio = semitoneRatio (pitchSemitones);
    }

    const auto notePitch = 440.0f * noteOffsetCache.output * pitchRatio;
    const auto k = pitch::spreadFactor (next (Smooth::stereoWidth) + next (Smooth::reeseSpread) + mods.spread);
    const auto beat = pitch::beatHz (next (Smooth::reeseBeat) + mods.beat);
    const auto detuneHz = next (Smooth::osc2DetuneHz) + mods.detuneHz;
    const auto settings = pairSettings (next (Smooth::osc2Detune) + mods.detuneCents, k);
    const auto f = pitch::frequencies (notePitch, k, beat, detuneHz, drift, settings);

    beatIncrement = f.beatIncrement;
    advanceBeatPhase();
    frame.frequency = { f.osc1, f.osc1, f.osc2Left, f.osc2Right };
    frame.subFrequency = f.sub;

    // Once the pair's halves part, the right unit runs on its own until the next chunk.
    if (f.pairLeft != f.pairRight)
        noteOsc2Parts (index);
}

void VoiceControl::computeShapeSettings (SourceFrame& frame) noexcept
{
    // With the reese lock on, osc 2 takes osc 1's depth and width and its own smoothers hold.
    const auto& mod = modulation;
    const auto locked = sourceSettings.reeseLocked;
    const auto depth1Smoothed = next (Smooth::osc1DcwDepth);
    const auto depth1 = clamp01 (depth1Smoothed + mod[ModDestination::osc1Dcw]);
    const auto ownDepth2 = next (Smooth::osc2DcwDepth); // held while locked
    const auto depth2 = clamp01 ((locked ? depth1Smoothed : ownDepth2) + mod[ModDestination::osc2Dcw]);
    const auto morph = clamp01 (next (Smooth::pdMorphAmount) + mod[ModDestination::pdMorph]);
    const auto width1 = std::clamp (next (Smooth::osc1PulseWidth) + mod[ModDestination::osc1Pw], 0.05f, 0.95f);
    const auto ownWidth2 = next (Smooth::osc2PulseWidth);
    const auto width2 = std::clamp ((locked ? width1 : ownWidth2) + mod[ModDestination::osc2Pw], 0.05f, 0.95f);

    frame.depth1 = depth1;
    frame.depth2 = depth2;
    frame.width1 = width1;
    frame.width2 = width2;
    frame.morph = morph;
}

void VoiceControl::computeLevelSettings (SourceFrame& frame) noexcept
{
    const auto& mod = modulation;
    const auto gain1 = next (Smooth::osc1Level) * modDecibelsToGain (mod[ModDestination::osc1Level]);
    const auto gain2 = next (Smooth::osc2Level) * modDecibelsToGain (mod[ModDestination::osc2Level]);
    frame.osc1Gain = gain1;
    frame.osc2Gain = gain2;
    frame.subGain = next (Smooth::subLevel) * modDecibelsToGain (mod[ModDestination::subLevel]);

    // An oscillator at zero level (either one in ring mode) only moves its state on.
    const auto ring = sourceSettings.mixMode == 1;
    frame.audible1 = gain1 != 0.0f && (! ring || gain2 != 0.0f);
    frame.audible2 = gain2 != 0.0f && (! ring || gain1 != 0.0f);
    frame.subDcw = clamp01 (next (Smooth::subDcwDepth) + mod[ModDestination::subDcw]);
}

void VoiceControl::computeChainFrame (ChainFrame& frame, int at) noexcept
{
    // The cutoff follows the filter envelope and the matrix in semitones around the smoothed knob.
    const auto& mod = modulation;
    const auto envAmount = next (Smooth::filterEnvAmount) * filterEnvVelocityFactor + mod[ModDestination::filterEnv];
    const auto semitones = envAmount * filterEnvValue + mod[ModDestination::cutoff];
    const auto knob = cutoffSmoother.getNextValue();

    // Drive amount with velocity and modulation. Stacked drive slots can push the sum far past
    // 24 dB; the curve is limited there, and the make-up only compensates what is applied.
    const auto driveDb = next (Smooth::drive) * driveVelocitySmoother.getNextValue() + mod[ModDestination::drive];
    const auto driveLevel = next (Smooth::driveGain);

    // A settled chain works out its one frame at once.
    if (chainFramesInLanes && ! plan.chainSettled)
    {
        const auto j = (size_t) at;
        chainInputs.semitones[j] = semitones;
        chainInputs.knob[j] = knob;
        chainInputs.driveDb[j] = driveDb;
        chainInputs.driveLevel[j] = driveLevel;
    }
    else
    {
        const auto cutoffRatio = semitones == 0.0f ? 1.0f : dsp::cutoffRatio (semitones);
        cutoffHz = std::clamp (cutoffRatio * knob, 20.0f, 20000.0f);
        const auto driveMode = chainDriveMode;

        if (driveDb != driveCache.db || driveMode != driveCache.mode || autoMakeup != driveCache.autoMakeup
            || driveLevel != driveCache.level)
        {
            driveCache = { driveDb, driveMode, autoMakeup, driveLevel };
            driveGains = computeDriveGains (driveDb, driveMode, autoMakeup, driveLevel);
        }

        frame.cutoff = cutoffHz;
        frame.drivePre = driveGains.pre;
        frame.drivePost = driveGains.post;
    }

    // Where no smoother ramped into this sample, only what the slots from moving sources feed can
    // change from the sample before; the rest is taken over as it is.
    if (! dsp::exactReference && shortcutsAllowed && smoothersHeldBefore && at > 0)
    {
        const auto& before = chainFrames[(size_t) at - 1];
        frame.driveMix = before.driveMix;
        frame.filterBlend = before.filterBlend;
        frame.phaseSpread = before.phaseSpread;
        frame.feedbackCoefficient = before.feedbackCoefficient;

        for (const auto& c : chainKnobs)
            frame.*c.field = ((movingDestinations >> (int) c.destination) & 1u) != 0
                                 ? c.valueFrom (next (smootherOf (c)), mod[c.destination]) : before.*c.field;
    }
    else
    {
        frame.driveMix = clamp01 (next (Smooth::driveMix));
        frame.filterBlend = clamp01 (next (Smooth::filterEnabled));
        frame.phaseSpread = clamp01 (next (Smooth::phaseStereo));

        for (const auto& c : chainKnobs)
            frame.*c.field = c.valueFrom (next (smootherOf (c)), mod[c.destination]);

        const auto tone = next (Smooth::feedbackTone);

        if (tone != feedbackToneHz)
        {
            feedbackToneHz = tone;
            feedbackCoefficient = FeedbackPath::coefficientFor (tone, 2.0 * sampleRate);
        }

        frame.feedbackCoefficient = feedbackCoefficient;
    }

    frame.feedbackAfterFilter = feedbackAfterFilter;
    frame.subSend = controlSubSend;
    smoothersHeldBefore = numRampingSmoothers == 0 && ! activeSlots.amountsGliding();
}

} // namespace quillon
