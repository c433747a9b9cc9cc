// Jobs printing at once on several printers, as a spooler prints them: the
// hooks of different jobs interleave, hook by hook or on threads of their
// own, and every job's output must be what the same job gives alone.
//
// These tests drive the POSIX platform itself (the fakes are not made for
// threads): printers are temporary files, page files go to a scratch
// system directory, the text services render the test font. Only the
// settings file is per job: [SETTING] makes a job a booklet or a collated
// one, so jobs of different kinds need files of their own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "job/job_context.h"
#include "pclspool/pclspool.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/posix_profile.h"
#include "host/host.h"
#include "support/fakes/fake_platform.h"
#include "support/scratch_dir.h"
#include "support/test_files.h"

namespace pclspool {
namespace {

namespace fs = std::filesystem;

using testing::Count;

// The watermark texts every job's settings file offers, small enough that
// a set-up renders quickly, and each unlike the others: rotations both
// ways and none, centred and offset.
constexpr char kWatermarkSections[] =
    "[StringSummary]\n"
    "CONFIDENTIAL=1\n"
    "DRAFT=1\n"
    "COPY 7=1\n"
    "\n"
    "[CONFIDENTIAL]\n"
    "FaceName=Arial\nHeight=-20\nWidth=0\nEscapement=450\nOrientation=450\n"
    "Weight=700\nDark=2\nCenterToPage=1\n"
    "\n"
    "[DRAFT]\n"
    "FaceName=Arial\nHeight=-26\nWidth=0\nEscapement=0\nWeight=400\nDark=0\n"
    "CenterToPage=0\nXOffset=3\nYOffset=-5\n"
    "\n"
    "[COPY 7]\n"
    "FaceName=Arial\nHeight=-16\nWidth=0\nEscapement=-300\nWeight=400\nDark=9\n"
    "CenterToPage=1\n";

struct JobKind {
  const char* name;
  const char* settings;  // the [SETTING] section's lines
  uint16_t watermark;    // 1-based text of [StringSummary]
  int pages;
};

// Jobs that exercise the watermark set-up differently: once per job
// straight to the printer, once per job into page files replayed per copy,
// once per page.
const JobKind kJobs[] = {
    {"plain one-up", "PAPER CODE=9\nXDIMENSION=4960\nYDIMENSION=7014\n", 1, 3},
    {"collated two-up",
     "PAPER CODE=9\nXDIMENSION=4960\nYDIMENSION=7014\nFINISHER UNIT=1\nGROUPSORT=1\nCOPIES=2\n"
     "TWOupFOUR=1\n",
     2, 5},
    {"booklet", "PAPER CODE=1033\nXDIMENSION=4960\nYDIMENSION=7014\n", 3, 6},
    {"collated landscape four-up zoomed",
     "ORIENTATION=2\nPAPER CODE=12\nXDIMENSION=6070\nYDIMENSION=8598\nTWOupFOUR=2\n"
     "ZOOM INDEX=2\nFINISHER UNIT=1\nGROUPSORT=1\nCOPIES=3\n",
     1, 4},
};
constexpr std::size_t kJobCount = std::size(kJobs);

// Sends the profile calls of each thread to the settings file of the job
// that thread is printing.
class JobProfiles final : public platform::Profile {
 public:
  static inline thread_local posix::PosixProfile* current = nullptr;

  UINT GetPrivateProfileIntW(const WCHAR* section, const WCHAR* key, int def,
                             const WCHAR* file) override {
    return current->GetPrivateProfileIntW(section, key, def, file);
  }
  DWORD GetPrivateProfileStringW(const WCHAR* section, const WCHAR* key, const WCHAR* def,
                                 WCHAR* buf, DWORD size, const WCHAR* file) override {
    return current->GetPrivateProfileStringW(section, key, def, buf, size, file);
  }
};

std::string PageBytes(const JobKind& kind, int page) {
  // Distinct per job and page, of varying length.
  std::string bytes = "\x1B*p300x400Y" + std::string(kind.name) + " page " + std::to_string(page);
  bytes += std::string(200 + 97 * page, static_cast<char>('a' + page));
  return bytes;
}

// One job on its printer, played one hook call at a time.
class JobPlayer {
 public:
  JobPlayer(const JobKind& kind, HANDLE printer, posix::PosixProfile& profile)
      : kind_(kind), printer_(printer), profile_(profile) {}

  // The job's handle once DrvSplStartDoc has returned it.
  void* job() const { return job_; }
  // Whether the next call is DrvSplClose.
  bool Closing() const { return next_ == Next::kClose; }

  // Makes the next hook call; false once the job is closed.
  bool Step() {
    JobProfiles::current = &profile_;
    switch (next_) {
      case Next::kStartDoc:
        job_ = DrvSplStartDoc(printer_, 11);
        next_ = Next::kStartPage;
        break;
      case Next::kStartPage:
        ++page_;
        DrvSplStartPage(job_);
        next_ = Next::kWriteHead;
        break;
      case Next::kWriteHead:
      case Next::kWriteTail: {
        // Each page in two buffers: one more place for another job to
        // come in between.
        const std::string bytes = PageBytes(kind_, page_);
        const std::size_t half = bytes.size() / 2;
        std::string part = next_ == Next::kWriteHead ? bytes.substr(0, half) : bytes.substr(half);
        DrvSplWritePrinter(job_, part.data(), static_cast<DWORD>(part.size()), nullptr);
        next_ = next_ == Next::kWriteHead ? Next::kWriteTail : Next::kEndPage;
        break;
      }
      case Next::kEndPage:
        DrvSplEndPage(job_);
        next_ = page_ < kind_.pages ? Next::kStartPage : Next::kEndDoc;
        break;
      case Next::kEndDoc:
        DrvSplEndDoc(job_);
        next_ = Next::kClose;
        break;
      case Next::kClose:
        DrvSplClose(job_);
        next_ = Next::kDone;
        break;
      case Next::kDone: return false;
    }
    return true;
  }

 private:
  enum class Next {
    kStartDoc,
    kStartPage,
    kWriteHead,
    kWriteTail,
    kEndPage,
    kEndDoc,
    kClose,
    kDone,
  };
  const JobKind& kind_;
  HANDLE printer_;
  posix::PosixProfile& profile_;
  Next next_ = Next::kStartDoc;
  void* job_ = nullptr;
  int page_ = 0;
};

class ConcurrentJobs : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_ / "system");

    posix::PosixPlatform& px = posix::Posix();
    px.files.SetSystemDirectory((dir_ / "system").string());
    px.text.MapFace(u"Arial", std::string(PCLSPOOL_TEST_DATA) + "/LiberationSans-Regular.ttf");
    for (std::size_t i = 0; i < kJobCount; ++i) {
      const fs::path ini = dir_ / ("job" + std::to_string(i) + ".ini");
      std::ofstream(ini) << "[SETTING]\n" << kJobs[i].settings << "\n" << kWatermarkSections;
      profiles_[i].SetFilePath(ini.string());

      const std::string out = (dir_ / ("printer" + std::to_string(i))).string();
      fds_[i] = ::open(out.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
      ASSERT_GE(fds_[i], 0);
      posix::PrinterSetup setup = host::DriverPrinter();
      setup.fd = fds_[i];
      const std::size_t at = sizeof(DEVMODEW) + extra::kWaterIdx;
      setup.job_devmode[at] = static_cast<uint8_t>(kJobs[i].watermark);
      px.spooler.AddPrinter(Printer(i), setup);
    }
    services_ = px.services;
    services_.profile = &profiles_router_;
    platform::Install(&services_);
  }

  void TearDown() override {
    platform::Install(nullptr);
    posix::PosixPlatform& px = posix::Posix();
    for (std::size_t i = 0; i < kJobCount; ++i) {
      px.spooler.RemovePrinter(Printer(i));
      if (fds_[i] >= 0) ::close(fds_[i]);
    }
    px.files.SetSystemDirectory("/tmp");
  }

  // Different printers, so that the jobs' page files have different names.
  static HANDLE Printer(std::size_t i) { return reinterpret_cast<HANDLE>(uintptr_t{0x5a0} + i); }

  JobPlayer Player(std::size_t i) { return JobPlayer(kJobs[i], Printer(i), profiles_[i]); }

  // What printer i received since the last call; the printer starts again
  // empty.
  std::string TakeOutput(std::size_t i) {
    std::string bytes;
    char buf[8192];
    for (off_t at = 0;;) {
      const ssize_t n = ::pread(fds_[i], buf, sizeof(buf), at);
      if (n <= 0) break;
      bytes.append(buf, static_cast<std::size_t>(n));
      at += n;
    }
    EXPECT_EQ(::ftruncate(fds_[i], 0), 0);
    EXPECT_EQ(::lseek(fds_[i], 0, SEEK_SET), 0);
    return bytes;
  }

  // Every job printed alone, one after the other.
  std::vector<std::string> AloneOutputs() {
    std::vector<std::string> outputs;
    for (std::size_t i = 0; i < kJobCount; ++i) {
      JobPlayer player = Player(i);
      while (player.Step()) {
      }
      outputs.push_back(TakeOutput(i));
    }
    return outputs;
  }

  bool SpoolDirectoryEmpty() const { return fs::is_empty(dir_ / "system"); }

  testing::ScratchDir dir_{"concurrent"};
  posix::PosixProfile profiles_[kJobCount];
  JobProfiles profiles_router_;
  int fds_[kJobCount] = {-1, -1, -1, -1};
  platform::Platform services_{};
};

// The outputs alone are what the comparisons below rely on: each job is
// watermarked and differs from the others.
TEST_F(ConcurrentJobs, JobsAloneAreWatermarkedAndDistinct) {
  const std::vector<std::string> alone = AloneOutputs();
  const std::string kDescriptor = "\x1B)s68W";
  for (std::size_t i = 0; i < kJobCount; ++i) {
    SCOPED_TRACE(kJobs[i].name);
    EXPECT_NE(alone[i].find(kDescriptor), std::string::npos);
    EXPECT_NE(alone[i].find("LB"), std::string::npos);
    for (std::size_t j = 0; j < i; ++j) EXPECT_NE(alone[i], alone[j]);
  }
  // Twice alone gives the same bytes: the set-up depends on nothing left
  // behind by the job before.
  EXPECT_TRUE(AloneOutputs() == alone);
  EXPECT_TRUE(SpoolDirectoryEmpty());
}

// Hook by hook on one thread, in fixed orders: the watermark state that a
// job set up is replaced by the others' between its pages.
TEST_F(ConcurrentJobs, InterleavedHookByHookEveryJobAsAlone) {
  const std::vector<std::string> alone = AloneOutputs();
  const struct {
    const char* name;
    std::vector<std::size_t> jobs;
    std::vector<int> turn;  // hook calls per turn, per job
  } schedules[] = {
      {"two jobs, one hook each in turn", {1, 2}, {1, 1}},
      {"four jobs, one hook each in turn", {0, 1, 2, 3}, {1, 1, 1, 1}},
      {"four jobs, uneven turns", {3, 0, 2, 1}, {1, 2, 3, 5}},
      {"a page of one job inside each page of another", {0, 1}, {5, 1}},
  };
  for (const auto& s : schedules) {
    SCOPED_TRACE(s.name);
    std::vector<JobPlayer> players;
    for (std::size_t i : s.jobs) players.push_back(Player(i));
    for (bool any = true; any;) {
      any = false;
      for (std::size_t k = 0; k < players.size(); ++k) {
        for (int n = 0; n < s.turn[k]; ++n) any = players[k].Step() || any;
      }
    }
    for (std::size_t i : s.jobs) {
      SCOPED_TRACE(kJobs[i].name);
      EXPECT_TRUE(TakeOutput(i) == alone[i]);
    }
    EXPECT_TRUE(SpoolDirectoryEmpty());
  }
}

// A job keeps the watermark of its first page to its end, whatever
// another job prints in between and however the definition is edited
// meanwhile: each job's watermark state is its own.
TEST_F(ConcurrentJobs, DefinitionEditedBetweenPages) {
  const std::string kDescriptor = "\x1B)s68W";
  const struct {
    const char* name;
    bool other_job_between;
    bool edit;
  } cases[] = {
      {"alone, not edited", false, false},
      {"alone, edited", false, true},
      {"another job in between, not edited", true, false},
      {"another job in between, edited", true, true},
  };
  std::string first_output;
  const fs::path ini = dir_ / "job0.ini";
  const std::string original = [&] {
    std::ifstream in(ini, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::ofstream(ini, std::ios::binary) << original;
    JobPlayer plain = Player(0);  // CONFIDENTIAL, one set-up per job
    JobPlayer other = Player(2);
    for (int i = 0; i < 5; ++i) plain.Step();  // through the first DrvSplEndPage
    if (c.other_job_between) {
      for (int i = 0; i < 5; ++i) other.Step();
    }
    if (c.edit) {
      std::string edited = original;
      const std::string from = "Height=-20\nWidth=0\nEscapement=450";
      ASSERT_NE(edited.find(from), std::string::npos);
      edited.replace(edited.find(from), from.size(), "Height=-30\nWidth=0\nEscapement=900");
      std::ofstream(ini, std::ios::binary) << edited;
    }
    while (plain.Step()) {
    }
    while (other.Step()) {
    }
    std::ofstream(ini, std::ios::binary) << original;
    const std::string out = TakeOutput(0);
    TakeOutput(2);
    EXPECT_EQ(Count(out, kDescriptor), 1u);
    if (first_output.empty()) first_output = out;
    EXPECT_TRUE(out == first_output);
  }
}

class ConcurrentThreads : public ConcurrentJobs,
                          public ::testing::WithParamInterface<std::vector<std::size_t>> {};

// Each job on a thread of its own, all started together, many times over;
// one more thread aborts every job while it prints, which changes nothing.
TEST_P(ConcurrentThreads, EveryJobAsAlone) {
  const std::vector<std::string> alone = AloneOutputs();
  const std::vector<std::size_t>& jobs = GetParam();
  constexpr int kRounds = 25;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<JobPlayer> players;
    for (std::size_t i : jobs) players.push_back(Player(i));
    std::vector<std::atomic<void*>> started(players.size());
    std::vector<std::atomic<bool>> aborted(players.size());
    std::barrier start(static_cast<std::ptrdiff_t>(players.size()));
    std::vector<std::thread> threads;
    for (std::size_t k = 0; k < players.size(); ++k) {
      threads.emplace_back([&, k] {
        start.arrive_and_wait();
        for (JobPlayer& player = players[k];;) {
          // The abort must come before the context is freed.
          while (player.Closing() && !aborted[k].load()) std::this_thread::yield();
          if (!player.Step()) break;
          started[k].store(player.job());
          std::this_thread::yield();
        }
      });
    }
    threads.emplace_back([&] {
      for (std::size_t k = 0; k < players.size(); ++k) {
        void* job = nullptr;
        while (!(job = started[k].load())) std::this_thread::yield();
        DrvSplAbort(job);
        aborted[k].store(true);
      }
    });
    for (std::thread& t : threads) t.join();
    bool same = true;
    for (std::size_t i : jobs) {
      const bool ok = TakeOutput(i) == alone[i];
      EXPECT_TRUE(ok) << kJobs[i].name << ", round " << round;
      same = same && ok;
    }
    ASSERT_TRUE(same);  // one round's report is enough
  }
  EXPECT_TRUE(SpoolDirectoryEmpty());
}

// A printer that takes no bytes until released: a write to it waits inside
// WritePrinter, as on a printer that is out of paper.
class StuckSpooler final : public platform::Spooler {
 public:
  StuckSpooler(platform::Spooler& real, HANDLE stuck) : real_(real), stuck_(stuck) {}

  void WaitUntilAWriteWaits() { waiting_.wait(false); }
  void Release() {
    stuck_open_.store(true);
    stuck_open_.notify_all();
  }

  BOOL WritePrinter(HANDLE printer, const void* bytes, DWORD count,
                    DWORD* written) noexcept override {
    if (printer == stuck_) {
      waiting_.store(true);
      waiting_.notify_all();
      stuck_open_.wait(false);
    }
    return real_.WritePrinter(printer, bytes, count, written);
  }
  BOOL GetPrinterW(HANDLE printer, BYTE* buf, DWORD cb, DWORD* needed) override {
    return real_.GetPrinterW(printer, buf, cb, needed);
  }
  BOOL GetJobW(HANDLE printer, DWORD job_id, BYTE* buf, DWORD cb, DWORD* needed) override {
    return real_.GetJobW(printer, job_id, buf, cb, needed);
  }

 private:
  platform::Spooler& real_;
  HANDLE stuck_;
  std::atomic<bool> waiting_{false};
  std::atomic<bool> stuck_open_{false};
};

// A job whose printer does not take its page holds up no other job: the
// page's bytes go out without the module lock.
TEST_F(ConcurrentJobs, AStuckPrinterHoldsUpNoOtherJob) {
  const std::vector<std::string> alone = AloneOutputs();
  StuckSpooler spooler(*services_.spooler, Printer(0));
  platform::Platform services = services_;
  services.spooler = &spooler;
  platform::Install(&services);

  std::thread stuck_job([&] {
    JobPlayer player = Player(0);
    while (player.Step()) {
    }
  });
  spooler.WaitUntilAWriteWaits();
  auto other = std::async(std::launch::async, [&] {
    JobPlayer player = Player(2);
    while (player.Step()) {
    }
  });
  // Long enough for a loaded machine; with the printer holding the module
  // lock the job would not end at all.
  const bool ended = other.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
  spooler.Release();
  stuck_job.join();
  other.wait();
  platform::Install(&services_);

  EXPECT_TRUE(ended) << "the booklet waited for the stuck printer";
  EXPECT_TRUE(TakeOutput(0) == alone[0]);
  EXPECT_TRUE(TakeOutput(2) == alone[2]);
  EXPECT_TRUE(SpoolDirectoryEmpty());
}

INSTANTIATE_TEST_SUITE_P(, ConcurrentThreads,
                         ::testing::Values(std::vector<std::size_t>{1, 2},
                                           std::vector<std::size_t>{0, 3},
                                           std::vector<std::size_t>{0, 1, 2, 3}),
                         [](const auto& info) {
                           return std::to_string(info.param.size()) + "Threads" +
                                  std::to_string(info.index);
                         });

// Every hook takes the module lock once and gives it back, on every path;
// DllMain and DrvSplAbort, which touch nothing module-level, take none, and
// DrvSplWritePrinter takes it only to trace the settings.
extern "C" BOOL DllMain(void* module, DWORD reason, void* reserved);

TEST(ConcurrentModuleLock, EveryHookTakesItOnce) {
  testing::FakePlatform fp;
  const HANDLE printer = reinterpret_cast<HANDLE>(uintptr_t{0x31});
  fp.AddPrinter(printer);
  static void* job = nullptr;
  static char bytes[] = "page";
  static char enter_pcl[] = "@PJL ENTER LANGUAGE=PCL\n";
  const struct {
    const char* name;
    void (*call)();
    int locks;
  } cases[] = {
      {"DrvSplStartDoc", [] { job = DrvSplStartDoc(reinterpret_cast<HANDLE>(0x31), 1); }, 1},
      {"DrvSplStartPage", [] { DrvSplStartPage(job); }, 1},
      {"DrvSplWritePrinter", [] { DrvSplWritePrinter(job, bytes, 4, nullptr); }, 0},
      {"DrvSplWritePrinter of the line that enters PCL",
       [] { DrvSplWritePrinter(job, enter_pcl, sizeof(enter_pcl) - 1, nullptr); }, 1},
      {"DrvSplEndPage", [] { DrvSplEndPage(job); }, 1},
      {"DrvSplAbort", [] { DrvSplAbort(job); }, 0},
      {"DrvSplEndDoc", [] { DrvSplEndDoc(job); }, 1},
      {"DrvSplClose", [] { DrvSplClose(job); }, 1},
      {"DrvSplWritePrinter without a job",
       [] { DrvSplWritePrinter(nullptr, bytes, 4, nullptr); }, 0},
      {"DrvSplEndPage without a job", [] { DrvSplEndPage(nullptr); }, 1},
      {"DrvSplClose without a job", [] { DrvSplClose(nullptr); }, 1},
      {"DllMain", [] { DllMain(nullptr, DLL_PROCESS_ATTACH, nullptr); }, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int before = fp.module.locks;
    c.call();
    EXPECT_EQ(fp.module.locks - before, c.locks);
    EXPECT_EQ(fp.module.held, 0);
  }
  // A job that cannot be allocated gives the lock back too.
  fp.heap.fail_after = 0;
  const int before = fp.module.locks;
  EXPECT_EQ(DrvSplStartDoc(printer, 2), nullptr);
  EXPECT_EQ(fp.module.locks - before, 1);
  EXPECT_EQ(fp.module.held, 0);
  EXPECT_FALSE(fp.module.nested);
}

}  // namespace
}  // namespace pclspool
