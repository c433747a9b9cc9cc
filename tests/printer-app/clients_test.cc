// Real clients' requests, replayed: each ipptool file in clients/ sends
// what one client sends, attribute for attribute (its source is named at
// its top). Every operation answers successful-ok, every job completes
// and says so, and the sides its device received show the pages the
// request asked for, on A4.
#include <gtest/gtest.h>

#include <algorithm>

#include "app_fixture.h"
#include "client_checks.h"
#include "documents.h"

namespace pclspool::apptest {
namespace {

struct Client {
  const char* file;  // clients/FILE.test; its job's name too
  bool booklet;      // asks for finishings booklet-maker
  Sides sides;       // what its job prints; none when it prints nothing
};

void PrintTo(const Client& c, std::ostream* os) { *os << c.file; }

class ClientsTest : public AppTest, public ::testing::WithParamInterface<Client> {};

TEST_P(ClientsTest, EveryRequestSucceedsAndTheJobPrintsWhatItAsked) {
  const Client& c = GetParam();
  if (c.booklet && !kBookletFinishings) GTEST_SKIP() << kNoBookletFinishings;
  const DocumentFile pdf = Document(Kind::kPdf, 4), urf = Document(Kind::kUrf, 4),
                     jpeg = Document(Kind::kJpeg, 1);
  ASSERT_EQ(pdf.error + urf.error + jpeg.error, "");
  const std::string report = RunIppTool(
      server_.PrinterUri("copier"),
      testing::ReadFile(std::filesystem::path(PCLSPOOL_APP_TEST_DIR) / "clients" /
                        (std::string(c.file) + ".test")),
      dir_.path(),
      {"-T", "60", "-d", "job=" + std::string(c.file), "-d", "pdf=" + pdf.path.string(), "-d",
       "urf=" + urf.path.string(), "-d", "jpeg=" + jpeg.path.string()});
  EXPECT_NE(report.find("[PASS]"), std::string::npos) << report;
  EXPECT_EQ(report.find("[FAIL]"), std::string::npos) << report;
  if (!c.sides.empty()) {
    EXPECT_EQ(SidesDiffer(Output(c.file), c.sides), "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Replayed, ClientsTest,
    ::testing::Values(Client{"cups-backend", false, {{1}, {2}, {3}, {4}}},
                      Client{"cups-backend-booklet", true, {{1, 4}, {2, 3}}},
                      Client{"ios-urf", false, {{1}, {2}, {3}, {4}}},
                      // Staple and punch, which the copier cannot do, change nothing.
                      Client{"ios-urf-finishings", false, {{1}, {2}, {3}, {4}}},
                      Client{"ios-photos", false, {{1}}},
                      Client{"android", false, {{1}, {2}, {3}, {4}, {1}, {2}, {3}, {4}}},  // 2 copies
                      Client{"windows", false, {}}),
    [](const ::testing::TestParamInfo<Client>& info) {
      std::string name = info.param.file;
      std::replace(name.begin(), name.end(), '-', '_');
      return name;
    });

}  // namespace
}  // namespace pclspool::apptest
