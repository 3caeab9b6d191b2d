#!/usr/bin/python3
"""Checks the edges of the resonant shapes (engine/sources/PhaseDistortion.h,
pd_kernel::resonantEdges): the step at the wrap and the jumps of slope at the wrap and at the
window's turn, worked out in closed form, against one-sided differences of the shapes themselves
over window counts b from 1 to 16. Plain python; not part of the build."""
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
    """(step at the wrap, slope jump at the wrap, slope jump at the middle), per turn of phase."""
    c, s = math.cos(TAU * b), math.sin(TAU * b)
    ch = math.cos(math.pi * b)
    if kind == "ressaw":
        return 0.0, c - 1.0, 0.0
    if kind == "restriangle":
        return 0.0, 6.0 + 2.0 * c, -4.0 - 4.0 * ch
    if kind == "restrapezoid":
        return 0.0, TAU * b + 2.0 * s, -2.0 * math.sin(math.pi * b)
    if kind == "respulse":
        return 1.0 - c, -2.0 - 2.0 * c + TAU * b * s, 4.0 * ch
    raise ValueError(kind)


def measured(kind, b, h=1.0e-6):
    # Values and slopes just after and just before each edge; the wrap's "before" is p -> 1.
    def after(e):
        return shape(kind, e + h, b), (shape(kind, e + 2 * h, b) - shape(kind, e + h, b)) / h

    def before(e):
        return shape(kind, e - h, b), (shape(kind, e - h, b) - shape(kind, e - 2 * h, b)) / h

    v0, d0 = after(0.0)
    v1, d1 = before(1.0)
    vm0, dm0 = before(0.5)
    vm1, dm1 = after(0.5)
    assert abs(vm1 - vm0) < 1.0e-3, (kind, b, "step at the middle")
    return v0 - v1, d0 - d1, dm1 - dm0


worst = 0.0
for kind in ("ressaw", "restriangle", "restrapezoid", "respulse"):
    for i in range(0, 151):
        b = 1.0 + 15.0 * i / 150.0
        want, got = closed_form(kind, b), measured(kind, b)
        # The slopes reach some 100 per turn: compare relative to the size of the shape's slope.
        scale = 1.0 + TAU * b
        error = max(abs(w - g) / scale for w, g in zip(want, got))
        worst = max(worst, error)
        assert error < 1.0e-3, (kind, b, want, got)
print("closed forms agree with the shapes; worst relative difference %.2g" % worst)
