// Real clients' requests, replayed: each ipptool file in clients/ sends
// what one client sends, attribute for attribute (its source is named at
// its top). Every operation answers successful-ok, every job completes,
// and the sides its device received (gpcl6) show the pages the request
// asked for, on A4.
#include <gtest/gtest.h>

#include "app_fixture.h"
#include "documents.h"
#include "client_checks.h"
#include "support/child_process.h"

namespace pclspool::apptest {
namespace {

namespace fs = std::filesystem;

struct Client {
  const char* file;  // clients/FILE.test; its job's name too
  bool booklet;      // asks for finishings booklet-maker
  Sides sides;       // what its job prints; none when it prints nothing
};

const Client kClients[] = {
    {"cups-backend", false, {{1}, {2}, {3}, {4}}},
    {"cups-backend-booklet", true, {{1, 4}, {2, 3}}},
    {"ios-urf", false, {{1}, {2}, {3}, {4}}},
    // Staple and punch, which the copier cannot do, change nothing.
    {"ios-urf-finishings", false, {{1}, {2}, {3}, {4}}},
    {"ios-photos", false, {{1}}},
    // Two collated copies.
    {"android", false, {{1}, {2}, {3}, {4}, {1}, {2}, {3}, {4}}},
    {"windows", false, {}},
};

void PrintTo(const Client& c, std::ostream* os) { *os << c.file; }

class ClientsTest : public AppTest, public ::testing::WithParamInterface<Client> {};

TEST_P(ClientsTest, EveryRequestSucceedsAndTheJobPrintsWhatItAsked) {
  const Client& c = GetParam();
  if (c.booklet && !kBookletFinishings) GTEST_SKIP() << kNoBookletFinishings;
  const DocumentFile pdf = Document(Kind::kPdf, 4);
  const DocumentFile urf = Document(Kind::kUrf, 4);
  const DocumentFile jpeg = Document(Kind::kJpeg, 1);
  for (const DocumentFile* d : {&pdf, &urf, &jpeg}) ASSERT_EQ(d->error, "");
  const fs::path file = fs::path(PCLSPOOL_APP_TEST_DIR) / "clients" / (std::string(c.file) + ".test");
  const testing::ProgramRun run = testing::RunProgram(
      {.argv = {"ipptool", "-t", "-T", "60", "-d", "job=" + std::string(c.file), "-d",
                "pdf=" + pdf.path.string(), "-d", "urf=" + urf.path.string(), "-d",
                "jpeg=" + jpeg.path.string(), server_.PrinterUri("copier"), file.string()},
       .dir = dir_.path(),
       .err = testing::Output::Stdout()});
  EXPECT_TRUE(run.Ok()) << run.out;
  EXPECT_EQ(run.out.find("[FAIL]"), std::string::npos) << run.out;
  if (c.sides.empty()) {
    EXPECT_TRUE(fs::is_empty(server_.DeviceDir("copier")));
  } else {
    EXPECT_EQ(SidesDiffer(Output(c.file), c.sides), "");
  }
}

INSTANTIATE_TEST_SUITE_P(Replayed, ClientsTest, ::testing::ValuesIn(kClients),
                         [](const ::testing::TestParamInfo<Client>& info) {
                           std::string name = info.param.file;
                           for (char& ch : name) {
                             if (ch == '-') ch = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace pclspool::apptest
