#pragma once
// Whether the analysis uses x86 SSE2 intrinsics. Every use has a portable twin that gives the
// same results bit for bit; building with MARVEX_PORTABLE_ANALYSIS (CMake option of the same
// name) or for a CPU without SSE2 takes the twins.

#if defined(__SSE2__) && !defined(MARVEX_PORTABLE_ANALYSIS)
#define MARVEX_ANALYSIS_SSE2 1
#include <emmintrin.h>
#else
#define MARVEX_ANALYSIS_SSE2 0
#endif
