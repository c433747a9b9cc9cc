#include "runner/job_inputs.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pclspool::runner {

namespace {

std::string NameOf(const std::string& path) { return path == "-" ? "standard input" : path; }

bool Decided(InputKind k) { return k != InputKind::kEmpty && k != InputKind::kUnknown; }

// Reads from fd until the kind is plain or kSniffBytes have come (or the
// input ends): a PCL job on a pipe need not wait for a kilobyte to start.
bool ReadHead(int fd, std::string* head, int* err) {
  uint8_t buf[kSniffBytes];
  std::size_t got = 0;
  while (got < kSniffBytes) {
    const ssize_t n = ::read(fd, buf + got, kSniffBytes - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *err = errno;
      return false;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
    if (Decided(SniffInput(buf, got))) break;
  }
  head->assign(reinterpret_cast<const char*>(buf), got);
  return true;
}

}  // namespace

bool ClassifyInputs(const std::vector<std::string>& inputs, JobInputs* out, std::string* error) {
  *out = JobInputs{};
  out->paths = inputs;
  if (out->paths.empty()) out->paths.push_back("-");
  bool stdin_read = false;
  std::string first;  // the input that set the job's kind
  for (const std::string& path : out->paths) {
    std::string head;
    int err = 0;
    bool ok = true;
    if (path == "-") {
      // The standard input is read once; a second "-" finds its end.
      if (!stdin_read) ok = ReadHead(STDIN_FILENO, &out->stdin_head, &err);
      head = stdin_read ? "" : out->stdin_head;
      stdin_read = true;
    } else {
      const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) {
        err = errno;
        ok = false;
      } else {
        ok = ReadHead(fd, &head, &err);
        ::close(fd);
      }
    }
    if (!ok) {
      *error = NameOf(path) + ": " + std::strerror(err);
      return false;
    }
    const InputKind kind =
        SniffInput(reinterpret_cast<const uint8_t*>(head.data()), head.size());
    out->kinds.push_back(kind);
    if (kind == InputKind::kEmpty) continue;
    if (first.empty()) {
      if (kind == InputKind::kUnknown) {
        *error = NameOf(path) + ": neither PCL, PDF nor PostScript";
        return false;
      }
      out->kind = kind;
      first = path;
      continue;
    }
    if (out->kind == InputKind::kPcl && IsRendered(kind)) {
      *error = NameOf(path) + ": " + InputKindName(kind) + " cannot follow the PCL job of " +
               NameOf(first);
      return false;
    }
    if (IsRendered(out->kind) && !IsRendered(kind)) {
      *error = NameOf(path) + ": " +
               (kind == InputKind::kPcl ? std::string("PCL cannot be printed in one job with ") +
                                              InputKindName(out->kind) + " (" + NameOf(first) + ")"
                                        : std::string("neither PDF nor PostScript"));
      return false;
    }
  }
  return true;
}

}  // namespace pclspool::runner
