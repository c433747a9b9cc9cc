// What an input is, told from its content, and which inputs make one job.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "job_inputs.h"
#include "test_files.h"

namespace pclspool::cli {
namespace {

InputKind Sniff(const std::string& head) {
  return SniffInput(reinterpret_cast<const uint8_t*>(head.data()), head.size());
}

TEST(InputKind, ToldByContent) {
  const struct {
    const char* name;
    std::string head;
    InputKind want;
  } cases[] = {
      {"UEL and PJL", "\x1B%-12345X@PJL JOB\r\n", InputKind::kPcl},
      {"printer reset first", "\x1B" "E\x1B&l26A", InputKind::kPcl},
      {"blank lines, then PCL", "\r\n\n  \x1B" "E", InputKind::kPcl},
      {"PJL without a UEL", "@PJL ENTER LANGUAGE=PCL\n", InputKind::kPcl},
      {"a UEL before a PDF is a printer job", "\x1B%-12345X%PDF-1.7", InputKind::kPcl},
      {"PDF", "%PDF-1.7\n%\xE2\xE3\xCF\xD3", InputKind::kPdf},
      {"PDF after a line of junk", "garbage line\n%PDF-1.4\n", InputKind::kPdf},
      {"PostScript", "%!PS-Adobe-3.0\n", InputKind::kPostScript},
      {"PostScript after Ctrl-D", "\x04%!PS\n", InputKind::kPostScript},
      {"DOS EPS", "\xC5\xD0\xD3\xC6\x20\x00\x00\x00", InputKind::kPostScript},
      {"nothing", "", InputKind::kEmpty},
      {"only blanks", " \r\n\t", InputKind::kEmpty},
      {"plain text", "hello, printer\n", InputKind::kUnknown},
      {"a percent sign alone", "%", InputKind::kUnknown},
      {"PDF header beyond the first kilobyte", std::string(kSniffBytes, 'x') + "%PDF-1.4",
       InputKind::kUnknown},
  };
  for (const auto& c : cases) EXPECT_EQ(Sniff(c.head), c.want) << c.name;
}

TEST(JobInputs, OneKindOfJob) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("pclspool-kinds-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::pair<const char*, std::string> files[] = {
      {"a.pcl", "\x1B" "E page"}, {"b.pcl", "more of the stream"}, {"a.pdf", "%PDF-1.4\n"},
      {"b.ps", "%!PS\n"},         {"empty", ""},                    {"text", "hello\n"},
  };
  for (const auto& [name, bytes] : files) testing::WriteFile(dir / name, bytes);
  const struct {
    const char* name;
    std::vector<std::string> inputs;
    InputKind want;     // when accepted
    const char* error;  // part of the message when refused
  } cases[] = {
      {"a PCL job continued by any bytes", {"a.pcl", "b.pcl", "text"}, InputKind::kPcl, nullptr},
      {"PDF and PostScript together", {"a.pdf", "b.ps"}, InputKind::kPdf, nullptr},
      {"an empty input first takes no part", {"empty", "b.ps"}, InputKind::kPostScript, nullptr},
      {"all empty: an empty PCL job", {"empty"}, InputKind::kPcl, nullptr},
      {"plain text", {"text"}, InputKind::kPcl, "text: neither PCL, PDF nor PostScript"},
      {"PDF after PCL", {"a.pcl", "a.pdf"}, InputKind::kPcl, "a.pdf: PDF cannot follow the PCL job"},
      {"PCL after PDF", {"a.pdf", "a.pcl"}, InputKind::kPcl, "a.pcl: PCL cannot be printed in one job with PDF"},
      {"text after PostScript", {"b.ps", "text"}, InputKind::kPcl, "text: neither PDF nor PostScript"},
      {"a missing file", {"nope"}, InputKind::kPcl, "nope: No such file"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> paths;
    for (const std::string& input : c.inputs) paths.push_back((dir / input).string());
    JobInputs got;
    std::string error;
    const bool ok = ClassifyInputs(paths, &got, &error);
    EXPECT_EQ(ok, c.error == nullptr) << c.name << ": " << error;
    if (ok) {
      EXPECT_EQ(got.kind, c.want) << c.name;
    }
    if (c.error) {
      EXPECT_NE(error.find(c.error), std::string::npos) << c.name << ": " << error;
    }
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace pclspool::cli
