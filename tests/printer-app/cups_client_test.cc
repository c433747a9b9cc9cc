// CUPS itself as the app's client, as on a Linux desktop: a private cupsd
// makes a driverless queue of the app's printer (lpadmin -m everywhere),
// names the copier, shows its options (lpoptions -l: a Booklet choice), and
// prints a PDF, a text file, a JPEG and a booklet with lp; each comes out
// of the copier as asked.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "app_fixture.h"
#include "client_checks.h"
#include "documents.h"
#include "support/cups/cups_sandbox.h"

namespace pclspool::apptest {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kJobCompleted = 9;

std::string MissingCups() {
  if (::geteuid() != 0) return "not root: only a cupsd started as root runs its filters as lp";
  for (const char* p : {"cupsd", "lp", "lpadmin", "lpoptions"}) {
    if (!testing::OnPath(p)) {
      return std::string(p) + " is missing (packages cups-daemon, cups-client, cups-filters)";
    }
  }
  if (::access("/usr/lib/cups/driver/driverless", X_OK) != 0) {
    return "cups-filters' driverless is missing (package cups-filters-core-drivers)";
  }
  return "";
}

class CupsClientTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    if (const std::string missing = MissingCups(); !missing.empty()) {
      if (std::getenv("CI")) FAIL() << missing;
      GTEST_SKIP() << missing;
    }
    std::string error;
    ASSERT_TRUE(cups_.Start({}, &error)) << error;
  }
  void TearDown() override {
    cups_.Stop();
    AppTest::TearDown();
  }

  // A queue of the app's printer made by `model`; its PPD once CUPS has
  // made it (lpadmin -m everywhere leaves that to cupsd's background).
  std::string AddQueue(const std::string& queue, const std::string& model) {
    std::string error;
    EXPECT_TRUE(cups_.AddQueue(queue, server_.PrinterUri("copier"), &error, "-m " + model))
        << error;
    std::string ppd;
    Eventually([&] { return !(ppd = cups_.QueuePpd(queue)).empty(); }, 30s);
    return ppd;
  }

  cups_test::CupsSandbox cups_;
};

// The PPD's line for a keyword: `*ModelName: "PCL copier"`.
std::string PpdLine(const std::string& ppd, const std::string& keyword) {
  const std::size_t at = ppd.find("\n*" + keyword + ":");
  return at == std::string::npos ? "" : ppd.substr(at + 1, ppd.find('\n', at + 1) - at - 1);
}

TEST_F(CupsClientTest, ADriverlessQueueNamesTheCopier) {
  const std::string everywhere = AddQueue("copier", "everywhere");
  EXPECT_EQ(PpdLine(everywhere, "Manufacturer"), "*Manufacturer: \"pclspool\"") << everywhere;
  // Debian 12's CUPS names every driverless queue's model "Printer" (its
  // sanitizing of printer-make-and-model cuts at the first space,
  // OpenPrinting/cups#1096, fixed in CUPS 2.4.12); a CUPS without the
  // fault names it from the app's printer-make-and-model.
  const std::string model = PpdLine(everywhere, "ModelName");
  EXPECT_TRUE(model == "*ModelName: \"PCL copier\"" || model == "*ModelName: \"Printer\"")
      << model;
  // cups-filters' driverless PPD (the one `lpadmin -m driverless:URI`
  // installs) names it in full.
  const testing::ProgramRun driverless = testing::RunProgram(
      {.argv = {"/usr/lib/cups/driver/driverless", "cat",
                "driverless:" + server_.PrinterUri("copier")}});
  EXPECT_EQ(PpdLine(driverless.out, "ModelName"), "*ModelName: \"pclspool PCL copier\"")
      << driverless.Describe("driverless");
}

struct LpJob {
  const char* title;
  std::filesystem::path file;
  std::vector<std::string> options;
  Sides sides;
};

// Prints each job with lp on the queue; each must complete and come out
// of the copier as its sides.
void PrintWithLp(const cups_test::CupsSandbox& cups, const AppServer& app,
                 const std::vector<LpJob>& jobs) {
  for (const LpJob& j : jobs) {
    SCOPED_TRACE(j.title);
    std::string error;
    const int id = cups.Submit("copier", j.title, j.file.string(), j.options, &error);
    ASSERT_GT(id, 0) << error;
    const cups_test::JobStatus s = cups.WaitFinished(id, 120s);
    EXPECT_EQ(s.state, kJobCompleted) << s.message << testing::ReadFile(cups.error_log());
    EXPECT_EQ(SidesDiffer(app.DeviceDir("copier") / (std::string(j.title) + ".prn"), j.sides), "");
  }
}

TEST_F(CupsClientTest, LpPrintsAPdfATextFileAndAJpeg) {
  ASSERT_NE(AddQueue("copier", "everywhere"), "");
  const DocumentFile pdf = Document(Kind::kPdf, 4);
  const DocumentFile jpeg = Document(Kind::kJpeg, 1);
  ASSERT_EQ(pdf.error + jpeg.error, "");
  const fs::path text = dir_.path() / "letter.txt";
  std::ofstream(text) << "Dear copier,\n\nplease print this letter.\n";
  PrintWithLp(cups_, server_,
              {{"cups-pdf", pdf.path, {}, {{1}, {2}, {3}, {4}}},
               // CUPS makes a PDF of it: a page of text.
               {"cups-text", text, {}, {{}}},
               {"cups-jpeg", jpeg.path, {}, {{1}}}});
}

TEST_F(CupsClientTest, TheQueueOffersABookletAndLpPrintsOne) {
  if (!kBookletFinishings) GTEST_SKIP() << kNoBookletFinishings;
  ASSERT_NE(AddQueue("copier", "everywhere"), "");
  const testing::ProgramRun options = cups_.Client({"lpoptions", "-p", "copier", "-l"});
  EXPECT_NE(options.out.find("Booklet/Booklet: *False True"), std::string::npos) << options.out;
  const DocumentFile pdf = Document(Kind::kPdf, 4);
  ASSERT_EQ(pdf.error, "");
  PrintWithLp(cups_, server_, {{"cups-booklet", pdf.path, {"Booklet=True"}, {{1, 4}, {2, 3}}}});
}

}  // namespace
}  // namespace pclspool::apptest
