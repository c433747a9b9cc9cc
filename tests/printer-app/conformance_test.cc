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

// A failure of PAPPL's: in the test so named, an expectation whose text
// holds `expected`.
struct KnownFailure {
  const char* test;
  const char* expected;
  const char* reason;
};

constexpr KnownFailure kPapplFailures[] = {
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
  for (const KnownFailure& k : kPapplFailures) {
    // ipptool cuts long test names to its column.
    if (std::string(k.test).rfind(test, 0) == 0 && expected.find(k.expected) != std::string::npos) {
      return true;
    }
  }
  return false;
}

// What failed in a report and is not PAPPL's: a [FAIL] with an expectation
// not in the list, or with none (a status, a lost connection), and every
// line ipptool itself complained with.
std::vector<std::string> UnexplainedFailures(const std::string& report) {
  std::vector<std::string> left;
  std::istringstream in(report);
  std::string line;
  std::string test;         // the [FAIL]ed test being read
  bool expectations = false;  // it has failed expectations, listed when unknown
  const auto close = [&] {
    if (!test.empty() && !expectations) left.push_back(test + ": [FAIL]");
    test.clear();
  };
  while (std::getline(in, line)) {
    if (line.rfind("ipptool:", 0) == 0) left.push_back(line);
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
    if (!Known(test, line)) left.push_back(test + ": " + line.substr(at));
    expectations = true;
  }
  close();
  return left;
}

testing::ProgramRun Gs(const std::vector<std::string>& args, const fs::path& log) {
  std::vector<std::string> argv = {"gs", "-q", "-dBATCH", "-dNOPAUSE", "-dSAFER"};
  argv.insert(argv.end(), args.begin(), args.end());
  argv.push_back((fs::path(PCLSPOOL_TEST_DATA) / "numbered_pages.ps").string());
  return testing::RunProgram({.argv = argv, .err = testing::Output::File(log)});
}

// The documents ipp-1.1.test names, and the PWG raster samples of
// ipp-everywhere.test: real ones in 8-bit grey at the resolutions the app
// takes (the only ones ipptool sends it), empty files for the others,
// which the test file names and skips.
std::string MakeSamples(const fs::path& dir) {
  const fs::path log = dir / "samples.log";
  const std::pair<const char*, std::vector<std::string>> documents[] = {
      {"document-a4.pdf", {"-sDEVICE=pdfwrite", "-sPAPERSIZE=a4"}},
      {"document-letter.pdf", {"-sDEVICE=pdfwrite", "-sPAPERSIZE=letter"}},
      {"document-a4.ps", {"-sDEVICE=ps2write", "-sPAPERSIZE=a4"}},
      {"document-letter.ps", {"-sDEVICE=ps2write", "-sPAPERSIZE=letter"}},
      {"color.jpg", {"-sDEVICE=jpeg", "-r50", "-dLastPage=1"}},
      {"gray.jpg", {"-sDEVICE=jpeggray", "-r50", "-dLastPage=1"}}};
  for (const auto& [name, args] : documents) {
    std::vector<std::string> a = args;
    a.push_back("-sOutputFile=" + (dir / name).string());
    const testing::ProgramRun run = Gs(a, log);
    if (!run.Ok()) return run.Describe(std::string("gs for ") + name);
  }
  const std::pair<const char*, std::vector<std::string>> rasters[] = {
      {"color.jpg-4x6", {"-dDEVICEWIDTHPOINTS=288", "-dDEVICEHEIGHTPOINTS=432", "-dFIXEDMEDIA",
                         "-dLastPage=1"}},
      {"gray.jpg-4x6", {"-dDEVICEWIDTHPOINTS=288", "-dDEVICEHEIGHTPOINTS=432", "-dFIXEDMEDIA",
                        "-dLastPage=1"}},
      {"document-a4", {"-sPAPERSIZE=a4"}},
      {"document-letter", {"-sPAPERSIZE=letter"}},
      {"onepage-a4", {"-sPAPERSIZE=a4", "-dLastPage=1"}},
      {"onepage-letter", {"-sPAPERSIZE=letter", "-dLastPage=1"}}};
  for (const char* dpi : {"150", "180", "300", "360", "600", "720"}) {
    for (const char* type : {"black-1", "cmyk-8", "sgray-8", "srgb-8", "srgb-16"}) {
      const fs::path sub = dir / (std::string("pwg-raster-samples-") + dpi + "dpi") / type;
      fs::create_directories(sub);
      const bool sent = std::string(type) == "sgray-8" &&
                        (std::string(dpi) == "300" || std::string(dpi) == "600");
      for (const auto& [name, args] : rasters) {
        const fs::path file = sub / (std::string(name) + "-" + type + "-" + dpi + "dpi.pwg");
        if (!sent) {
          std::ofstream{file};
          continue;
        }
        std::vector<std::string> a = args;
        a.insert(a.end(), {"-sDEVICE=pwgraster", "-dcupsColorSpace=18", "-dcupsBitsPerColor=8",
                           std::string("-r") + dpi, "-sOutputFile=" + file.string()});
        const testing::ProgramRun run = Gs(a, log);
        if (!run.Ok()) return run.Describe("gs for " + file.string());
      }
    }
  }
  return "";
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
    const std::vector<std::string> left = UnexplainedFailures(run.out);
    std::string listed;
    for (const std::string& l : left) listed += l + "\n";
    EXPECT_TRUE(left.empty()) << listed << "\nin the report " << (dir / file).string() << ".log";
  }
  // The raster samples at 300 and 600 dpi were printed.
  std::size_t printed = 0;
  for (const auto& e : fs::directory_iterator(server_.DeviceDir("copier"))) {
    printed += e.path().filename().string().find("onepage-a4") != std::string::npos &&
               fs::file_size(e.path()) > 0;
  }
  EXPECT_GT(printed, 0u);
}

}  // namespace
}  // namespace pclspool::apptest
