// Choice of the CPU path, as pixman makes it: what the processor reports (CPUID) and what the
// operating system saves on a task switch (XGETBV), less the paths named in TESS_DISABLE,
// looked up once before the program's entry point runs. No ifunc and no library call beyond
// getenv, so the Windows DLL imports nothing new.
#include "raster/tess_cpu.h"

#include <cstdlib>

#include "raster/tess_kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define TESS_X86 1
#endif

namespace tess {

#if defined(TESS_X86)
const Kernels* g_kernels = &SSE2_KERNELS;
#else
const Kernels* g_kernels = &GENERIC_KERNELS;
#endif

}  // namespace tess

namespace {

const char* const PATH_NAMES[TESS_CPU_PATH_COUNT] = {"generic", "sse2", "avx2", "avx512"};

#if defined(TESS_X86)
// What CPUID leaf 7 reports in EBX and ECX, once the processor and the OS are known to run
// AVX (XCR0's bits as `saved`); zero when they are not.
struct Extended {
    unsigned b = 0, c = 0, saved = 0;
};

Extended extended_features() {
    Extended e;
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return e;
    const unsigned OSXSAVE = 1u << 27, AVX = 1u << 28;
    if ((c & OSXSAVE) == 0 || (c & AVX) == 0) return e;
    unsigned lo = 0, hi = 0;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    if (__get_cpuid_max(0, nullptr) < 7) return e;
    __cpuid_count(7, 0, a, b, c, d);
    e.b = b;
    e.c = c;
    e.saved = lo;
    return e;
}

// XCR0 bits 1 and 2: the operating system saves the XMM and the upper YMM halves.
bool runs_avx2(const Extended& e) { return (e.saved & 6u) == 6u && (e.b & 1u << 5) != 0; }

bool processor_runs_avx2() { return runs_avx2(extended_features()); }

bool processor_runs_avx512() {
    const Extended e = extended_features();
    // XCR0 bits 5 to 7: the opmask registers, the upper ZMM halves and ZMM16..31 are saved too.
    const unsigned F = 1u << 16, BW = 1u << 30, VL = 1u << 31, VBMI = 1u << 1, VNNI = 1u << 11;
    return runs_avx2(e) && (e.saved & 0xE6u) == 0xE6u && (e.b & (F | BW | VL)) == (F | BW | VL) &&
           (e.c & (VBMI | VNNI)) == (VBMI | VNNI);
}

#endif

const tess::Kernels* table_of(TESS_CpuPath path) {
    switch (path) {
#if defined(TESS_X86)
    case TESS_CPU_AVX512: return &tess::AVX512_KERNELS;
    case TESS_CPU_AVX2: return &tess::AVX2_KERNELS;
    case TESS_CPU_SSE2: return &tess::SSE2_KERNELS;
#endif
    default: return &tess::GENERIC_KERNELS;
    }
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// Whether the list names `name` as a whole word (separated by spaces, tabs or commas).
bool names(const char* list, const char* name) {
    if (!list) return false;
    const char* p = list;
    while (*p) {
        while (*p == ' ' || *p == ',' || *p == '\t') ++p;
        const char* word = p;
        while (*p && *p != ' ' && *p != ',' && *p != '\t') ++p;
        const char* n = name;
        const char* w = word;
        while (w < p && *n && lower(*w) == *n) {
            ++w;
            ++n;
        }
        if (w == p && *n == '\0' && p > word) return true;
    }
    return false;
}

struct ChooseAtStartUp {
    ChooseAtStartUp() { TESS_ChooseCpuPath(std::getenv("TESS_DISABLE")); }
} choose_at_start_up;

}  // namespace

const char* TESS_CpuPathName(TESS_CpuPath path) noexcept {
    if (path < 0 || path >= TESS_CPU_PATH_COUNT) return "";
    return PATH_NAMES[path];
}

bool TESS_CpuPathSupported(TESS_CpuPath path) noexcept {
    switch (path) {
    case TESS_CPU_GENERIC: return true;
#if defined(TESS_X86)
    case TESS_CPU_SSE2: return true;
    case TESS_CPU_AVX2: return processor_runs_avx2();
    case TESS_CPU_AVX512: return processor_runs_avx512();
#endif
    default: return false;
    }
}

TESS_CpuPath TESS_ActiveCpuPath() noexcept { return tess::g_kernels->path; }

TESS_CpuPath TESS_ChooseCpuPath(const char* disable) noexcept {
    TESS_CpuPath chosen = TESS_CPU_GENERIC;
    for (int32_t p = TESS_CPU_PATH_COUNT - 1; p > TESS_CPU_GENERIC; --p) {
        const TESS_CpuPath path = static_cast<TESS_CpuPath>(p);
        const bool ruledOut = names(disable, PATH_NAMES[p]) ||
                              (path == TESS_CPU_AVX512 && names(disable, PATH_NAMES[TESS_CPU_AVX2]));
        if (TESS_CpuPathSupported(path) && !ruledOut) {
            chosen = path;
            break;
        }
    }
    tess::g_kernels = table_of(chosen);
    return chosen;
}
