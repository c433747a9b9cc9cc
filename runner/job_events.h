// What a job tells its front end while it runs: the command prints it on
// standard error, the CUPS filter as CUPS's ERROR:, INFO: and PAGE: lines,
// a printer application in its job log and job attributes. Every callback
// may be empty, and each is called on the thread that runs the job.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "runner/input_kind.h"

namespace pclspool::runner {

struct JobProgress {
  std::string document;  // "report.pdf", or "standard input"
  uint32_t rendered;     // pages Ghostscript has begun
  uint32_t sent;         // pages complete on the hooks
};

struct JobEvents {
  // Why the job failed, or what it lost: one line each, saying what and
  // where, with no prefix.
  std::function<void(const std::string& line)> on_error;
  // What the job prints.
  std::function<void(const std::string& line)> on_info;
  // What it leaves out of what was asked (without it, on_info).
  std::function<void(const std::string& line)> on_left_out;
  // The kind of the job's documents, told by their content, once it is
  // known (before the job starts; a job refused sooner never tells it).
  std::function<void(InputKind kind)> on_kind;
  // A rendered document's pages, whenever a count changes.
  std::function<void(const JobProgress& progress)> on_progress;
  // A page has ended on the hooks: its number, 1 for the first. (It
  // reaches the printer now, or at the end of a job whose pages are
  // stored.)
  std::function<void(uint32_t page)> on_page;
  // A printed side (an impression) and the times it is printed: as each
  // side is complete, or at the end of a job whose pages are stored.
  std::function<void(uint32_t side, uint32_t copies)> on_side;

  void Error(const std::string& line) const {
    if (on_error) on_error(line);
  }
  void Info(const std::string& line) const {
    if (on_info) on_info(line);
  }
  void LeftOut(const std::string& line) const {
    if (on_left_out) {
      on_left_out(line);
    } else {
      Info(line);
    }
  }
};

}  // namespace pclspool::runner
