#include "cli/progress_line.h"

#include <unistd.h>

#include "runner/write_all.h"

namespace pclspool::cli {

void ProgressLine::Show(const std::string& name, uint32_t rendered, uint32_t sent) {
  if (!on_) return;
  // Carriage return, the line, and "erase to the end of the line" for
  // whatever a longer line before left.
  const std::string line = "\rpclspool: " + name + ": " + std::to_string(rendered) +
                           (rendered == 1 ? " page" : " pages") + " rendered, " +
                           std::to_string(sent) + " sent\x1B[K";
  runner::WriteAll(STDERR_FILENO, line);
  shown_ = true;
}

void ProgressLine::Close() {
  if (!shown_) return;
  runner::WriteAll(STDERR_FILENO, "\n");
  shown_ = false;
}

bool StderrIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace pclspool::cli
