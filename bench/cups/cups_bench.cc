// The CUPS benchmark: collated copies of a PDF through a pclspool queue,
// against the same job through CUPS's standard chain for a PCL 5 printer,
// where pdftopdf makes the copies in software and Ghostscript renders every
// copy. Both queues live in one private cupsd and print to a file; each job
// is timed from lp to its completion, ours and the baseline's in turn, best
// of n.
//
//   pclspool_cups_bench [--runs=N] [--copies=N] [--pages=N] [--watermark=N]
//
// Needs root (cupsd runs its filters as lp only when started as root) and
// the packages of scripts/install-deps.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/cups/cups_sandbox.h"
#include "support/gpcl6.h"

namespace pclspool::bench {
namespace {

namespace fs = std::filesystem;
using cups_test::CupsSandbox;
using cups_test::JobStatus;

constexpr int kJobCompleted = 9;
constexpr auto kJobTimeout = std::chrono::seconds(600);

struct Options {
  int runs = 3;
  int copies = 10;
  int pages = 20;
  int watermark = 1;  // ours prints with it: the baseline has none to offer
};

bool ParseArgs(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    int* target = nullptr;
    std::string value;
    for (const auto& [name, field] : {std::pair<const char*, int*>{"--runs=", &o->runs},
                                      {"--copies=", &o->copies},
                                      {"--pages=", &o->pages},
                                      {"--watermark=", &o->watermark}}) {
      if (a.rfind(name, 0) == 0) {
        target = field;
        value = a.substr(std::string(name).size());
      }
    }
    if (!target || value.empty()) {
      std::fprintf(stderr, "unknown argument %s\n", a.c_str());
      return false;
    }
    *target = std::atoi(value.c_str());
  }
  return o->runs > 0 && o->copies > 0 && o->copies <= 99 && o->pages > 0;
}

struct Chain {
  const char* name;
  std::string queue;
  std::vector<std::string> options;
  std::vector<double> seconds;
  int sheets = -1;  // printed from its last job, -1 not counted
};

// The sheets gpcl6 prints from a stream (it writes one picture file a
// sheet); -1 when gpcl6 is not there.
int CountSheets(const std::string& stream) {
  const std::string gpcl6 = testing::Gpcl6Path();
  if (gpcl6.empty()) return -1;
  const fs::path dir = stream + ".sheets";
  fs::create_directories(dir);
  const testing::ProgramRun r = testing::RunProgram(
      {.argv = {gpcl6, "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=pbmraw", "-r10",
                "-sOutputFile=" + (dir / "%05d.pbm").string(), stream},
       .time_limit = std::chrono::minutes(10)});
  if (!r.Ok()) return -1;
  const auto files = std::distance(fs::directory_iterator(dir), fs::directory_iterator());
  fs::remove_all(dir);
  return static_cast<int>(files);
}

// One job through a queue: wall seconds from lp to completion, or a
// negative number when it failed.
double TimeJob(const CupsSandbox& cups, const Chain& chain, const std::string& title,
               const std::string& pdf) {
  const auto start = std::chrono::steady_clock::now();
  std::string error;
  const int id = cups.Submit(chain.queue, title, pdf, chain.options, &error);
  if (id < 0) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return -1;
  }
  const JobStatus s = cups.WaitFinished(id, kJobTimeout);
  const double secs =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (s.state != kJobCompleted) {
    std::fprintf(stderr, "%s: job %d ended in state %d: %s\n", chain.name, id, s.state,
                 s.message.c_str());
    return -1;
  }
  return secs;
}

int Run(const Options& o) {
  if (::geteuid() != 0) {
    std::fprintf(stderr,
                 "pclspool_cups_bench: run it as root: only a cupsd started as root "
                 "runs its filters as lp\n");
    return 2;
  }
  CupsSandbox cups;
  std::string error;
  const cups_test::SandboxFiles files = {PCLSPOOL_FILTER, PCLSPOOL_PPD, PCLSPOOL_TYPES,
                                         PCLSPOOL_INI};
  if (!cups.Start(files, &error) || !cups.AddFilter(PCLSPOOL_BASELINE_FILTER, &error) ||
      !cups.AddQueue("copier", "file://" + cups.dir() + "/copier.prn", &error) ||
      !cups.AddQueue("baseline", "file://" + cups.dir() + "/baseline.prn", &error,
                     PCLSPOOL_BASELINE_PPD)) {
    std::fprintf(stderr, "pclspool_cups_bench: %s\n", error.c_str());
    return 1;
  }
  const std::string pdf = cups.dir() + "/report.pdf";
  const testing::ProgramRun gs = testing::RunProgram(
      {.argv = {"gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=pdfwrite",
                "-dPAGES=" + std::to_string(o.pages), "-sOutputFile=" + pdf, PCLSPOOL_REPORT}});
  if (!gs.Ok()) {
    std::fprintf(stderr, "%s\n", gs.Describe("gs").c_str());
    return 1;
  }

  const std::vector<std::string> copies = {"-n" + std::to_string(o.copies), "collate=true"};
  Chain ours{"pclspool queue", "copier", copies, {}};
  if (o.watermark > 0) ours.options.push_back("Watermark=" + std::to_string(o.watermark));
  Chain baseline{"pdftopdf + Ghostscript ljet4", "baseline", copies, {}};
  for (int run = 0; run < o.runs; ++run) {
    for (Chain* c : {&ours, &baseline}) {
      const double s = TimeJob(cups, *c, c->queue + "-" + std::to_string(run), pdf);
      if (s < 0) return 1;
      c->seconds.push_back(s);
    }
  }
  // What the last jobs printed, counted on paper.
  for (Chain* c : {&ours, &baseline}) c->sheets = CountSheets(cups.dir() + "/" + c->queue + ".prn");

  const double best_ours = *std::min_element(ours.seconds.begin(), ours.seconds.end());
  const double best_base = *std::min_element(baseline.seconds.begin(), baseline.seconds.end());
  std::printf("%d collated copies of a %d-page PDF (%s), through the queue, best of %d:\n\n",
              o.copies, o.pages, o.watermark > 0 ? "ours with a watermark" : "no watermark",
              o.runs);
  std::printf("| chain                        | best     | worst    | sheets |\n");
  std::printf("|------------------------------|----------|----------|--------|\n");
  for (const Chain* c : {&ours, &baseline}) {
    std::printf("| %-28s | %6.2f s | %6.2f s | %6d |\n", c->name,
                *std::min_element(c->seconds.begin(), c->seconds.end()),
                *std::max_element(c->seconds.begin(), c->seconds.end()), c->sheets);
  }
  const double ratio = best_base / best_ours;
  std::printf("\nratio (baseline / ours): %.2f, goal >= 3.00: %s\n", ratio,
              ratio >= 3.0 ? "met" : "NOT met");
  const int want = o.copies * o.pages;
  if ((ours.sheets >= 0 && ours.sheets != want) ||
      (baseline.sheets >= 0 && baseline.sheets != want)) {
    std::printf("sheets differ from the %d expected\n", want);
    return 1;
  }
  return 0;
}

}  // namespace
}  // namespace pclspool::bench

int main(int argc, char** argv) {
  pclspool::bench::Options o;
  if (!pclspool::bench::ParseArgs(argc, argv, &o)) {
    std::fprintf(stderr,
                 "usage: pclspool_cups_bench [--runs=N] [--copies=1..99] [--pages=N] "
                 "[--watermark=N]\n");
    return 2;
  }
  return pclspool::bench::Run(o);
}
