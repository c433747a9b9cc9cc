// The progress of a rendered job on standard error, one line rewritten in
// place: shown only when standard error is a terminal.
#pragma once

#include <cstdint>
#include <string>

namespace pclspool::cli {

class ProgressLine {
 public:
  // on: whether to show anything at all.
  explicit ProgressLine(bool on) : on_(on) {}
  ~ProgressLine() { Close(); }

  // "pclspool: NAME: N pages rendered, M sent".
  void Show(const std::string& name, uint32_t rendered, uint32_t sent);
  // Ends the line, so that what follows starts on a line of its own.
  void Close();

 private:
  bool on_;
  bool shown_ = false;
};

// Whether standard error is a terminal.
bool StderrIsTerminal();

}  // namespace pclspool::cli
