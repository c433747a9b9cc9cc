#include "rendering/page_shapes.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "process/child_process.h"

namespace pclspool::rendering {

namespace {

// The report of a document with many pages is read this far at most.
constexpr std::size_t kMaxReportBytes = 16 * 1024 * 1024;

}  // namespace

std::vector<PageShape> ParsePdfInfo(const std::string& report) {
  std::vector<PageShape> shapes;
  std::size_t at = 0;
  while ((at = report.find("Page ", at)) != std::string::npos) {
    const std::size_t end = std::min(report.find('\n', at), report.size());
    const std::string line = report.substr(at, end - at);
    at = end;
    unsigned page = 0;
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    if (std::sscanf(line.c_str(), "Page %u MediaBox: [%lf %lf %lf %lf]", &page, &x0, &y0, &x1,
                    &y1) != 5) {
      continue;
    }
    int rotate = 0;
    if (const std::size_t r = line.find("Rotate = "); r != std::string::npos) {
      rotate = std::atoi(line.c_str() + r + 9);
    }
    double w = x1 > x0 ? x1 - x0 : x0 - x1;
    double h = y1 > y0 ? y1 - y0 : y0 - y1;
    if (((rotate % 360) + 360) % 180 == 90) std::swap(w, h);
    shapes.push_back(w > h ? PageShape::kLandscape : w < h ? PageShape::kPortrait : PageShape::kSquare);
  }
  return shapes;
}

bool PdfPageShapes(const std::string& ghostscript, const std::string& pdf,
                   std::vector<PageShape>* shapes, std::string* error) {
  const std::string input = pdf.empty() || pdf[0] == '/' ? pdf : "./" + pdf;
  std::vector<std::string> args = {ghostscript, "-q", "-dSAFER", "-dNODISPLAY", "-dPDFINFO",
                                   "-dBATCH", "-dNOPAUSE", input};
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) {
    *error = std::string("cannot run ") + ghostscript + ": " + std::strerror(errno);
    return false;
  }
  // Ghostscript writes the report on standard error.
  process::ChildStart child;
  child.argv = std::move(args);
  child.fds = {process::ChildFd::Copy(STDOUT_FILENO, out[1]),
               process::ChildFd::Copy(STDERR_FILENO, out[1])};
  std::string why;
  const pid_t pid = process::StartChild(child, &why);
  ::close(out[1]);
  if (pid < 0) {
    ::close(out[0]);
    *error = "cannot run " + why;
    return false;
  }
  std::string report;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(out[0], buf, sizeof(buf));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    if (report.size() < kMaxReportBytes) report.append(buf, static_cast<std::size_t>(n));
  }
  ::close(out[0]);
  process::WaitChild(pid, false, {}, 0, 0);
  *shapes = ParsePdfInfo(report);
  if (shapes->empty()) {
    *error = "Ghostscript did not tell the pages' sizes";
    return false;
  }
  return true;
}

}  // namespace pclspool::rendering
