#!/usr/bin/env python3
"""Writes resources/manifest.xml and the factory presets in resources/presets/ from the table below.

Every preset is the instrument's defaults plus the few values it names, so a preset reads as what
makes it different. Run it again after editing the table: python3 tools/presets.py
"""

import pathlib
import re

ROOT = pathlib.Path(__file__).resolve().parent.parent


def read_layout():
    """The parameters in the layout's order with their defaults in the units the engine reads, from
    the program's own table; choices and toggles as ints, the rest as floats."""
    code_text = (ROOT / "engine/VoiceCodes.h").read_text()
    lists = dict(re.findall(r"#define (QUILLON_\w+)\(X\)((?:.*\\\n)*.*)", code_text))
    codes = {}
    for enum, body in re.findall(r"enum class (\w+)\s*{([^}]*)}", code_text):
        listed = re.match(r"\s*(QUILLON_\w+) \(", body)
        items = re.findall(r"X \((\w+),", lists[listed[1]]) if listed else [item.strip() for item in body.split(",")]
        for index, item in enumerate(items):
            codes[f"{enum}::{item}"] = index

    def value(kind, text):
        text = text.strip()
        if kind == "toggle":
            return {"false": 0, "true": 1}[text]
        if kind == "choice":
            return codes[text] if text in codes else int(text)
        return float(text.rstrip("f"))

    table = (ROOT / "engine/ParameterTable.h").read_text()
    rows = re.findall(r'^\s*X \((\w+), (\w+), "(?:[^"\\]|\\.)*"(?:\s*"(?:[^"\\]|\\.)*")*, (.*)\)(?: \\)?$', table, re.M)
    assert len(rows) == table.count("X ("), "a row of engine/ParameterTable.h was not understood"
    return [(key, value(kind, args.split(",")[-1])) for key, kind, args in rows]


LAYOUT = read_layout()

# The clean init preset is older than some parameters and leaves them out.
INIT_CLEAN_OMITS = {
    "osc1Semitone", "osc1Fine", "osc2Semitone", "osc2Fine", "subOctave", "subSemitone", "subFine", "subDriveSend",
    "subRouting", "driveMix", "drivePosition", "feedbackAmount", "feedbackTone", "feedbackPosition", "filterEnabled",
    "phaseMix", "phaseStereo", "phaseNotch", "stereoWidth", "reeseBeat", "reeseSpread", "reeseLock", "pdMorphAmount",
    "monoLowEnabled", "monoLowFreq", "lfoSyncBpm", "lfo1Retrig",
}

# Value codes, for readability below.
SAW, SQUARE, PULSE, SINEPULSE, HALFSINE, RESSAW, RESTRI, RESTRAP, PWM, RESPULSE = range(10)
LADDER, DIODE, STATE, PHASE = range(4)
SOFT, DIODE_DRIVE, FOLD = range(3)
WHITE, PINK, BROWN = range(3)
SINE_LFO, TRI, SQR, SH = range(4)
# matrix sources and destinations
VEL, KEY, MODWHEEL, AFTERTOUCH, LFO, DCW1, DCW2, FENV, AENV, NRAND, SRAND, BEAT = range(1, 13)
D_CUTOFF, D_DRIVE, D_AMP, D_DCW1, D_DCW2, D_SUB, D_PITCH = 1, 2, 3, 4, 5, 6, 7
D_DETUNE, D_PHASE2, D_RESO, D_DRIFT, D_LFORATE, D_NOISE, D_PW1, D_PW2, D_MORPH, D_BEAT, D_SPREAD, D_PHASEMIX, D_NOTCH, D_FEEDBACK = 10, 12, 14, 16, 17, 20, 21, 22, 23, 24, 25, 26, 27, 28


def slot(i, source, dest, amount, curve=0):
    return {f"mod{i}Source": source, f"mod{i}Dest": dest, f"mod{i}Amount": amount, f"matrix{i}Curve": curve}


def amp(a, d, s, r):
    return {"ampAttack": a, "ampDecay": d, "ampSustain": s, "ampRelease": r}


def fenv(a, d, s, r, amount):
    return {"filterAttack": a, "filterDecay": d, "filterSustain": s, "filterRelease": r, "filterEnvAmount": amount}


def dcw1(depth, a, d, s, r):
    return {"osc1DcwDepth": depth, "osc1DcwAttack": a, "osc1DcwDecay": d, "osc1DcwSustain": s, "osc1DcwRelease": r}


def dcw2(depth, a, d, s, r):
    return {"osc2DcwDepth": depth, "osc2DcwAttack": a, "osc2DcwDecay": d, "osc2DcwSustain": s, "osc2DcwRelease": r}


def reese(detune, level=0.0, beat=0.0, spread=0.0):
    return {"osc2Wave": SAW, "osc2Level": level, "osc2Detune": detune, "reeseBeat": beat, "reeseSpread": spread}


# A phase-distortion wave is a plain cosine at DCW depth 0: these give the oscillators their edge.
def bright1(depth, sustain=1.0, decay=0.5):
    return dcw1(depth, 0.005, decay, sustain, 0.3)


def bright2(depth, sustain=1.0, decay=0.5):
    return dcw2(depth, 0.005, decay, sustain, 0.3)


def saws(depth=0.9):
    return m(bright1(depth), bright2(depth))


def m(*dicts, **values):
    merged = {}
    for d in dicts:
        merged.update(d)
    merged.update(values)
    return merged


# Categories: id, name, then presets as (file, display name or None, flagship, description, values).
# Output levels are set apart, in OUTPUT_GAIN below.
CATEGORIES = [
    ("init", "INIT", [
        ("init_clean.xml", None, False, "single saw, open filter, fast amp \u00b7 neutral starting point",
         {"ampRelease": 0.18, "mod1Amount": 0.4, "osc2Level": -60.0}),
        ("init_shape.xml", None, False, "ressaw with gentle DCW decay \u00b7 harmonic phase-distortion starting point",
         m(dcw1(0.6, 0.005, 0.8, 0.3, 0.3), osc1Wave=RESSAW)),
        ("init_reese.xml", None, False, "two detuned saws, mild drive \u00b7 skeleton for Reese bass design",
         m(reese(14.0), saws(0.85), drive=4.0, filterCutoff=2400.0)),
        ("init_sub.xml", None, False, "sub oscillator only, slow attack \u00b7 clean low-end starting point",
         m(amp(0.08, 0.1, 1.0, 0.25), osc1Level=-60.0, subLevel=-3.0)),
    ]),
    ("bass-reese", "BASS \u00b7 REESE", [
        ("reese_classic.xml", None, True, "two saws beating slowly \u00b7 low-pass ladder \u00b7 rolling dnb bass",
         m(reese(18.0, beat=0.6, spread=0.5), saws(0.9), slot(2, LFO, D_CUTOFF, 0.25), drive=6.0, filterCutoff=900.0,
           filterReso=0.25, lfo1Rate=0.3, lfo1Depth=0.6, stereoWidth=0.3, subLevel=-12.0, mod1Amount=0.3)),
        ("reese_uk_modern.xml", None, False, "tight detune, diode drive \u00b7 gritty modern reese",
         m(reese(11.0, beat=1.5, spread=0.7), saws(1.0), drive=12.0, driveMode=DIODE_DRIVE, driveAutoMakeup=1,
           filterCutoff=1500.0, filterReso=0.3, filterModel=DIODE, feedbackAmount=0.25, feedbackTone=1800.0,
           subLevel=-10.0, stereoWidth=0.2)),
        ("formant_growl.xml", None, False, "phase stage on a detuned pair \u00b7 vowel-like growl",
         m(reese(12.0, beat=2.5), saws(0.7), slot(2, LFO, D_PHASEMIX, 0.4), slot(3, LFO, D_CUTOFF, 0.15),
           filterModel=PHASE, filterCutoff=700.0, filterReso=0.55, phaseMix=0.7, drive=6.0, lfo1Rate=2.0,
           lfo1Depth=0.8, osc1Wave=RESTRI, subLevel=-14.0)),
    ]),
    ("bass-sub", "BASS \u00b7 SUB", [
        ("dub_glacier.xml", None, True, "deep sine sub, slow glide \u00b7 cold dub weight",
         m(amp(0.02, 0.2, 1.0, 0.5), osc1Wave=HALFSINE, osc1Level=-12.0, subLevel=-2.0, glideTime=0.12, legato=1,
           filterCutoff=400.0)),
        ("eight_oh_eight.xml", None, False, "pitched sine boom with decay \u00b7 drum-machine kick bass",
         # The osc 1 DCW envelope, at no depth, only drives the quick pitch drop of the attack.
         m(amp(0.001, 1.2, 0.0, 0.6), dcw1(0.0, 0.001, 0.09, 0.0, 0.05), slot(2, DCW1, D_PITCH, 0.12),
           osc1Wave=HALFSINE, subLevel=-6.0, subOctave=2, drive=8.0, glideTime=0.05, filterCutoff=3000.0)),
        ("dub_melodic_round.xml", None, False, "rounded pd sine with soft top \u00b7 melodic dub line",
         m(amp(0.01, 0.3, 0.8, 0.3), dcw1(0.25, 0.005, 0.4, 0.5, 0.3), osc1Wave=SINEPULSE, subLevel=-8.0,
           filterCutoff=1200.0)),
        ("sub_drone.xml", None, False, "held sine sub with slow drift \u00b7 floor-shaking drone",
         # The drift moves the oscillators (the sub holds the pitch), so a quiet sine pair carries it.
         m(amp(0.5, 0.5, 1.0, 1.5), osc1Wave=HALFSINE, osc1Level=-14.0, osc2Wave=HALFSINE, osc2Level=-14.0,
           subLevel=-3.0, oscDrift=0.35, filterCutoff=300.0)),
    ]),
    ("bass-mid", "BASS \u00b7 MID", [
        ("rave_supersaw.xml", None, False, "wide detuned saws, bright \u00b7 rave stab bass",
         m(reese(25.0, spread=1.0), saws(1.0), amp(0.001, 0.5, 0.55, 0.2), stereoWidth=1.0, filterCutoff=6000.0,
           drive=5.0)),
        ("garage_pluck.xml", None, False, "short filter pluck \u00b7 bouncy garage bass",
         m(amp(0.001, 0.25, 0.0, 0.1), fenv(0.001, 0.18, 0.0, 0.1, 36.0), bright1(0.8), filterCutoff=200.0,
           filterReso=0.3, subLevel=-10.0)),
        ("house_filtered_pump.xml", None, False, "square bass, synced filter lfo \u00b7 pumping house groove",
         m(slot(2, LFO, D_CUTOFF, 0.6), slot(3, LFO, D_AMP, 0.35), bright1(0.9), osc1Wave=SQUARE,
           filterCutoff=500.0, filterReso=0.35, lfo1Sync=1, lfo1Rate=4.0, lfo1Depth=1.0, lfo1Retrig=1)),
        ("hoover_classic.xml", None, True, "pwm pair with pitch dip \u00b7 classic hoover",
         # The filter envelope only bends the pitch: it starts a few semitones low and swoops up.
         m(reese(20.0, level=-2.0, spread=0.8), fenv(0.001, 0.18, 0.0, 0.2, 0.0), slot(2, FENV, D_PITCH, -0.06),
           osc1Wave=PWM, osc2Wave=PWM, osc1PulseWidth=0.3, osc2PulseWidth=0.3, glideTime=0.15, stereoWidth=0.8,
           filterCutoff=5000.0, drive=4.0)),
    ]),
    ("bass-motion", "BASS \u00b7 MOTION", [
        ("wobble_lfo.xml", None, True, "tempo-synced cutoff wobble \u00b7 dubstep motion",
         m(reese(8.0), saws(0.9), slot(2, LFO, D_CUTOFF, 0.8), filterCutoff=300.0, filterReso=0.45, lfo1Sync=1,
           lfo1Rate=3.0, lfo1Depth=1.0, drive=10.0, lfo1Retrig=1, subLevel=-10.0, subRouting=1)),
        ("clockstep_glitch.xml", None, False, "stepped random cutoff \u00b7 clockwork glitch",
         m(slot(2, LFO, D_CUTOFF, 0.7), bright1(0.7), lfo1Shape=SH, lfo1Sync=1, lfo1Rate=6.0, lfo1Depth=1.0,
           filterCutoff=800.0, filterReso=0.5, osc1Wave=RESPULSE)),
        ("chip_sid_pulse.xml", None, False, "narrow pulse with pw sweep \u00b7 chiptune bass",
         m(slot(2, LFO, D_PW1, 0.4), osc1Wave=PWM, osc1PulseWidth=0.25, lfo1Rate=3.0, lfo1Depth=1.0,
           lfo1Shape=TRI)),
        ("industrial_fold.xml", None, False, "wavefolder drive with lfo \u00b7 metallic industrial churn",
         m(slot(2, LFO, D_DRIVE, 0.5), drive=18.0, driveMode=FOLD, driveAutoMakeup=1, lfo1Rate=0.8, lfo1Depth=1.0,
           filterCutoff=3000.0, filterReso=0.2)),
    ]),
    ("bass-resonant", "BASS \u00b7 RESONANT", [
        ("acid_diode_squelch.xml", None, True, "diode filter, high resonance, accent env \u00b7 squelchy acid line",
         m(amp(0.001, 0.3, 0.6, 0.1), fenv(0.001, 0.22, 0.0, 0.1, 40.0), slot(2, VEL, D_CUTOFF, 0.15),
           bright1(0.9), filterModel=DIODE, filterCutoff=250.0, filterReso=0.8, glideTime=0.06, legato=1,
           drive=8.0, drivePosition=1, driveGain=18.0, velToFilterEnv=0.6)),
        ("acid_phase_scream.xml", None, False, "resonant phase stage with drive \u00b7 screaming acid",
         m(fenv(0.001, 0.35, 0.1, 0.2, 30.0), bright1(0.9), filterModel=PHASE, phaseMix=0.9, filterCutoff=600.0,
           filterReso=0.85, drive=14.0, drivePosition=1, glideTime=0.05, legato=1)),
    ]),
    ("leads", "LEADS", [
        ("widescreen_lead.xml", None, True, "wide detuned saws, soft glide \u00b7 big anthem lead",
         m(reese(12.0, spread=0.9), saws(0.8), octave=4, stereoWidth=1.0, glideTime=0.08, filterCutoff=7000.0)),
        ("ladder_solo.xml", None, False, "ladder filter with vibrato \u00b7 expressive mono solo",
         # Vibrato from the LFO, deepened by the mod wheel.
         m(slot(2, LFO, D_PITCH, 0.006), slot(3, MODWHEEL, 18, 0.7), fenv(0.01, 0.4, 0.5, 0.3, 18.0), bright1(0.9),
           octave=3, filterCutoff=1800.0, filterReso=0.4, glideTime=0.05, legato=1, lfo1Rate=5.5, lfo1Depth=0.3)),
        ("sync_sweep.xml", None, False, "hard sync swept by envelope \u00b7 tearing sync lead",
         # Osc 1 is the silent master; the envelope pushes the synced osc 2 up against it.
         m(fenv(0.001, 0.7, 0.2, 0.3, 0.0), slot(2, FENV, D_DETUNE, 1.0), slot(3, FENV, D_DCW2, 0.4), bright2(0.6),
           osc1Level=-60.0, osc2Wave=SAW, osc2Level=0.0, osc2Semitone=12.0, syncOsc2=1, octave=3,
           filterCutoff=9000.0)),
        ("whistle_flute.xml", None, False, "pure sine with breath noise \u00b7 airy whistle",
         m(amp(0.06, 0.1, 0.9, 0.3), slot(2, LFO, D_PITCH, 0.003), osc1Wave=HALFSINE, octave=4, noiseLevel=-30.0,
           noiseColour=PINK, noiseRouting=0.3, lfo1Rate=5.0, lfo1Depth=1.0, filterCutoff=5000.0)),
        ("brass_lead.xml", None, False, "slow filter swell on saw \u00b7 brassy lead",
         m(amp(0.04, 0.3, 0.8, 0.25), fenv(0.08, 0.4, 0.5, 0.3, 24.0), bright1(0.9), octave=3, filterCutoff=700.0,
           filterReso=0.2, drive=3.0)),
        ("hoover_lead_high.xml", None, False, "pwm hoover an octave up \u00b7 screaming rave lead",
         m(reese(22.0, spread=0.8), fenv(0.001, 0.15, 0.0, 0.2, 0.0), slot(2, FENV, D_PITCH, -0.05),
           osc1Wave=PWM, osc2Wave=PWM, osc1PulseWidth=0.3, osc2PulseWidth=0.3, octave=3, glideTime=0.1,
           stereoWidth=0.8, drive=5.0)),
        ("pd_resonant.xml", None, True, "resonant pd wave with dcw sweep \u00b7 vocal pd lead",
         m(dcw1(0.9, 0.01, 0.6, 0.4, 0.3), osc1Wave=RESTRAP, octave=3, glideTime=0.04)),
        ("acid_lead_303.xml", None, False, "squelchy diode lead with slide \u00b7 acid top line",
         m(fenv(0.001, 0.25, 0.1, 0.1, 36.0), bright1(0.9), filterModel=DIODE, filterCutoff=400.0, filterReso=0.75,
           octave=3, glideTime=0.07, legato=1, drive=6.0, drivePosition=1, driveGain=6.0)),
        ("cosmo_pd.xml", None, False, "morphing pd shapes with lfo \u00b7 cosmic lead",
         m(slot(2, LFO, D_MORPH, 0.6), bright1(0.6), osc1Wave=RESSAW, pdMorphAmount=0.3, lfo1Rate=0.5,
           lfo1Depth=1.0, octave=3, stereoWidth=0.6, osc2Level=-6.0, osc2Wave=RESSAW, osc2Detune=7.0)),
        ("harmonica_pd.xml", None, False, "reedy pulse with soft dcw \u00b7 harmonica-like lead",
         m(dcw1(0.4, 0.03, 0.3, 0.5, 0.2), amp(0.03, 0.2, 0.8, 0.2), slot(2, LFO, D_AMP, 0.15), osc1Wave=SINEPULSE,
           octave=3, lfo1Rate=6.0, lfo1Depth=1.0)),
        ("chip_lead.xml", None, False, "square lead with fast vibrato \u00b7 chiptune melody",
         m(slot(2, LFO, D_PITCH, 0.008), bright1(1.0), osc1Wave=SQUARE, lfo1Rate=7.0, lfo1Depth=1.0, octave=4,
           lfo1Shape=TRI)),
        ("theremin_glide.xml", None, False, "sine with long glide and vibrato \u00b7 theremin",
         m(slot(2, LFO, D_PITCH, 0.006), amp(0.1, 0.1, 1.0, 0.4), osc1Wave=HALFSINE, glideTime=0.4, legato=1,
           lfo1Rate=5.0, lfo1Depth=1.0, octave=4)),
    ]),
    ("plucks", "PLUCKS", [
        ("tine_ep.xml", None, True, "bell-like pd attack over sine \u00b7 electric piano tine",
         m(dcw1(0.7, 0.001, 0.3, 0.0, 0.2), amp(0.001, 1.5, 0.0, 0.5), osc1Wave=SINEPULSE, octave=3)),
        ("ring_ep_metallic.xml", None, False, "ring-modulated pair \u00b7 metallic electric piano",
         m(amp(0.001, 1.2, 0.0, 0.4), osc2Wave=HALFSINE, osc2Level=0.0, osc2Semitone=7.0, mode=1, octave=3)),
        ("vibraphone.xml", None, False, "soft sine with tremolo \u00b7 vibraphone",
         m(slot(2, LFO, D_AMP, 0.3), amp(0.001, 1.8, 0.0, 0.8), osc1Wave=HALFSINE, lfo1Rate=5.0, lfo1Depth=1.0,
           octave=3)),
        ("harpsichord.xml", None, False, "bright narrow pulse pluck \u00b7 harpsichord",
         m(amp(0.001, 0.6, 0.0, 0.3), fenv(0.001, 0.3, 0.0, 0.2, 24.0), dcw1(0.85, 0.001, 0.5, 0.3, 0.2),
           osc1Wave=PULSE, filterCutoff=2500.0, octave=3)),
        ("marimba_wood.xml", None, False, "short halfsine knock \u00b7 wooden marimba",
         m(amp(0.001, 0.35, 0.0, 0.2), dcw1(0.5, 0.001, 0.03, 0.0, 0.05), osc1Wave=HALFSINE, octave=3,
           filterCutoff=4000.0)),
        ("kalimba_pd.xml", None, False, "pd click over sine decay \u00b7 kalimba",
         m(dcw1(0.8, 0.001, 0.08, 0.0, 0.1), amp(0.001, 0.7, 0.0, 0.4), osc1Wave=RESTRI, octave=3)),
        ("plucked_guitar_pd.xml", None, False, "decaying dcw on saw \u00b7 plucked string",
         m(dcw1(0.6, 0.001, 0.4, 0.0, 0.2), amp(0.001, 0.9, 0.0, 0.3), fenv(0.001, 0.5, 0.0, 0.2, 18.0),
           filterCutoff=1200.0, octave=2)),
        ("synth_clav.xml", None, False, "resonant pulse stab \u00b7 funky clav",
         m(amp(0.001, 0.3, 0.0, 0.1), fenv(0.001, 0.15, 0.0, 0.1, 30.0), dcw1(0.8, 0.001, 0.2, 0.3, 0.1),
           osc1Wave=RESPULSE, filterCutoff=900.0, filterReso=0.4, octave=3)),
        ("mallet_low.xml", "low mallet", False, "round mallet with soft decay \u00b7 low mallet",
         m(amp(0.001, 0.8, 0.0, 0.4), dcw1(0.3, 0.001, 0.05, 0.0, 0.05), osc1Wave=HALFSINE, subLevel=-12.0)),
        ("bell_cosmic.xml", "cosmic bell", True, "ring-mod bell with long tail \u00b7 cosmic bell",
         m(amp(0.001, 2.2, 0.0, 2.0), osc2Wave=HALFSINE, osc2Level=0.0, osc2Semitone=11.0, osc2Fine=20.0, mode=1,
           octave=4, stereoWidth=0.7)),
    ]),
    ("textures", "TEXTURES \u00b7 PADS", [
        ("pwm_sequencer.xml", None, False, "pwm with synced lfo \u00b7 pulsing sequencer texture",
         m(slot(2, LFO, D_PW1, 0.6), slot(3, LFO, D_CUTOFF, 0.2), osc1Wave=PWM, lfo1Sync=1, lfo1Rate=5.0,
           lfo1Depth=1.0, octave=3, filterCutoff=3000.0, filterReso=0.3)),
        ("tape_warble.xml", None, True, "drifting saws with slow pitch wobble \u00b7 worn tape pad",
         m(reese(6.0), saws(0.6), slot(2, SRAND, D_PITCH, 0.006), amp(0.4, 0.5, 0.9, 1.2), oscDrift=0.6,
           filterCutoff=2000.0, octave=3, stereoWidth=0.7)),
        ("horror_ringmod.xml", None, False, "detuned ring modulation \u00b7 unsettling horror tone",
         m(amp(0.3, 0.5, 0.9, 1.5), bright2(0.5), osc2Wave=SAW, osc2Level=0.0, osc2Semitone=6.0, osc2Fine=13.0,
           mode=1, octave=3)),
        ("pure_drone.xml", None, True, "held sine pair with slow beat \u00b7 meditative drone",
         m(amp(1.0, 0.5, 1.0, 2.5), osc1Wave=HALFSINE, osc2Wave=HALFSINE, osc2Level=-3.0, osc2Detune=4.0,
           stereoWidth=0.8)),
        ("scifi_dcw_morph.xml", None, False, "dcw and morph swept by lfo \u00b7 sci-fi texture",
         m(slot(2, LFO, D_DCW1, 0.7), slot(3, LFO, D_MORPH, 0.5), amp(0.5, 0.5, 1.0, 1.5), bright1(0.3),
           osc1Wave=RESTRAP, lfo1Rate=0.2, lfo1Depth=1.0, octave=3)),
        ("choir_pd.xml", None, False, "phase stage vowels on saws \u00b7 synthetic choir",
         m(reese(8.0, level=-4.0, spread=0.6), saws(0.6), slot(2, LFO, D_CUTOFF, 0.1), amp(0.6, 0.5, 1.0, 1.5),
           filterModel=PHASE, filterCutoff=900.0, filterReso=0.45, phaseMix=0.6, lfo1Rate=0.3, lfo1Depth=1.0,
           octave=3, stereoWidth=0.5)),
        ("wide_stereo_drone.xml", None, False, "full-width detuned drone \u00b7 wide stereo bed",
         m(reese(15.0, level=-3.0, spread=1.0), saws(0.5), amp(1.5, 0.5, 1.0, 3.0), stereoWidth=1.0,
           filterCutoff=1500.0, octave=3)),
        ("glass_crystal.xml", None, False, "bright resonant pd shimmer \u00b7 glassy texture",
         m(dcw1(0.9, 0.2, 1.0, 0.6, 1.0), amp(0.3, 0.5, 0.9, 2.0), osc1Wave=RESPULSE, octave=4, stereoWidth=0.6,
           osc2Wave=RESPULSE, osc2Level=-8.0, osc2Semitone=12.0, osc2Detune=6.0, reeseLock=1)),
        ("dark_atmosphere.xml", None, False, "low filtered noise and saw \u00b7 dark atmosphere",
         m(amp(1.5, 0.5, 1.0, 3.0), bright1(0.7), noiseLevel=-18.0, noiseColour=BROWN, filterCutoff=500.0,
           filterReso=0.2, octave=2)),
        ("sustain_acid_pad.xml", "sustained acid pad", False, "slow resonant diode sweep \u00b7 sustained acid pad",
         m(slot(2, LFO, D_CUTOFF, 0.5), amp(0.5, 0.5, 1.0, 1.5), bright1(0.9), filterModel=DIODE,
           filterCutoff=600.0, filterReso=0.7, lfo1Rate=0.15, lfo1Depth=1.0, octave=3, drivePosition=1, drive=4.0,
           driveGain=12.0)),
        ("vapor_phase_pad.xml", None, False, "phase stage drifting slowly \u00b7 vaporwave pad",
         m(slot(2, LFO, D_NOTCH, 0.4), saws(0.5), amp(0.8, 0.5, 1.0, 2.0), filterModel=PHASE, phaseStereo=0.8,
           lfo1Rate=0.1, lfo1Depth=1.0, octave=3, stereoWidth=0.9, osc2Level=-6.0, osc2Detune=5.0, oscDrift=0.3)),
        ("ambient_glide.xml", None, False, "long glide between held notes \u00b7 ambient swell",
         m(amp(1.0, 0.5, 1.0, 2.0), glideTime=0.8, legato=1, osc1Wave=HALFSINE, octave=3, stereoWidth=0.6,
           osc2Wave=HALFSINE, osc2Level=-9.0, osc2Semitone=7.0)),
        ("dissonant_minor_pad.xml", "dissonant minor", False, "minor second pair, slow attack \u00b7 tense pad",
         m(amp(0.8, 0.5, 1.0, 2.0), saws(0.6), osc2Wave=SAW, osc2Level=-3.0, osc2Semitone=1.0, filterCutoff=1800.0,
           octave=3)),
    ]),
    ("percussion", "PERCUSSION", [
        ("snare_pd.xml", None, True, "noise burst over pitched pd body \u00b7 snare",
         m(amp(0.001, 0.18, 0.0, 0.1), slot(2, AENV, D_PITCH, 0.3), bright1(0.5), noiseLevel=-6.0,
           noiseRouting=0.5, octave=3, osc1Wave=RESTRI)),
        ("hihat_white.xml", None, False, "short white noise tick \u00b7 closed hi-hat",
         m(amp(0.001, 0.05, 0.0, 0.04), osc1Level=-60.0, noiseLevel=0.0, noiseRouting=1.0, filterCutoff=12000.0)),
        ("pitched_perc.xml", None, False, "sine blip with pitch drop \u00b7 tuned percussion",
         m(amp(0.001, 0.2, 0.0, 0.1), slot(2, AENV, D_PITCH, 0.5), osc1Wave=HALFSINE, octave=3)),
        ("tom_drop.xml", None, False, "falling sine tom \u00b7 deep tom",
         m(amp(0.001, 0.4, 0.0, 0.2), slot(2, AENV, D_PITCH, 0.4), osc1Wave=HALFSINE, subLevel=-10.0)),
    ]),
    ("fx", "FX", [
        ("riser_tension.xml", None, False, "noise and pitch rising with lfo \u00b7 tension riser",
         m(slot(2, LFO, D_PITCH, 0.5), slot(3, LFO, D_CUTOFF, 0.5), amp(2.0, 0.5, 1.0, 1.0), bright1(0.7),
           noiseLevel=-12.0, lfo1Rate=0.1, lfo1Depth=1.0, lfo1Shape=TRI, lfo1Retrig=1, octave=3,
           filterCutoff=2000.0, filterReso=0.3)),
        ("down_sweep.xml", None, False, "filter and pitch falling \u00b7 downlifter",
         m(fenv(0.001, 2.0, 0.0, 1.0, 40.0), slot(2, FENV, D_PITCH, 0.5), amp(0.001, 2.5, 0.0, 1.0), bright1(0.8),
           filterCutoff=300.0, filterReso=0.3, octave=3)),
        ("ringmod_clang.xml", None, False, "inharmonic ring mod hit \u00b7 metallic clang",
         m(amp(0.001, 0.8, 0.0, 0.5), bright2(0.8), osc2Wave=SQUARE, osc2Level=0.0, osc2Semitone=5.0,
           osc2Fine=31.0, mode=1, octave=3)),
        ("bass_impact.xml", None, True, "sub drop with noise crack \u00b7 cinematic impact",
         # The osc 1 DCW envelope, at no depth, snaps the noise open for the crack.
         m(amp(0.001, 2.0, 0.0, 1.5), dcw1(0.0, 0.001, 0.06, 0.0, 0.05), slot(2, AENV, D_PITCH, 0.6),
           slot(3, DCW1, D_NOISE, 0.5), subLevel=-3.0, noiseLevel=-36.0, noiseRouting=1.0, drive=10.0)),
        ("wind_atmos.xml", "wind atmosphere", False, "filtered noise gusts \u00b7 wind atmosphere",
         m(slot(2, SRAND, D_CUTOFF, 0.6), amp(1.0, 0.5, 1.0, 2.0), osc1Level=-60.0, noiseLevel=0.0,
           noiseColour=PINK, noiseRouting=0.0, filterCutoff=1200.0, filterReso=0.5, filterModel=STATE,
           driveGain=10.0)),
        ("glitch_chaos.xml", None, False, "random pitch and cutoff steps \u00b7 glitch chaos",
         m(slot(2, LFO, D_PITCH, 0.25), slot(3, NRAND, D_CUTOFF, 0.6), slot(4, LFO, D_DCW1, 0.5), bright1(0.4),
           lfo1Shape=SH, lfo1Rate=12.0, lfo1Depth=1.0, osc1Wave=RESPULSE, octave=3, filterCutoff=3000.0,
           filterReso=0.4)),
        ("laser_zap.xml", None, False, "fast downward pitch envelope \u00b7 laser zap",
         m(amp(0.001, 0.25, 0.0, 0.1), slot(2, AENV, D_PITCH, 1.0, 1), bright1(1.0), osc1Wave=SQUARE, octave=4)),
        ("whoosh_transition.xml", None, False, "noise swept through the filter \u00b7 whoosh transition",
         m(fenv(1.0, 1.5, 0.0, 1.0, 48.0), amp(0.5, 1.5, 0.0, 1.0), osc1Level=-60.0, noiseLevel=0.0,
           filterCutoff=200.0, filterReso=0.4, filterModel=STATE, stereoWidth=0.8, driveGain=12.0)),
    ]),
]

# Output levels: each preset is levelled so that its loudest note between C1 and C4 at full velocity
# peaks a few dB below full scale (quiet textures and percussion sit a little lower).
OUTPUT_GAIN = {
    "bell_cosmic.xml": -2.3,
    "formant_growl.xml": -8.6,
    "init_shape.xml": -8.2,
    "init_reese.xml": -6.0,
    "init_sub.xml": -1.0,
    "reese_classic.xml": -2.6,
    "reese_uk_modern.xml": -18.2,
    "dub_glacier.xml": -3.4,
    "eight_oh_eight.xml": 3.9,
    "dub_melodic_round.xml": -6.3,
    "sub_drone.xml": -3.5,
    "rave_supersaw.xml": -5.6,
    "garage_pluck.xml": -6.2,
    "house_filtered_pump.xml": -5.5,
    "hoover_classic.xml": -6.5,
    "wobble_lfo.xml": -2.6,
    "clockstep_glitch.xml": -11.9,
    "chip_sid_pulse.xml": -7.5,
    "industrial_fold.xml": -11.1,
    "acid_diode_squelch.xml": -12.1,
    "acid_phase_scream.xml": 6.0,
    "widescreen_lead.xml": -12.3,
    "ladder_solo.xml": -5.2,
    "sync_sweep.xml": -5.6,
    "whistle_flute.xml": -2.2,
    "brass_lead.xml": -2.2,
    "hoover_lead_high.xml": -5.1,
    "pd_resonant.xml": -6.6,
    "acid_lead_303.xml": -3.6,
    "cosmo_pd.xml": -8.6,
    "harmonica_pd.xml": -4.2,
    "chip_lead.xml": -3.8,
    "theremin_glide.xml": -2.3,
    "tine_ep.xml": -4.5,
    "ring_ep_metallic.xml": -2.3,
    "vibraphone.xml": -2.0,
    "harpsichord.xml": -6.2,
    "marimba_wood.xml": -3.0,
    "kalimba_pd.xml": -7.3,
    "plucked_guitar_pd.xml": -5.5,
    "synth_clav.xml": -8.9,
    "mallet_low.xml": -5.1,
    "pwm_sequencer.xml": -6.4,
    "tape_warble.xml": -12.0,
    "horror_ringmod.xml": -5.2,
    "pure_drone.xml": -6.8,
    "scifi_dcw_morph.xml": -5.6,
    "choir_pd.xml": -8.2,
    "wide_stereo_drone.xml": -10.4,
    "glass_crystal.xml": -10.8,
    "dark_atmosphere.xml": -5.7,
    "sustain_acid_pad.xml": -10.7,
    "vapor_phase_pad.xml": -8.7,
    "ambient_glide.xml": -4.9,
    "dissonant_minor_pad.xml": -10.2,
    "snare_pd.xml": -7.4,
    "hihat_white.xml": -3.6,
    "pitched_perc.xml": -2.3,
    "tom_drop.xml": -5.1,
    "riser_tension.xml": -5.3,
    "down_sweep.xml": -4.4,
    "ringmod_clang.xml": -4.4,
    "bass_impact.xml": -1.5,
    "wind_atmos.xml": -4.0,
    "glitch_chaos.xml": -10.4,
    "laser_zap.xml": -1.1,
    "whoosh_transition.xml": -2.7,
}


def format_value(value):
    if isinstance(value, int):
        return str(value)
    return repr(float(value))


def preset_xml(file_name, values):
    known = {key for key, _ in LAYOUT}
    unknown = set(values) - known
    assert not unknown, f"{file_name}: unknown parameters {unknown}"
    lines = ['<?xml version="1.0" encoding="UTF-8"?>', "", "<PARAMS>"]
    for key, default in LAYOUT:
        if file_name == "init_clean.xml" and key in INIT_CLEAN_OMITS:
            continue
        value = values.get(key, default)
        if key == "outputGain" and file_name in OUTPUT_GAIN:
            value = OUTPUT_GAIN[file_name]
        lines.append(f'  <PARAM id="{key}" value="{format_value(value)}"/>')
    lines.append("</PARAMS>")
    return "\n".join(lines) + "\n"


def escape(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;")


def manifest_xml():
    lines = ["<?xml version='1.0' encoding='UTF-8'?>", '<presetManifest version="1">']
    for category_id, name, presets in CATEGORIES:
        lines.append(f'  <category id="{category_id}" name="{escape(name)}" displayCount="{len(presets)}">')
        for file_name, display, flagship, description, _ in presets:
            display = display or file_name[:-4].replace("_", " ")
            flag = ' flagship="true"' if flagship else ""
            lines.append(f'    <preset xml="{file_name}" displayName="{escape(display)}"{flag}>')
            lines.append(f"      <description>{escape(description)}</description>")
            lines.append("    </preset>")
        lines.append("  </category>")
    lines.append("</presetManifest>")
    return "\n".join(lines) + "\n"


def main():
    out = ROOT / "resources" / "presets"
    out.mkdir(parents=True, exist_ok=True)
    for stale in out.glob("*.xml"):
        stale.unlink()
    count = 0
    for _, _, presets in CATEGORIES:
        for file_name, _, _, _, values in presets:
            (out / file_name).write_text(preset_xml(file_name, values), encoding="utf-8")
            count += 1
    (ROOT / "resources" / "manifest.xml").write_text(manifest_xml(), encoding="utf-8")
    print(f"wrote {count} presets and the manifest")


if __name__ == "__main__":
    main()
