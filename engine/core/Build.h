#pragma once

// How the voice is built: the exact switch, and the attributes of its hot code.

// Built with QUILLON_EXACT_REFERENCE=1, every approximation falls back to the library function
// and every control-rate shortcut to a per-sample update. The tests build the voice that way a
// second time and check the fast voice against it.
#ifndef QUILLON_EXACT_REFERENCE
 #define QUILLON_EXACT_REFERENCE 0
#endif

// For the per-sample stages of the chain's loops: as calls they would make the loop store and
// load every live value around them.
#if defined(__GNUC__)
 #define QUILLON_ALWAYS_INLINE __attribute__ ((always_inline))
#else
 #define QUILLON_ALWAYS_INLINE
#endif

// The hot loops built twice, for the x86-64 baseline and for AVX2, the loader picking one for the
// machine it runs on. No FMA: a fused multiply-add rounds once where the baseline rounds twice,
// and the lanes, the stretches and the exact voice have to give the same results on any machine.
// GCC 12 drops the clones of a template used before its definition, and breaks the link where a
// declaration seen by other files carries them: a template takes this on its declaration, any
// other function on its definition. Clang does not clone templates.
#if defined(__GNUC__) && ! defined(__clang__) && defined(__x86_64__) && ! QUILLON_EXACT_REFERENCE
 #define QUILLON_HOT_CLONES __attribute__ ((target_clones ("avx2", "default")))
#else
 #define QUILLON_HOT_CLONES
#endif

namespace quillon::dsp
{
constexpr bool exactReference = QUILLON_EXACT_REFERENCE != 0;
} // namespace quillon::dsp
