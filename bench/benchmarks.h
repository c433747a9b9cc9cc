// The benchmark suite's parts: each registers its Google Benchmark cases,
// named "<group>/<input>/ours" and "<group>/<input>/baseline" where a case
// has a baseline to be compared with in the same run.
#pragma once

#include <string>

namespace pclspool::bench {

void RegisterClass2Benchmarks();
void RegisterPassthroughBenchmarks();
void RegisterWatermarkBenchmarks();

// A scratch directory for the run, removed at exit.
const std::string& ScratchDir();

// Writes text to path; false on failure.
bool WriteTextFile(const std::string& path, const std::string& text);

}  // namespace pclspool::bench
