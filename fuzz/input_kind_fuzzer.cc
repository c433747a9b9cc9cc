// Telling a job's documents apart (runner/input_kind, runner/job_inputs) on
// arbitrary inputs: each input's kind from its first bytes, and the job's
// kind from all of them, the standard input read through a pipe as a CUPS
// filter gets it. Beyond not crashing:
// - a kind told from any start of an input that settles it is the kind of
//   the whole input, so that reading a pipe only until the kind is plain
//   (as the job does) never tells another kind than reading all of it;
// - each input's kind is that of its first kSniffBytes; the standard
//   input's head kept for the job is a start of it, and read a second time
//   it gives nothing;
// - an accepted job's kind is its first input's with content, a job to
//   render holds nothing but documents to render; a refused one gets a
//   message of one line naming an input.
//
// Input: one byte whose low two bits say which input is the standard input
// (3: none) and whose bit 2 names the standard input once more at the end,
// then the inputs, separated by kSeparator.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "runner/input_kind.h"
#include "runner/job_inputs.h"

namespace {

using namespace pclspool::runner;

constexpr std::string_view kSeparator = "%%next-input%%";
constexpr std::size_t kMaxInputs = 4;

InputKind Sniff(std::string_view bytes) {
  return SniffInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

bool Settled(InputKind k) { return k != InputKind::kEmpty && k != InputKind::kUnknown; }

// Files that hold given bytes, under names open() takes, for as long as
// they live.
class MemoryFiles {
 public:
  MemoryFiles() = default;
  MemoryFiles(const MemoryFiles&) = delete;
  MemoryFiles& operator=(const MemoryFiles&) = delete;
  ~MemoryFiles() {
    for (const int fd : fds_) ::close(fd);
  }
  std::string Add(std::string_view bytes) {
    const int fd = ::memfd_create("input", MFD_CLOEXEC);
    FUZZ_CHECK(fd >= 0);
    fds_.push_back(fd);
    FUZZ_CHECK(::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()));
    return "/proc/self/fd/" + std::to_string(fd);
  }

 private:
  std::vector<int> fds_;
};

// The standard input replaced by a pipe that holds `bytes` and then ends,
// for as long as it lives.
class PipedStdin {
 public:
  explicit PipedStdin(std::string_view bytes) : saved_(::dup(STDIN_FILENO)) {
    int fds[2];
    FUZZ_CHECK(saved_ >= 0 && ::pipe(fds) == 0);
    // The fuzz inputs are shorter than a pipe's buffer: the write never
    // waits.
    FUZZ_CHECK(::write(fds[1], bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()));
    ::close(fds[1]);
    FUZZ_CHECK(::dup2(fds[0], STDIN_FILENO) == STDIN_FILENO);
    ::close(fds[0]);
  }
  ~PipedStdin() {
    ::dup2(saved_, STDIN_FILENO);
    ::close(saved_);
  }

 private:
  int saved_;
};

void CheckSniffing(std::string_view bytes) {
  const InputKind whole = Sniff(bytes);
  FUZZ_CHECK(whole == Sniff(bytes.substr(0, kSniffBytes)));
  for (std::size_t n = 1; n <= std::min(bytes.size(), kSniffBytes); ++n) {
    const InputKind start = Sniff(bytes.substr(0, n));
    if (Settled(start)) {
      FUZZ_CHECK(start == whole);
      break;
    }
  }
  FUZZ_CHECK(InputKindName(whole) != nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t stdin_at = data[0] & 3;
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  std::vector<std::string_view> contents;
  while (contents.size() + 1 < kMaxInputs) {
    const std::size_t sep = rest.find(kSeparator);
    if (sep == std::string_view::npos) break;
    contents.push_back(rest.substr(0, sep));
    rest.remove_prefix(sep + kSeparator.size());
  }
  contents.push_back(rest);

  MemoryFiles files;
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < contents.size(); ++i) {
    CheckSniffing(contents[i]);
    paths.push_back(i == stdin_at ? "-" : files.Add(contents[i]));
  }
  // The standard input named again: read once already, it gives nothing.
  if ((data[0] & 4) != 0 && stdin_at < contents.size()) {
    paths.push_back("-");
    contents.push_back("");
  }

  JobInputs job;
  std::string error;
  bool ok = false;
  {
    const PipedStdin in(stdin_at < contents.size() ? contents[stdin_at] : "");
    ok = ClassifyInputs(paths, &job, &error);
  }
  if (!ok) {
    FUZZ_CHECK(!error.empty() && error.find('\n') == std::string::npos);
    const bool names_one = std::any_of(paths.begin(), paths.end(), [&](const std::string& p) {
      return error.rfind((p == "-" ? "standard input" : p) + ": ", 0) == 0;
    });
    FUZZ_CHECK(names_one);
    return 0;
  }

  FUZZ_CHECK(job.paths == paths && job.kinds.size() == paths.size());
  InputKind first = InputKind::kEmpty;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (i == stdin_at) {
      const std::string_view all = contents[i];
      FUZZ_CHECK(all.substr(0, job.stdin_head.size()) == job.stdin_head);
      FUZZ_CHECK(job.stdin_head.size() == std::min(all.size(), kSniffBytes) ||
                 Settled(Sniff(job.stdin_head)));
      FUZZ_CHECK(job.kinds[i] == Sniff(job.stdin_head));
    }
    FUZZ_CHECK(job.kinds[i] == Sniff(contents[i]));
    if (first == InputKind::kEmpty) first = job.kinds[i];
    if (IsRendered(job.kind)) {
      FUZZ_CHECK(IsRendered(job.kinds[i]) || job.kinds[i] == InputKind::kEmpty);
    } else {
      FUZZ_CHECK(!IsRendered(job.kinds[i]));
    }
  }
  FUZZ_CHECK(job.kind == (first == InputKind::kEmpty ? InputKind::kPcl : first));
  return 0;
}
