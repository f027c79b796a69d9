// CPU paths of the raster library's per-frame loops (source-alpha blit, the sustain rows'
// one-row stretches, fills, bilinear and reduction sampling, visible spans), chosen once at
// start-up. Read by every drawing call; chosen again only by tests and tools.
#pragma once

#include <cstdint>

// From the plainest to the widest. Every path gives the same pixels.
enum TESS_CpuPath : int32_t {
    TESS_CPU_GENERIC = 0,  // plain C, one pixel at a time
    TESS_CPU_SSE2 = 1,     // four pixels per vector: the x86-64 baseline
    TESS_CPU_AVX2 = 2,     // eight pixels per vector, where the processor and the OS allow it
    TESS_CPU_AVX512 = 3,   // the AVX2 loops, and the reduction box with AVX-512 byte permutes
};
constexpr int32_t TESS_CPU_PATH_COUNT = 4;

// "generic", "sse2", "avx2", "avx512": the names TESS_DISABLE uses.
const char* TESS_CpuPathName(TESS_CpuPath path) noexcept;

// Whether this build, processor and operating system can run the path: GENERIC always, SSE2
// on every x86-64 build, AVX2 when the processor has it and the OS saves the YMM registers,
// AVX512 when it also has AVX-512 F, BW, VL, VBMI and VNNI and the OS saves the ZMM registers.
bool TESS_CpuPathSupported(TESS_CpuPath path) noexcept;

// The path the drawing calls use.
TESS_CpuPath TESS_ActiveCpuPath() noexcept;

// Chooses as start-up does, with `disable` in place of the environment variable TESS_DISABLE:
// the widest supported path not named in it (names separated by spaces or commas, any case;
// unknown names are ignored; GENERIC cannot be ruled out). Ruling out avx2 rules out avx512,
// which runs the AVX2 loops. Null rules nothing out. Returns the path chosen. Must not run
// while another thread draws.
TESS_CpuPath TESS_ChooseCpuPath(const char* disable) noexcept;
