// Jobs as clients and administrators meet them: a Cancel-Job right after
// the Print-Job ends the job canceled; a raster job sent while another
// prints waits its turn; the sub-commands reach printers added since the
// server started, and `drivers`, which makes a system of its own, leaves
// a running server's files alone. (What a finished job says, the client
// replays check.)
#include <gtest/gtest.h>

#include "app_fixture.h"
#include "documents.h"
#include "fake_printer.h"

namespace pclspool::apptest {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class JobsTest : public AppTest {
 protected:
  std::string State(const std::string& printer, int job) {
    return WaitForJob(server_.PrinterUri(printer), job, dir_.path()).at("job-state");
  }
};

TEST_F(JobsTest, ACancelRightAfterThePrintJobEndsTheJobCanceled) {
  // When the cancel came as PAPPL started the job, the job ended aborted
  // ("the job has no document to print"): a few times in forty runs.
  const DocumentFile doc = Document(Kind::kPdf, 3);
  const std::string test = testing::ReadFile(fs::path(PCLSPOOL_APP_TEST_DIR) / "requests" /
                                             "print-and-cancel.test");
  std::vector<int> jobs;
  for (int i = 0; i < 40; ++i) {
    const std::string report = RunIppTool(server_.PrinterUri("copier"), test, dir_.path(),
                                          {"-d", "pdf=" + doc.path.string()});
    EXPECT_EQ(report.find("[FAIL]"), std::string::npos) << report;
    jobs.push_back(std::atoi(DisplayedValues(report)["job-id"].c_str()));
  }
  // PAPPL starts a job cancelled before it started all the same: its end
  // is the one it has once the queue is empty.
  ASSERT_TRUE(Eventually([&] { return fs::is_empty(server_.state_dir() / "jobs"); }, 30s));
  std::this_thread::sleep_for(1s);
  for (const int id : jobs) EXPECT_EQ(State("copier", id), "canceled") << "job " << id;
}

TEST_F(JobsTest, ARasterJobSentWhileAnotherPrintsWaitsItsTurn) {
  FakePrinter copier;
  copier.Stall(true);
  std::string error;
  ASSERT_TRUE(server_.AddPrinter("socket", {}, &error, copier.Uri())) << error;
  const DocumentFile pdf = Document(Kind::kPdf, 3);
  const IppJobResult first = Print({"first", pdf.path, pdf.format, {}, false}, "socket");
  ASSERT_TRUE(Eventually([&] { return copier.Open(); }, 30s));
  std::vector<IppJobResult> raster;  // iOS's Apple raster; Windows' and CUPS's PWG raster
  for (const Kind kind : {Kind::kUrf, Kind::kPwgRaster}) {
    const DocumentFile doc = Document(kind, 2);
    raster.push_back(Print({doc.path.stem().string(), doc.path, doc.format, {}, false}, "socket"));
    EXPECT_EQ(raster.back().status, "successful-ok") << raster.back().output;
  }
  copier.Stall(false);
  for (const IppJobResult& r : raster) EXPECT_EQ(State("socket", r.job_id), "completed");
  EXPECT_EQ(State("socket", first.job_id), "completed");
}

TEST_F(JobsTest, TheSubCommandsReachPrintersAddedSinceTheStart) {
  std::string error;
  for (const char* p : {"second", "third"}) ASSERT_TRUE(server_.AddPrinter(p, {}, &error)) << error;
  // `drivers` ran the server's start on the server's own state: it deleted
  // the jobs' directories, made a new first password, and crashed on a
  // device ID.
  const fs::path work = server_.state_dir() / "jobs" / "1-99";
  fs::create_directories(work);
  const std::string password = testing::ReadFile(server_.state_dir() / "admin-password");
  const std::string state = "state-directory=" + server_.state_dir().string();
  const char* driver = "pclspool \"pclspool PCL copier\" \"MFG:pclspool;MDL:PCL copier;CMD:PCL;\"\n";
  const struct {
    std::vector<std::string> args;
    const char* out;  // the command's output
    const char* printers;  // `printers` afterwards
  } steps[] = {
      {{"drivers", "-o", state}, driver, "copier\nsecond\nthird\n"},
      {{"drivers", "-o", state + " device-id='MFG:A;CMD:PJL,PCLXL,PCL;'"}, driver, "copier\nsecond\nthird\n"},
      {{"drivers", "-o", state + " device-id='MFG:B; COMMAND SET:PCL5E;'"}, driver, "copier\nsecond\nthird\n"},
      {{"drivers", "-o", state + " device-id='MFG:C;XCMD:PCL;CMD:PCLXL;'"}, "", "copier\nsecond\nthird\n"},
      {{"default", "-d", "second"}, "", "copier\nsecond\nthird\n"},
      {{"default"}, "second\n", "copier\nsecond\nthird\n"},
      {{"delete", "-d", "second"}, "", "copier\nthird\n"},
      {{"delete", "-d", "third"}, "", "copier\n"},
  };
  for (const auto& s : steps) {
    const testing::ProgramRun run = server_.Command(s.args);
    EXPECT_EQ(run.out, s.out) << run.Describe(s.args.front());
    EXPECT_EQ(server_.Command({"printers"}).out, s.printers) << s.args.front();
  }
  EXPECT_TRUE(fs::exists(work));
  EXPECT_EQ(testing::ReadFile(server_.state_dir() / "admin-password"), password);
}

}  // namespace
}  // namespace pclspool::apptest

