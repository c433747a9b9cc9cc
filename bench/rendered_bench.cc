#include "rendered_bench.h"

#include <vector>

#include "benchmarks.h"
#include "support/child_process.h"

namespace pclspool::bench {

namespace {

std::string TextProgram(int pages) {
  return "%!PS\n<< /PageSize [595 842] >> setpagedevice\n"
         "/Helvetica findfont 10 scalefont setfont\n"
         "1 1 " + std::to_string(pages) + " { /n exch def\n"
         "  1 setlinewidth 36 36 523 770 rectstroke\n"
         "  0.85 setgray 50 740 495 50 rectfill 0 setgray\n"
         "  0 1 55 { /l exch def 50 710 l 12 mul sub moveto\n"
         "    (Page ) show n 4 string cvs show ( line ) show l 3 string cvs show\n"
         "    ( - the quick brown fox jumps over the lazy dog, 0123456789 times.) show } for\n"
         "  showpage } for\n";
}

}  // namespace

bool GenerateTextPdf(const std::string& path, int pages, std::string* error) {
  const std::string ps = path + ".ps";
  if (!WriteTextFile(ps, TextProgram(pages))) {
    *error = "cannot write " + ps;
    return false;
  }
  const testing::ProgramRun gs = testing::RunProgram(
      {.argv = {"gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=pdfwrite",
                "-sOutputFile=" + path, ps},
       .time_limit = std::chrono::minutes(10)});
  if (!gs.Ok()) {
    *error = "Ghostscript could not make the PDF: " + gs.Describe("gs");
    return false;
  }
  return true;
}

CommandResult RunRenderedCommand(const CommandOptions& o, const std::string& pdf,
                                 const std::string& ini) {
  return CompareCommands(o, "command/pdf", {o.cli, "print", "--ini", ini, pdf},
                         {"gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=ljet4",
                          "-r600", "-sOutputFile=-", pdf},
                         pdf);
}

}  // namespace pclspool::bench
