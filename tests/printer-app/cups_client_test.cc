// CUPS itself as the app's client, as on a Linux desktop: a private cupsd
// makes a driverless queue of the app's printer (lpadmin -m everywhere)
// that names the copier, offers a Booklet choice (in its PPD), and
// prints a PDF, a text file, a JPEG and a booklet with lp, each as asked.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "app_fixture.h"
#include "client_checks.h"
#include "documents.h"
#include "support/cups/cups_sandbox.h"

namespace pclspool::apptest {
namespace {

using namespace std::chrono_literals;

constexpr int kJobCompleted = 9;  // IPP job-state

struct LpJob {
  const char* title;
  std::filesystem::path file;
  std::vector<std::string> options;
  Sides sides;
};

class CupsClientTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    PCLSPOOL_REQUIRE(::geteuid() != 0 ? "not root: cupsd runs its filters as lp"
                     : !testing::OnPath("cupsd") || !testing::OnPath("lpoptions")
                         ? "CUPS is missing (cups-daemon, cups-client)"
                         : "");
    std::string error;
    ASSERT_TRUE(cups_.Start({}, &error)) << error;
    ASSERT_TRUE(cups_.AddQueue("copier", server_.PrinterUri("copier"), &error, "-m everywhere"))
        << error;
    // cupsd makes the PPD in the background.
    ASSERT_TRUE(Eventually([&] { return !(ppd_ = Ppd()).empty(); }, 30s));
  }

  std::string Ppd() const { return testing::ReadFile(cups_.dir() + "/root/ppd/copier.ppd"); }

  void PrintWithLp(const std::vector<LpJob>& jobs) {
    for (const LpJob& j : jobs) {
      std::string error;
      const int id = cups_.Submit("copier", j.title, j.file.string(), j.options, &error);
      ASSERT_GT(id, 0) << error;
      EXPECT_EQ(cups_.WaitFinished(id, 120s).state, kJobCompleted) << j.title;
      EXPECT_EQ(SidesDiffer(Output(j.title), j.sides), "") << j.title;
    }
  }

  cups_test::CupsSandbox cups_;
  std::string ppd_;
};

TEST_F(CupsClientTest, TheQueueNamesTheCopierAndLpPrintsAPdfATextFileAndAJpeg) {
  EXPECT_NE(ppd_.find("\n*Manufacturer: \"pclspool\"\n"), std::string::npos) << ppd_;
  // Debian 12's CUPS names every driverless queue's model "Printer" (its
  // cleaning of printer-make-and-model cuts at the first space,
  // OpenPrinting/cups#1096, fixed in CUPS 2.4.12); cups-filters'
  // driverless PPD, and a CUPS without the fault, name it in full.
  EXPECT_TRUE(ppd_.find("\n*ModelName: \"PCL copier\"\n") != std::string::npos ||
              ppd_.find("\n*ModelName: \"Printer\"\n") != std::string::npos)
      << ppd_;
  const testing::ProgramRun driverless =
      testing::RunProgram({.argv = {"/usr/lib/cups/driver/driverless", "cat",
                                    "driverless:" + server_.PrinterUri("copier")}});
  EXPECT_NE(driverless.out.find("\n*ModelName: \"pclspool PCL copier\"\n"), std::string::npos)
      << driverless.Describe("cups-filters' driverless");

  const DocumentFile pdf = Document(Kind::kPdf, 4), jpeg = Document(Kind::kJpeg, 1);
  ASSERT_EQ(pdf.error + jpeg.error, "");
  const std::filesystem::path text = dir_.path() / "letter.txt";
  std::ofstream(text) << "Dear copier,\n\nplease print this letter.\n";
  PrintWithLp({{"cups-pdf", pdf.path, {}, {{1}, {2}, {3}, {4}}},
               {"cups-text", text, {}, {{}}},  // CUPS makes a page of text of it
               {"cups-jpeg", jpeg.path, {}, {{1}}}});
}

TEST_F(CupsClientTest, TheQueueOffersABookletAndLpPrintsOne) {
  if (!kBookletFinishings) GTEST_SKIP() << kNoBookletFinishings;
  // The queue's PPD, as lpoptions -l reads it.
  EXPECT_NE(ppd_.find("\n*OpenUI *Booklet: Boolean\n"), std::string::npos) << ppd_;
  EXPECT_NE(ppd_.find("\n*cupsIPPFinishings 13/booklet-maker: \"*Booklet True\"\n"),
            std::string::npos)
      << ppd_;
  const DocumentFile pdf = Document(Kind::kPdf, 4);
  PrintWithLp({{"cups-booklet", pdf.path, {"Booklet=True"}, {{1, 4}, {2, 3}}}});
}

}  // namespace
}  // namespace pclspool::apptest
