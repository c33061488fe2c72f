// Google Benchmark's main plus one flag of our own: --rt_seconds=N for the real-time runs.

#include "recorder_bench.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        constexpr const char flag[] = "--rt_seconds=";
        if (std::strncmp(argv[i], flag, sizeof flag - 1) == 0)
            kestravel::plugins::bench::realtimeSeconds = std::stod(argv[i] + sizeof flag - 1);
        else
            rest.push_back(argv[i]);
    }
    int count = static_cast<int>(rest.size());
    benchmark::Initialize(&count, rest.data());
    if (benchmark::ReportUnrecognizedArguments(count, rest.data()))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
