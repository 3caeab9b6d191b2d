#!/usr/bin/python3
"""Checks the edges of the resonant shapes (engine/sources/PhaseDistortion.h,
pd_kernel::edgeResidual): the step at the wrap and the jumps of slope and of curvature at the wrap
and at the window's turn, worked out in closed form, against one-sided differences of the shapes
themselves over window counts b from 1 to 16. Plain python; not part of the build."""
import math

TAU = 2.0 * math.pi


def shape(kind, p, b):
    c = math.cos(TAU * b * p)
    s = math.sin(TAU * b * p)
    if kind == "ressaw":
        return 1.0 - (1.0 - c) * (1.0 - p)
    if kind == "restriangle":
        tri = 2.0 * p if p < 0.5 else 2.0 - 2.0 * p
        return tri * (1.0 + c) - 1.0
    if kind == "restrapezoid":
        return s * min(2.0 * (1.0 - p), 1.0)
    if kind == "respulse":
        return c * (1.0 - 2.0 * p if p < 0.5 else 2.0 * (p - 0.5))
    raise ValueError(kind)


def closed_form(kind, b):
    """(step, slope jump, curvature jump) at the wrap, then (slope jump, curvature jump) at the
    middle, per turn of phase."""
    w = TAU * b
    c, s = math.cos(w), math.sin(w)
    ch, sh = math.cos(w / 2), math.sin(w / 2)
    if kind == "ressaw":
        return 0.0, c - 1.0, -w * w - 2.0 * w * s, 0.0, 0.0
    if kind == "restriangle":
        return 0.0, 6.0 + 2.0 * c, -4.0 * w * s, -4.0 - 4.0 * ch, 8.0 * w * sh
    if kind == "restrapezoid":
        return 0.0, w + 2.0 * s, 4.0 * w * c, -2.0 * sh, -4.0 * w * ch
    if kind == "respulse":
        return 1.0 - c, -2.0 - 2.0 * c + w * s, -w * w * (1.0 - c) + 4.0 * w * s, 4.0 * ch, -8.0 * w * sh
    raise ValueError(kind)


def measured(kind, b, h=1.0e-5):
    # Value, slope and curvature just after and just before each edge, extrapolated from three
    # points on that side; the wrap's "before" is p -> 1.
    def side(e, d):
        f1, f2, f3, f4, f6 = (shape(kind, e + d * k * h, b) for k in (1, 2, 3, 4, 6))
        # The second difference's curvature lies 2h (or 4h) from the edge: Richardson takes it back.
        curvature = 2.0 * (f1 - 2.0 * f2 + f3) / (h * h) - (f2 - 2.0 * f4 + f6) / (4.0 * h * h)
        return 3.0 * f1 - 3.0 * f2 + f3, d * (-5.0 * f1 + 8.0 * f2 - 3.0 * f3) / (2.0 * h), curvature

    v0, d0, c0 = side(0.0, 1.0)
    v1, d1, c1 = side(1.0, -1.0)
    vm0, dm0, cm0 = side(0.5, -1.0)
    vm1, dm1, cm1 = side(0.5, 1.0)
    assert abs(vm1 - vm0) < 1.0e-3, (kind, b, "step at the middle")
    return v0 - v1, d0 - d1, c0 - c1, dm1 - dm0, cm1 - cm0


worst = 0.0
for kind in ("ressaw", "restriangle", "restrapezoid", "respulse"):
    for i in range(0, 151):
        b = 1.0 + 15.0 * i / 150.0
        want, got = closed_form(kind, b), measured(kind, b)
        # The slopes reach some 100 per turn and the curvatures some 10000: compare each relative
        # to its size in the shape.
        scales = (1.0, 1.0 + TAU * b, (1.0 + TAU * b) ** 2, 1.0 + TAU * b, (1.0 + TAU * b) ** 2)
        error = max(abs(w - g) / k for w, g, k in zip(want, got, scales))
        worst = max(worst, error)
        assert error < 1.0e-3, (kind, b, want, got)
print("closed forms agree with the shapes; worst relative difference %.2g" % worst)
