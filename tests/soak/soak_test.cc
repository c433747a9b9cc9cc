// The soak: for PCLSPOOL_SOAK_SECONDS (default ten minutes), jobs of every
// kind through the command and through the printer application at once,
// some left to finish, some cancelled at a random moment (SIGTERM to the
// command, Cancel-Job to the app), some killed (SIGKILL to the command or
// to the app's job process). Every job that finishes must print exactly
// what the same job printed alone before the soak; afterwards no process,
// page file or temporary file may be left, and the server's memory and
// descriptors must be where they were. The figures are printed at the end.
// ctest runs it only as `ctest -C soak -L soak` (scripts/soak).
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "app_fixture.h"
#include "documents.h"
#include "support/child_process.h"
#include "support/test_files.h"

namespace pclspool::apptest {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kDefaultSeconds = 600;
// The server may keep a little more after the soak than after the warm-up
// (PAPPL's job history fills up to its limit, the allocator's arenas);
// a leak per job would pass this within minutes.
constexpr long kMaxRssGrowthKib = 8 * 1024;

struct JobKind {
  std::string name;
  fs::path document;
  std::string format;
  std::vector<std::string> command;  // pclspool print's options
  std::vector<std::string> ipp;      // ipptool ATTR lines
};

// What a job printed alone: the command's status or the app job's state,
// and the printer stream.
struct Reference {
  std::string end;
  std::string bytes;
};

enum class Fate { kFinish, kCancel, kKill };
const char* FateName(Fate f) { return f == Fate::kFinish ? "left" : f == Fate::kCancel ? "cancelled" : "killed"; }

// The processes of a process group still there.
std::vector<pid_t> GroupMembers(pid_t group) {
  std::vector<pid_t> found;
  for (const fs::directory_entry& e : fs::directory_iterator("/proc")) {
    if (e.path().filename().string().find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string stat = testing::ReadFile(e.path() / "stat");
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    int parent = 0, pgrp = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %c %d %d", &state, &parent, &pgrp) == 3 &&
        pgrp == group && state != 'Z') {
      found.push_back(std::atoi(e.path().filename().c_str()));
    }
  }
  return found;
}

// The names under `dir`, a blank before each.
std::string Listing(const fs::path& dir) {
  std::string names;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    names += " " + it->path().lexically_relative(dir).string();
  }
  return names;
}
std::size_t Entries(const fs::path& dir) {
  const std::string names = Listing(dir);
  return static_cast<std::size_t>(std::count(names.begin(), names.end(), ' '));
}

std::size_t OpenDescriptors(pid_t pid) { return Entries("/proc/" + std::to_string(pid) + "/fd"); }

// What the process's descriptors are open on, for a message.
std::string DescriptorTargets(pid_t pid) {
  std::string targets;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
    targets += " " + e.path().filename().string() + "->" + fs::read_symlink(e.path(), ec).string();
  }
  return targets;
}

class SoakTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    std::string error;
    ASSERT_TRUE(server_.AddPrinter("second", {}, &error)) << error;
  }

  std::vector<JobKind> Kinds() {
    const DocumentFile pdf = Document(Kind::kPdf, 4), ps = Document(Kind::kPostScript, 3),
                       pcl = Document(Kind::kPcl, 3);
    for (const DocumentFile* d : {&pdf, &ps, &pcl}) EXPECT_EQ(d->error, "");
    // Cut short: a PDF without its cross-reference table and its last
    // pages, a PostScript program in the middle of its second page.
    const auto cut = [&](const DocumentFile& d, double part, const char* name) {
      const std::string bytes = Read(d.path);
      const fs::path p = dir_.path() / name;
      std::ofstream(p, std::ios::binary) << bytes.substr(0, static_cast<std::size_t>(bytes.size() * part));
      return p;
    };
    return {
        {"plain-pdf", pdf.path, pdf.format, {}, {}},
        {"collated", pdf.path, pdf.format, {"--set", "FINISHER UNIT=1", "--set", "GROUPSORT=1", "--set", "COPIES=2"},
         {"integer copies 2"}},
        {"booklet", pdf.path, pdf.format, {"--set", "PAPER CODE=1033"}, {"keyword booklet left"}},
        {"two-up", pdf.path, pdf.format, {"--set", "TWOupFOUR=1"}, {"integer number-up 2"}},
        {"four-up-watermark", pdf.path, pdf.format, {"--set", "TWOupFOUR=2", "--watermark", "1"},
         {"integer number-up 4", "keyword watermark confidential"}},
        {"postscript", ps.path, ps.format, {}, {}},
        {"pcl-watermark", pcl.path, pcl.format, {"--watermark", "2"}, {"keyword watermark draft"}},
        {"damaged-pdf", cut(pdf, 0.6, "damaged.pdf"), pdf.format, {}, {}},
        {"damaged-ps", cut(ps, 0.5, "damaged.ps"), ps.format, {}, {}},
    };
  }

  // The command's job: its output file and private TMPDIR under `dir`.
  testing::Program Command(const JobKind& k, const fs::path& dir) const {
    fs::create_directories(dir / "tmp");
    std::vector<std::string> argv = {PCLSPOOL_CLI_PATH, "print", "--ini", ini_.string()};
    argv.insert(argv.end(), k.command.begin(), k.command.end());
    argv.insert(argv.end(), {k.document.string(), "-o", (dir / "out.prn").string()});
    return {.argv = argv, .env = {"TMPDIR=" + (dir / "tmp").string()}, .err = testing::Output::File("/dev/null"),
            .time_limit = 5min};
  }

  void Note(const std::string& road, const std::string& kind, const std::string& outcome) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++counts_[road + " " + kind + " " + outcome];
  }
  void Fault(const std::string& what) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.push_back(what);
  }

  // One command job to its end, as its fate says.
  void CommandJob(const JobKind& k, const Reference& ref, Fate fate, std::chrono::milliseconds when,
                  const fs::path& dir) {
    testing::ChildProcess child(Command(k, dir));
    if (fate != Fate::kFinish) {
      std::this_thread::sleep_for(when);
      child.Signal(fate == Fate::kCancel ? SIGTERM : SIGKILL);
    }
    const pid_t group = child.pid();
    const testing::ProgramRun run = child.Wait(5min);
    const std::string end = std::to_string(run.status);
    std::string outcome = run.status == 128 + SIGTERM ? "cancelled" : run.status == 128 + SIGKILL ? "killed" : "status " + end;
    if (outcome.rfind("status", 0) == 0 && (end != ref.end || Read(dir / "out.prn") != ref.bytes)) {
      Fault("command " + k.name + ": status " + end + " (alone: " + ref.end + "), output differs: " +
            std::to_string(Read(dir / "out.prn") != ref.bytes));
    }
    // Ghostscript, on a pipe whose reader was killed, ends at its next write.
    for (int i = 0; i < 100 && !GroupMembers(group).empty(); ++i) std::this_thread::sleep_for(100ms);
    if (!GroupMembers(group).empty()) Fault("command " + k.name + " " + outcome + ": processes left");
    const std::size_t left = Entries(dir / "tmp");
    if (left > 0 && outcome != "killed") Fault("command " + k.name + " " + outcome + ": temporary files left");
    if (left > 0) {
      std::lock_guard<std::mutex> lock(mutex_);
      killed_leftovers_ += left;
    }
    Note("command", k.name, outcome);
    fs::remove_all(dir);
  }

  // One app job to its end, as its fate says.
  void AppJob(const JobKind& k, const Reference& ref, Fate fate, std::chrono::milliseconds when,
              const std::string& printer, const std::string& name) {
    const IppJobResult r = SubmitJob(server_.PrinterUri(printer), {name, k.document, k.format, k.ipp, false},
                                     dir_.path());
    if (r.job_id <= 0) {
      Fault("app " + k.name + ": not accepted: " + r.output);
      return;
    }
    if (fate != Fate::kFinish) {
      std::this_thread::sleep_for(when);
      if (fate == Fate::kCancel) {
        CancelJob(printer, r.job_id);
      } else if (const pid_t p = server_.JobProcess(printer == "copier" ? 1 : 2, r.job_id); p > 0) {
        ::kill(p, SIGKILL);
      }
    }
    auto job = WaitForJob(server_.PrinterUri(printer), r.job_id, dir_.path());
    const std::string state = job["job-state"];
    const fs::path out = Output(name, printer);
    if ((fate == Fate::kFinish || state == "completed") && (state != ref.end || Read(out) != ref.bytes)) {
      Fault("app " + k.name + " " + FateName(fate) + ": " + state + " (alone: " + ref.end +
            "), output differs: " + std::to_string(Read(out) != ref.bytes) + ": " +
            job["job-state-message"]);
    }
    Note("app", k.name, std::string(FateName(fate)) + ", " + state);
    std::error_code ec;
    fs::remove(out, ec);
  }

  std::mutex mutex_;
  std::map<std::string, int> counts_;
  std::vector<std::string> faults_;
  std::size_t killed_leftovers_ = 0;
};

TEST_F(SoakTest, JobsOfEveryKindCancelledAndKilledLeaveNothingBehind) {
  const char* env = std::getenv("PCLSPOOL_SOAK_SECONDS");
  const int seconds = env && std::atoi(env) > 0 ? std::atoi(env) : kDefaultSeconds;
  const char* seed_env = std::getenv("PCLSPOOL_SOAK_SEED");
  const unsigned seed = seed_env ? static_cast<unsigned>(std::atol(seed_env))
                                 : static_cast<unsigned>(std::random_device{}());
  const std::vector<JobKind> kinds = Kinds();

  // Each kind alone, on each road: the references, and the server's warm-up.
  std::map<std::string, Reference> command_ref, app_ref;
  for (const JobKind& k : kinds) {
    const fs::path d = dir_.path() / ("alone-" + k.name);
    const testing::ProgramRun run = testing::RunProgram(Command(k, d));
    command_ref[k.name] = {std::to_string(run.status), Read(d / "out.prn")};
    EXPECT_TRUE(fs::is_empty(d / "tmp")) << k.name;
    fs::remove_all(d);
    const IppJobResult r = Print({"alone-" + k.name, k.document, k.format, k.ipp, true});
    app_ref[k.name] = {r.state, Read(Output("alone-" + k.name))};
    EXPECT_FALSE(app_ref[k.name].bytes.empty() && r.state == "completed") << k.name;
  }
  EXPECT_EQ(command_ref["plain-pdf"].end, "0");
  EXPECT_EQ(app_ref["plain-pdf"].end, "completed");
  const long rss_before = server_.ResidentKib();
  const std::size_t fds_before = OpenDescriptors(server_.pid());
  const std::size_t spool_before = Entries(server_.state_dir() / "spool");

  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  std::atomic<int> serial{0};
  const auto worker = [&](int road, unsigned worker_seed) {
    std::mt19937 random(worker_seed);
    while (std::chrono::steady_clock::now() < until) {
      const JobKind& k = kinds[random() % kinds.size()];
      const unsigned f = random() % 10;
      const Fate fate = f < 6 ? Fate::kFinish : f < 8 ? Fate::kCancel : Fate::kKill;
      const auto when = std::chrono::milliseconds(random() % 3000);
      const int n = serial++;
      if (road == 0) {
        CommandJob(k, command_ref[k.name], fate, when, dir_.path() / ("job-" + std::to_string(n)));
      } else {
        AppJob(k, app_ref[k.name], fate, when, road == 1 ? "copier" : "second",
               "soak-" + std::to_string(n));
      }
    }
  };
  std::vector<std::thread> threads;
  for (int road = 0; road < 3; ++road) threads.emplace_back(worker, road, seed + static_cast<unsigned>(road));
  for (std::thread& t : threads) t.join();

  // Every job has ended: nothing of theirs is left.
  for (int i = 0; i < 100 && !server_.JobProcesses().empty(); ++i) std::this_thread::sleep_for(100ms);
  // A connection of the last requests may still be closing.
  for (int i = 0; i < 50 && OpenDescriptors(server_.pid()) > fds_before; ++i) {
    std::this_thread::sleep_for(100ms);
  }
  const long rss_after = server_.ResidentKib();
  const std::size_t fds_after = OpenDescriptors(server_.pid());
  const std::size_t spool_after = Entries(server_.state_dir() / "spool");
  std::printf("soak: %d s, seed %u\n", seconds, seed);
  int total = 0;
  for (const auto& [what, n] : counts_) {
    std::printf("  %-60s %5d\n", what.c_str(), n);
    total += n;
  }
  std::printf("  jobs: %d\n", total);
  std::printf("  app server: resident %ld KiB before, %ld KiB after; descriptors %zu before, %zu after\n",
              rss_before, rss_after, fds_before, fds_after);
  std::printf("  app: spool entries %zu before, %zu after; job directories %zu, temporary files %zu\n",
              spool_before, spool_after, Entries(server_.state_dir() / "jobs"), Entries(server_.temp_dir()));
  std::printf("  command: files left in the TMPDIR of killed commands: %zu\n", killed_leftovers_);
  std::fflush(stdout);
  for (const std::string& f : faults_) ADD_FAILURE() << f;
  EXPECT_TRUE(server_.JobProcesses().empty());
  EXPECT_EQ(Listing(server_.state_dir() / "jobs"), "");
  EXPECT_EQ(Listing(server_.temp_dir()), "");
  EXPECT_LE(fds_after, fds_before) << DescriptorTargets(server_.pid());
  EXPECT_LT(rss_after - rss_before, kMaxRssGrowthKib);
  EXPECT_GT(total, 0);
}

}  // namespace
}  // namespace pclspool::apptest
