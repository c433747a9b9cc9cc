// pclspool_bench: runs every benchmark and prints one table of ratios, each
// measured against its baseline in the same run.
//
//   pclspool_bench [--quick] [--runs=N] [--pages=N] [--pdf-pages=N]
//                  [--output=PATH] [--cli=PATH] [--no-command] [--benchmark_...]
//   pclspool_bench --generate=PATH [--pages=N]   (only writes the raster job)
//
// The Google Benchmark cases run first (10 repetitions, in random
// interleaving, the best repetition counted); then the command is timed
// against cat, writing to /dev/null and to a file (--output, by default one
// in the scratch directory). The details go to standard error, the table
// to standard output.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <utility>
#include <string>
#include <vector>

#include "benchmarks.h"
#include "command_bench.h"
#include "rendered_bench.h"
#include "support/scratch_dir.h"

namespace pclspool::bench {

namespace {

// The best and worst of a case's repetitions.
struct Timing {
  double best = 0;  // seconds per iteration (CPU time)
  double worst = 0;
  double bytes_per_second = 0;  // at the best repetition
  bool ok = false;
  std::string error;
};

double Seconds(const benchmark::BenchmarkReporter::Run& run, double value) {
  switch (run.time_unit) {
    case benchmark::kNanosecond:
      return value * 1e-9;
    case benchmark::kMicrosecond:
      return value * 1e-6;
    case benchmark::kMillisecond:
      return value * 1e-3;
    case benchmark::kSecond:
      return value;
  }
  return value;
}

// Shows Google Benchmark's own report on standard error and keeps the best
// and worst CPU time of every case.
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  CollectingReporter() : ConsoleReporter(OO_Tabular) {
    SetOutputStream(&std::cerr);
    SetErrorStream(&std::cerr);
  }

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      Timing& t = timings_[run.run_name.function_name];
      if (run.error_occurred) {
        t.ok = false;
        t.error = run.error_message;
        continue;
      }
      const double cpu = Seconds(run, run.GetAdjustedCPUTime());
      if (run.run_type == Run::RT_Iteration) {
        if (!t.ok || cpu < t.best) {
          t.best = cpu;
          const auto it = run.counters.find("bytes_per_second");
          t.bytes_per_second = it != run.counters.end() ? static_cast<double>(it->second) : 0;
        }
        t.worst = t.ok ? std::max(t.worst, cpu) : cpu;
        t.ok = true;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  const std::map<std::string, Timing>& timings() const { return timings_; }

 private:
  std::map<std::string, Timing> timings_;
};

struct Row {
  std::string name, ours, baseline, ratio, goal, met;
};

// A case left out by --benchmark_filter: its row is left out too.
constexpr char kNotRun[] = "not run";

std::string Fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof(buf), "%.*f", decimals, v);
  return buf;
}

std::string Rate(double bytes_per_second) { return Fixed(bytes_per_second / 1e6, 0) + " MB/s"; }

std::string Duration(double seconds) {
  if (seconds < 1e-6) return Fixed(seconds * 1e9, 0) + " ns";
  if (seconds < 1e-3) return Fixed(seconds * 1e6, 1) + " us";
  if (seconds < 1) return Fixed(seconds * 1e3, 1) + " ms";
  return Fixed(seconds, 2) + " s";
}

// Ratio of speeds: how many times the baseline's speed ours reaches.
Row Compare(const std::string& label, const Timing& ours, const Timing& base, double goal,
            std::string* notes) {
  Row r{label, "-", "-", "-", goal > 0 ? ">= " + Fixed(goal, 2) : "-", "-"};
  if (ours.error == kNotRun && base.error == kNotRun) {
    r.met = kNotRun;
    return r;
  }
  if (!ours.ok || !base.ok) {
    r.met = "error";
    *notes += "- " + label + ": " + (ours.ok ? base.error : ours.error) + "\n";
    return r;
  }
  r.ours = Rate(ours.bytes_per_second);
  r.baseline = Rate(base.bytes_per_second);
  const double ratio = base.best / ours.best;
  r.ratio = Fixed(ratio, 2);
  if (goal > 0) r.met = ratio >= goal ? "yes" : "NO";
  *notes += "- " + label + ": ours " + Duration(ours.best) + " .. " + Duration(ours.worst) +
            ", baseline " + Duration(base.best) + " .. " + Duration(base.worst) +
            " per iteration\n";
  return r;
}

Row CommandRow(const std::string& label, const CommandResult& c, double goal, std::string* notes,
               const std::string& baseline = "cat") {
  Row r{label, "-", "-", "-", ">= " + Fixed(goal, 2), "error"};
  if (!c.ok) {
    *notes += "- " + label + ": " + c.error + "\n";
    return r;
  }
  const auto out = static_cast<double>(c.ours_output_bytes);
  r.ours = Rate(out / c.ours_seconds) + " (" + Fixed(c.ours_seconds, 3) + " s)";
  r.baseline = Rate(out / c.baseline_seconds) + " (" + Fixed(c.baseline_seconds, 3) + " s)";
  const double ratio = c.baseline_seconds / c.ours_seconds;
  r.ratio = Fixed(ratio, 2);
  r.met = ratio >= goal ? "yes" : "NO";
  *notes += "- " + label + ": input " + Fixed(static_cast<double>(c.input_bytes) / 1e6, 1) +
            " MB, pclspool wrote " + Fixed(out / 1e6, 1) + " MB; wall time ours " +
            Duration(c.ours_seconds) + " .. " + Duration(c.ours_worst) + ", " + baseline + " " +
            Duration(c.baseline_seconds) + " .. " + Duration(c.baseline_worst) + "\n";
  return r;
}

Row SetupRow(const std::string& label, const Timing& t, std::string* notes) {
  Row r{label, "-", "-", "-", "-", "-"};
  if (t.error == kNotRun) {
    r.met = kNotRun;
    return r;
  }
  if (!t.ok) {
    r.met = "error";
    *notes += "- " + label + ": " + t.error + "\n";
    return r;
  }
  r.ours = Fixed(t.best * 1e3, 1) + " ms/page";
  *notes += "- " + label + ": " + Duration(t.best) + " .. " + Duration(t.worst) + " per page\n";
  return r;
}

void PrintTable(const std::vector<Row>& rows) {
  const Row head{"benchmark", "ours", "baseline", "ratio", "goal", "met?"};
  std::vector<std::size_t> w(6, 0);
  auto cells = [](const Row& r) {
    return std::vector<const std::string*>{&r.name,  &r.ours, &r.baseline,
                                           &r.ratio, &r.goal, &r.met};
  };
  for (const Row& r : rows) {
    auto c = cells(r);
    for (std::size_t i = 0; i < 6; ++i) w[i] = std::max(w[i], c[i]->size());
  }
  {
    auto c = cells(head);
    for (std::size_t i = 0; i < 6; ++i) w[i] = std::max(w[i], c[i]->size());
  }
  auto line = [&](const Row& r) {
    auto c = cells(r);
    std::string s = "|";
    for (std::size_t i = 0; i < 6; ++i)
      s += " " + *c[i] + std::string(w[i] - c[i]->size(), ' ') + " |";
    std::cout << s << "\n";
  };
  line(head);
  std::string rule = "|";
  for (std::size_t i = 0; i < 6; ++i) rule += std::string(w[i] + 2, '-') + "|";
  std::cout << rule << "\n";
  for (const Row& r : rows) line(r);
}

std::string FirstLine(const std::string& path, const std::string& key) {
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key, 0) == 0) {
      const auto colon = line.find(':');
      std::string v = colon == std::string::npos ? line : line.substr(colon + 1);
      v.erase(0, v.find_first_not_of(" \t"));
      return v;
    }
  }
  return "unknown";
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return a + " " + b + " " + c;
}

std::string Machine() {
  std::ostringstream s;
  s << "nproc " << ::sysconf(_SC_NPROCESSORS_ONLN) << ", CPU "
    << FirstLine("/proc/cpuinfo", "model name") << ", memory "
    << FirstLine("/proc/meminfo", "MemTotal");
  return s.str();
}

bool Flag(const char* arg, const char* name, std::string* value) {
  const std::size_t n = std::strlen(name);
  if (std::strncmp(arg, name, n) != 0) return false;
  if (arg[n] == '=') {
    *value = arg + n + 1;
    return true;
  }
  return arg[n] == 0;
}

}  // namespace

const std::string& ScratchDir() {
  static const testing::ScratchDir dir("bench");
  static const std::string path = dir.string();
  return path;
}

bool WriteTextFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out.flush());
}

int Main(int argc, char** argv) {
  CommandOptions command;
  command.cli = PCLSPOOL_CLI_PATH;
  bool quick = false;
  bool run_command = true;
  std::string generate;             // only write the raster job there
  std::vector<std::string> passed;  // flags for Google Benchmark
  for (int i = 1; i < argc; ++i) {
    std::string v;
    if (Flag(argv[i], "--quick", &v)) {
      quick = true;
    } else if (Flag(argv[i], "--no-command", &v)) {
      run_command = false;
    } else if (Flag(argv[i], "--runs", &v) && !v.empty()) {
      command.runs = std::atoi(v.c_str());
    } else if (Flag(argv[i], "--pages", &v) && !v.empty()) {
      command.pages = std::atoi(v.c_str());
    } else if (Flag(argv[i], "--pdf-pages", &v) && !v.empty()) {
      command.pdf_pages = std::atoi(v.c_str());
    } else if (Flag(argv[i], "--output", &v) && !v.empty()) {
      command.output = v;
    } else if (Flag(argv[i], "--cli", &v) && !v.empty()) {
      command.cli = v;
    } else if (Flag(argv[i], "--generate", &v) && !v.empty()) {
      generate = v;
    } else {
      passed.push_back(argv[i]);
    }
  }
  if (quick) {
    command.pages = std::min(command.pages, 8);
    command.pdf_pages = std::min(command.pdf_pages, 10);
    command.runs = std::min(command.runs, 2);
  }
  // Our defaults first, so that --benchmark_* flags given on the command
  // line win.
  std::vector<std::string> args = {
      argv[0], quick ? "--benchmark_repetitions=2" : "--benchmark_repetitions=10",
      quick ? "--benchmark_min_time=0.05" : "--benchmark_min_time=0.1",
      "--benchmark_enable_random_interleaving=true"};
  args.insert(args.end(), passed.begin(), passed.end());
  if (!generate.empty()) {
    if (GenerateRasterJob(generate, command.pages) != 0) return 0;
    std::cerr << "pclspool_bench: cannot write " << generate << "\n";
    return 1;
  }
  const std::string load_before = LoadAverage();
  std::vector<char*> bargv;
  for (std::string& a : args) bargv.push_back(a.data());
  int bargc = static_cast<int>(bargv.size());
  bargv.push_back(nullptr);
  benchmark::Initialize(&bargc, bargv.data());
  if (benchmark::ReportUnrecognizedArguments(bargc, bargv.data())) return 1;

  RegisterClass2Benchmarks();
  RegisterPassthroughBenchmarks();
  RegisterWatermarkBenchmarks();
  CollectingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto& t = reporter.timings();
  auto timing = [&](const std::string& name) {
    const auto it = t.find(name);
    if (it != t.end()) return it->second;
    Timing none;
    none.error = kNotRun;
    return none;
  };

  std::vector<Row> rows;
  std::string notes;
  rows.push_back(Compare("class 2, 600 dpi glyphs", timing("class2/glyphs600/ours"),
                         timing("class2/glyphs600/baseline"), 10, &notes));
  rows.push_back(Compare("class 2, 1200 dpi glyphs", timing("class2/glyphs1200/ours"),
                         timing("class2/glyphs1200/baseline"), 10, &notes));
  rows.push_back(Compare("class 2, alternating pixels", timing("class2/alternating/ours"),
                         timing("class2/alternating/baseline"), 0, &notes));
  rows.push_back(Compare("pass-through, 64 KiB buffers to /dev/null",
                         timing("passthrough/devnull/ours"), timing("passthrough/devnull/baseline"),
                         0.95, &notes));
  rows.push_back(Compare("pass-through, 64 KiB buffers to a file in memory",
                         timing("passthrough/file/ours"), timing("passthrough/file/baseline"), 0.95,
                         &notes));

  if (run_command) {
    // Every command twice: into /dev/null, where the output costs nothing
    // and all that shows is reading and the command's own work, and into a
    // file, as a printer stream is written to a spool file or a device.
    const std::string file = command.output.empty() ? ScratchDir() + "/output.prn" : command.output;
    const std::pair<std::string, std::string> outputs[] = {{"to /dev/null", "/dev/null"},
                                                           {"to a file", file}};
    const std::string job = ScratchDir() + "/raster-job.pcl";
    const std::string ini = ScratchDir() + "/empty.INI";
    std::cerr << "generating a raster job of " << command.pages << " pages\n";
    if (GenerateRasterJob(job, command.pages) == 0 || !WriteTextFile(ini, "[SETTING]\n")) {
      notes += "- command: cannot write the job into " + ScratchDir() + "\n";
    } else {
      std::cerr << "timing the command, best of " << command.runs << "\n";
      for (const auto& [where, path] : outputs) {
        CommandOptions c = command;
        c.output = path;
        rows.push_back(CommandRow("command, plain job, " + where, RunPlainCommand(c, job, ini),
                                  0.8, &notes));
        rows.push_back(CommandRow(
            "command, collated x" + std::to_string(c.copies) + ", " + where,
            RunCollatedCommand(c, job, ini), 0.8, &notes));
      }
    }
    // A PDF rendered and placed by the command, against Ghostscript
    // writing PCL itself.
    const std::string pdf = ScratchDir() + "/text.pdf";
    const std::string a4 = ScratchDir() + "/a4.INI";
    std::string error;
    std::cerr << "making a PDF of " << command.pdf_pages << " pages\n";
    if (!GenerateTextPdf(pdf, command.pdf_pages, &error) ||
        !WriteTextFile(a4, "[SETTING]\nPAPER CODE=9\n")) {
      notes += "- command, PDF: " + (error.empty() ? "cannot write " + a4 : error) + "\n";
    } else {
      for (const auto& [where, path] : outputs) {
        CommandOptions c = command;
        c.output = path;
        rows.push_back(CommandRow("command, " + std::to_string(c.pdf_pages) +
                                      "-page PDF vs gs ljet4, " + where,
                                  RunRenderedCommand(c, pdf, a4), 0.95, &notes, "gs ljet4"));
      }
    }
    if (command.output.empty()) std::filesystem::remove(file);
  }

  rows.push_back(SetupRow("watermark set-up, 600 dpi", timing("watermark/setup600/ours"), &notes));
  rows.push_back(
      SetupRow("watermark set-up, 1200 dpi", timing("watermark/setup1200/ours"), &notes));
  rows.push_back(SetupRow("watermark set-up, 600 dpi, fontconfig",
                          timing("watermark/setup600-fontconfig/ours"), &notes));
  rows.push_back(SetupRow("watermark set-up, 1200 dpi, fontconfig",
                          timing("watermark/setup1200-fontconfig/ours"), &notes));

  rows.erase(
      std::remove_if(rows.begin(), rows.end(), [](const Row& r) { return r.met == kNotRun; }),
      rows.end());
  std::cout << "\n";
  PrintTable(rows);
  std::cout << "\nMachine: " << Machine() << "\n";
  std::cout << "Load average before: " << load_before << "; after: " << LoadAverage() << "\n";
  std::cout << "\nSpread, best .. worst of the repetitions (Google Benchmark cases, CPU time)\n"
               "or of the runs (the command, wall time):\n"
            << notes;
  benchmark::Shutdown();
  for (const Row& r : rows)
    if (r.met == "error") return 1;
  return 0;
}

}  // namespace pclspool::bench

int main(int argc, char** argv) { return pclspool::bench::Main(argc, argv); }
