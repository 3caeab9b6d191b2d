#!/usr/bin/python3
"""Designs the fold's low-pass (engine/chain/DriveStage.h, FoldLowPass) and prints its sections
and its response at a 48 kHz base rate. Needs Debian's python3-scipy; not part of the build."""
import numpy as np
from scipy import signal

# Order 4, 0.05 dB ripple, 25 dB stop band, pass band to 0.39 of the 2x rate's Nyquist frequency.
sections = signal.ellip(4, 0.05, 25, 0.39, output="sos")
# Unity gain at DC: the fold's level at low frequencies stays what it was.
sections[0, :3] /= np.prod([s[:3].sum() / s[3:].sum() for s in sections])

for s in sections:
    print("b", ", ".join("%.9g" % v for v in s[:3]), " a", ", ".join("%.9g" % v for v in s[4:]))

hz = np.array([1000, 10000, 18700, 20000, 22000, 24000, 26000, 28000, 28800])
_, h = signal.sosfreqz(sections, worN=hz / 48000.0 * np.pi)
for f, db in zip(hz, 20 * np.log10(np.abs(h))):
    print("%6d Hz %7.2f dB" % (f, db))
print("delay at 100 Hz: %.2f samples" % signal.group_delay(signal.sos2tf(sections), w=[100 / 48000.0 * np.pi])[1][0])
