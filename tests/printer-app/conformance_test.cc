// ipptool's own conformance files from cups-ipp-utils, run against the
// app: ipp-2.0.test (which includes ipp-1.1.test) and ipp-everywhere.test,
// with every sample document they name made here. Every test passes but
// for the failures that lie in PAPPL 1.3.1 itself, each listed below with
// its reason; ipptool's report is read for [FAIL], not only its status.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "app_fixture.h"
#include "support/child_process.h"

namespace pclspool::apptest {
namespace {

namespace fs = std::filesystem;

constexpr char kIppToolDir[] = "/usr/share/cups/ipptool";

// The failures of PAPPL's own: in the test so named (ipptool cuts long
// names to its column), an expectation whose text holds the second, and
// why.
constexpr const char* kPapplFailures[][3] = {
    {"RFC 8011 section 4.2.5: Get-Printer-Attributes Operation (default)",
     "SAME-COUNT-AS uri-security-supported",
     "PAPPL makes uri-security-supported (none, tls) once for the printer, but leaves the "
     "ipps URI out of printer-uri-supported for a client on the loopback address"},
    {"RFC 8011 section 4.2.5: Get-Printer-Attributes Operation (default)",
     "SAME-COUNT-AS uri-authentication-supported",
     "the same: uri-authentication-supported has one value for a loopback client, "
     "uri-security-supported two"},
    {"Print-Job with job-hold-until", "job-state-reasons",
     "PAPPL answers a Print-Job held by job-hold-until without job-state-reasons"},
    {"PWG 5100.14 section 5.1/5.2 - Required Operations and Attributes", "overrides-supported",
     "PAPPL supports no page overrides and never sends overrides-supported"},
};

bool Known(const std::string& test, const std::string& expected) {
  for (const auto& k : kPapplFailures) {
    if (std::string(k[0]).rfind(test, 0) == 0 && expected.find(k[1]) != std::string::npos) {
      return true;
    }
  }
  return false;
}

// What failed in a report and is not PAPPL's: a [FAIL] with an expectation
// not in the list, or with none (a status, a lost connection), and every
// line ipptool itself complained with.
std::string UnexplainedFailures(const std::string& report) {
  std::string left;  // a line each
  std::istringstream in(report);
  std::string line;
  std::string test;         // the [FAIL]ed test being read
  bool expectations = false;  // it has failed expectations, listed when unknown
  const auto close = [&] {
    if (!test.empty() && !expectations) left += test + ": [FAIL]\n";
    test.clear();
  };
  while (std::getline(in, line)) {
    if (line.rfind("ipptool:", 0) == 0) left += line + "\n";
    if (line.size() > 4 && line.compare(0, 4, "    ") == 0 && line[4] != ' ') {
      close();
      if (line.find("[FAIL]") != std::string::npos) {
        test = line.substr(4, line.rfind('[') - 4);
        test.erase(test.find_last_not_of(' ') + 1);
        expectations = false;
      }
      continue;
    }
    const std::size_t at = line.find("EXPECTED: ");
    if (test.empty() || at == std::string::npos) continue;
    if (!Known(test, line)) left += test + ": " + line.substr(at) + "\n";
    expectations = true;
  }
  close();
  return left;
}

// Ghostscript makes `file` of the numbered pages with `args`; empty, or
// what failed.
std::string Gs(std::vector<std::string> args, const fs::path& file) {
  args.insert(args.begin(), {"gs", "-q", "-dBATCH", "-dNOPAUSE", "-dSAFER"});
  args.insert(args.end(), {"-sOutputFile=" + file.string(),
                           (fs::path(PCLSPOOL_TEST_DATA) / "numbered_pages.ps").string()});
  const testing::ProgramRun run = testing::RunProgram({.argv = args});
  return run.Ok() ? "" : run.Describe("gs for " + file.string());
}

// The documents ipp-1.1.test names, and the PWG raster samples of
// ipp-everywhere.test: real ones in 8-bit grey at the resolutions the app
// takes (the only ones ipptool sends it), empty files for the others,
// which the test file names and skips.
std::string MakeSamples(const fs::path& dir) {
  std::string error;
  const std::pair<const char*, std::vector<std::string>> documents[] = {
      {"document-a4.pdf", {"-sDEVICE=pdfwrite", "-sPAPERSIZE=a4"}},
      {"document-letter.pdf", {"-sDEVICE=pdfwrite", "-sPAPERSIZE=letter"}},
      {"document-a4.ps", {"-sDEVICE=ps2write", "-sPAPERSIZE=a4"}},
      {"document-letter.ps", {"-sDEVICE=ps2write", "-sPAPERSIZE=letter"}},
      {"color.jpg", {"-sDEVICE=jpeg", "-r50", "-dLastPage=1"}},
      {"gray.jpg", {"-sDEVICE=jpeggray", "-r50", "-dLastPage=1"}}};
  for (const auto& [name, args] : documents) error += Gs(args, dir / name);
  const std::vector<std::string> photo = {"-dDEVICEWIDTHPOINTS=288", "-dDEVICEHEIGHTPOINTS=432",
                                          "-dFIXEDMEDIA", "-dLastPage=1"};  // 4 x 6 inches
  const std::pair<const char*, std::vector<std::string>> rasters[] = {
      {"color.jpg-4x6", photo},
      {"gray.jpg-4x6", photo},
      {"document-a4", {"-sPAPERSIZE=a4"}},
      {"document-letter", {"-sPAPERSIZE=letter"}},
      {"onepage-a4", {"-sPAPERSIZE=a4", "-dLastPage=1"}},
      {"onepage-letter", {"-sPAPERSIZE=letter", "-dLastPage=1"}}};
  for (const std::string dpi : {"150", "180", "300", "360", "600", "720"}) {
    for (const std::string type : {"black-1", "cmyk-8", "sgray-8", "srgb-8", "srgb-16"}) {
      const fs::path sub = dir / ("pwg-raster-samples-" + dpi + "dpi") / type;
      fs::create_directories(sub);
      const bool sent = type == "sgray-8" && (dpi == "300" || dpi == "600");
      for (auto [name, args] : rasters) {
        const fs::path file = sub / (name + ("-" + type + "-" + dpi + "dpi.pwg"));
        args.insert(args.end(), {"-sDEVICE=pwgraster", "-dcupsColorSpace=18",
                                 "-dcupsBitsPerColor=8", "-r" + dpi});
        if (sent) error += Gs(args, file);
        if (!sent) std::ofstream{file};
      }
    }
  }
  return error;
}

class ConformanceTest : public AppTest {};

TEST_F(ConformanceTest, PassesIpptoolsConformanceFilesButForPapplsOwnFailures) {
  const fs::path dir = dir_.path() / "conformance";
  fs::create_directories(dir);
  for (const char* file : {"ipp-1.1.test", "ipp-2.0.test", "ipp-everywhere.test"}) {
    fs::copy_file(fs::path(kIppToolDir) / file, dir / file);
  }
  const std::string made = MakeSamples(dir);
  ASSERT_EQ(made, "");
  // printer-up-time must be above 0.
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  for (const char* file : {"ipp-2.0.test", "ipp-everywhere.test"}) {
    SCOPED_TRACE(file);
    const std::vector<std::string> argv = {
        "ipptool", "-I", "-t", "-T", "120", "-f", (dir / "document-a4.pdf").string(),
        server_.PrinterUri("copier"), (dir / file).string()};
    const testing::ProgramRun run =
        testing::RunProgram({.argv = argv, .dir = dir, .err = testing::Output::Stdout()});
    EXPECT_NE(run.out.find("[PASS]"), std::string::npos) << run.out;
    EXPECT_EQ(UnexplainedFailures(run.out), "");
  }
  // The raster samples at 300 and 600 dpi are printed: spooled, they wait
  // their turn behind the other jobs.
  const auto printed = [&] {
    for (const auto& e : fs::directory_iterator(server_.DeviceDir("copier"))) {
      if (e.path().filename().string().find("onepage-a4") != std::string::npos &&
          fs::file_size(e.path()) > 0) {
        return true;
      }
    }
    return false;
  };
  EXPECT_TRUE(Eventually(printed, std::chrono::seconds(120)));
}

}  // namespace
}  // namespace pclspool::apptest
