// The benchmark programs' main: Google Benchmark's, with the raster library's CPU path (as
// chosen at start-up from the processor and TESS_DISABLE) in the run's context and JSON.
#pragma once

#include <benchmark/benchmark.h>

#include "raster/tess.h"

inline int run_benchmarks(int argc, char** argv) {
    benchmark::AddCustomContext("tess_cpu_path", TESS_CpuPathName(TESS_ActiveCpuPath()));
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
