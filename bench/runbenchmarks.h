#pragma once

#include <benchmark/benchmark.h>

// Runs the registered benchmarks with the command line's options; what a
// benchmark program's main does once its application object exists.
inline int runBenchmarks(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
