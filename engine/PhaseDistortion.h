#pragma once

namespace quillon
{

// Wave shapes 0..9 in the order of the wave choice list ("saw" .. "respulse").
constexpr int numWaveShapes = 10;

// Phase-distortion wave shape at a phase in 0..1 with a distortion (DCW) depth in 0..1.
// `resonance` is the window count of the resonant shapes; the voice always passes 16.
// Pure and allocation-free: the editor's thread draws with it too. Returns 0 for an unknown shape.
float phaseDistortionShape (int waveShape, float phase, float dcw, float resonance) noexcept;

// Per-shape gain that levels every shape at full depth to the saw's loudness. Built once per
// process on first use; safe to call from any thread.
const float* waveGainTable() noexcept;

// Polynomial band-limited step correction at phase t for a per-sample increment i.
float polyBlep (float t, float increment) noexcept;

} // namespace quillon
