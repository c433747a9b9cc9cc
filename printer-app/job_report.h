// What a job process tells the server while it runs, one line at a time on
// a pipe: the sides it prints (for the job's impressions), its errors and
// information (for the job log and message), its progress, and a reason to
// give the job when it fails (document-format-error, ...). A line is text
// without a newline; what a message holds is kept to one line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pclspool::app {

struct ReportLine {
  enum class Kind { kSide, kError, kInfo, kProgress, kReason, kUnknown };
  Kind kind = Kind::kUnknown;
  uint32_t first = 0;   // side: its number; progress: pages rendered
  uint32_t second = 0;  // side: the times it is printed; progress: pages sent
  std::string text;     // error and info: the message; reason: its keyword
};

// The line, newline included, for each kind.
std::string SideLine(uint32_t side, uint32_t copies);
std::string ErrorLine(std::string_view message);
std::string InfoLine(std::string_view message);
std::string ProgressLine(uint32_t rendered, uint32_t sent);
std::string ReasonLine(std::string_view keyword);

// A line as read (without its newline); kUnknown for anything else, which
// the server logs and otherwise ignores.
ReportLine ParseReportLine(std::string_view line);

}  // namespace pclspool::app
