// The command end to end: whole `pclspool print` processes against `cat` of
// the same job to the same output, timed by wall clock, best of n runs,
// ours and the baseline in turn so that both see the same load.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pclspool::bench {

struct CommandOptions {
  std::string cli;                   // the pclspool command
  std::string output;                // where both write
  int pages = 48;                    // A4 pages at 600 dpi, 4.35 MB each
  int runs = 5;                      // best of
  int copies = 10;                   // of the collated job
  int pdf_pages = 100;               // of the PDF rendered by the command
};

struct CommandResult {
  std::string name;  // "command/plain", "command/collated10"
  bool ok = false;
  std::string error;  // when !ok
  uint64_t input_bytes = 0;
  uint64_t ours_output_bytes = 0;  // what the command wrote, counted once
  double ours_seconds = 0;         // best wall time
  double baseline_seconds = 0;
  double ours_worst = 0;  // worst wall time, to show the spread
  double baseline_worst = 0;
};

// Writes a raster job of the given number of pages to path: a PJL header,
// per page raster rows (ESC * b # W) whose data holds 0x0C and ESC bytes,
// a form feed after every page, and a closing UEL. Returns its size, 0 on
// failure.
uint64_t GenerateRasterJob(const std::string& path, int pages);

// Times ours against baseline, each writing to o.output as its standard
// output, best of o.runs taken in turn; job is the input whose size is
// reported.
CommandResult CompareCommands(const CommandOptions& o, const std::string& name,
                              const std::vector<std::string>& ours,
                              const std::vector<std::string>& baseline, const std::string& job);

// Runs the plain and the collated comparisons on a job generated into dir.
CommandResult RunPlainCommand(const CommandOptions& o, const std::string& job,
                              const std::string& ini);
CommandResult RunCollatedCommand(const CommandOptions& o, const std::string& job,
                                 const std::string& ini);

}  // namespace pclspool::bench
