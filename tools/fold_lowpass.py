#!/usr/bin/python3
"""Designs the fold's low-passes (engine/chain/FoldLowPass.h, FoldLowPass on its output and
FoldInputLowPass on its input) and prints their sections and responses at a 48 kHz base rate, and
the weights that cut the fold's steps into eighths (FoldEighthTaps).
Needs Debian's python3-scipy; not part of the build."""
import numpy as np
from scipy import signal


def show(name, sections):
    # Unity gain at DC: the fold's level at low frequencies stays what it was.
    sections[0, :3] /= np.prod([s[:3].sum() / s[3:].sum() for s in sections])
    print(name)
    for s in sections:
        print("b", ", ".join("%.9g" % v for v in s[:3]), " a", ", ".join("%.9g" % v for v in s[4:]))

    hz = np.array([1000, 10000, 15000, 18000, 18700, 20000, 22000, 24000, 26000, 28000, 28800, 36000])
    _, h = signal.sosfreqz(sections, worN=hz / 48000.0 * np.pi)
    for f, db in zip(hz, 20 * np.log10(np.abs(h))):
        print("%6d Hz %7.2f dB" % (f, db))
    print("delay at 100 Hz: %.2f samples" % signal.group_delay(signal.sos2tf(sections), w=[100 / 48000.0 * np.pi])[1][0])


# Order 4, 0.05 dB ripple, 25 dB stop band, pass band to 0.39 of the 2x rate's Nyquist frequency.
show("output", signal.ellip(4, 0.05, 25, 0.39, output="sos"))
# Order 4 Butterworth, 3 dB down at 0.38 of the 2x rate's Nyquist frequency: smooth in phase, so
# that a pulse's edge does not ring into the fold, whose gain would spread the ringing about.
show("input", signal.butter(4, 0.38, output="sos"))


def eighth_taps():
    # The fold's input at eighths 1..8 of the step from input 6 to input 7 of twelve: a sinc under
    # a Blackman-Harris window twelve inputs wide, each eighth's weights summing to 1
    # (FoldEighthTaps, one row per input, oldest first).
    rows = []
    for j in range(1, 9):
        weights = []
        for i in range(-5, 7):
            x = j / 8.0 - i
            t = 2.0 * np.pi * x / 12.0
            window = 0.35875 + 0.48829 * np.cos(t) + 0.14128 * np.cos(2 * t) + 0.01168 * np.cos(3 * t)
            weights.append(np.sinc(x) * window)
        row = np.array(weights) / np.sum(weights)
        rows.append(np.where(np.abs(row) < 1e-12, 0.0, row))  # the last eighth is input 7 itself
    print("eighth taps")
    for t in range(12):
        print("{ " + ", ".join("%.9g" % rows[j][t] for j in range(8)) + " },")


eighth_taps()
