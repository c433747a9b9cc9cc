// The document's kind, as the filter tells it.
#include "document_kind.h"

#include <gtest/gtest.h>

#include <string>

namespace pclspool::filter {
namespace {

TEST(InputKind, ByContent) {
  struct Case {
    const char* name;
    std::string bytes;
    InputKind kind;
  } cases[] = {
      {"PDF", "%PDF-1.7\n", InputKind::kPdf},
      {"PDF after blank lines", "\r\n\n%PDF-1.4", InputKind::kPdf},
      // As the runner renders it: a PDF behind blanks is a PDF.
      {"PDF after a space", " %PDF-1.4", InputKind::kPdf},
      {"text is passed on, for the runner to refuse", "hello", InputKind::kPcl},
      {"PostScript", "%!PS-Adobe-3.0\n", InputKind::kPostScript},
      {"PostScript behind ^D", "\x04%!PS", InputKind::kPostScript},
      {"PJL and PCL", "\x1B%-12345X@PJL ENTER LANGUAGE=PCL\n", InputKind::kPcl},
      {"PCL reset",
       "\x1B"
       "E",
       InputKind::kPcl},
      {"empty", "", InputKind::kPcl},
      {"short", "%", InputKind::kPcl},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(KindOfContent(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size()),
              c.kind)
        << c.name;
  }
  // Only the first kKindProbeBytes count.
  const std::string late = std::string(kKindProbeBytes, '\n') + "%PDF";
  EXPECT_EQ(KindOfContent(reinterpret_cast<const uint8_t*>(late.data()), late.size()),
            InputKind::kPcl);
}

TEST(InputKind, ByContentType) {
  EXPECT_EQ(KindOfContentType("application/pdf"), InputKind::kPdf);
  EXPECT_EQ(KindOfContentType("application/postscript"), InputKind::kPostScript);
  EXPECT_EQ(KindOfContentType("application/vnd.adobe-reader-postscript"), InputKind::kPostScript);
  EXPECT_EQ(KindOfContentType("application/vnd.cups-pcl"), InputKind::kPcl);
  EXPECT_EQ(KindOfContentType("application/vnd.hp-PCL"), InputKind::kPcl);
  // Types that reach a pclspool queue only through other filters, which
  // would have applied the job's options already.
  EXPECT_EQ(KindOfContentType("application/vnd.cups-pdf"), std::nullopt);
  EXPECT_EQ(KindOfContentType("application/vnd.cups-postscript"), std::nullopt);
  EXPECT_EQ(KindOfContentType("image/png"), std::nullopt);
}

}  // namespace
}  // namespace pclspool::filter
