// What an input is, told from its content.
#include <gtest/gtest.h>
#include <string>

#include "runner/input_kind.h"

namespace pclspool::runner {
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
      {"blank lines, then PDF", "\r\n\n %PDF-1.4", InputKind::kPdf},
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

}  // namespace
}  // namespace pclspool::runner
