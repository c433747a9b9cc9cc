#include "printer-app/job_report.h"

#include <charconv>

namespace pclspool::app {

namespace {

constexpr std::string_view kSide = "side ";
constexpr std::string_view kError = "error ";
constexpr std::string_view kInfo = "info ";
constexpr std::string_view kProgress = "progress ";
constexpr std::string_view kReason = "reason ";

// A message is one line: its own line breaks become spaces.
std::string OneLine(std::string_view prefix, std::string_view message) {
  std::string line(prefix);
  for (const char c : message) line += (c == '\n' || c == '\r') ? ' ' : c;
  return line + "\n";
}

std::string Numbers(std::string_view prefix, uint32_t a, uint32_t b) {
  return std::string(prefix) + std::to_string(a) + " " + std::to_string(b) + "\n";
}

// "A B", two decimal numbers and nothing else.
bool ParseTwo(std::string_view s, uint32_t* a, uint32_t* b) {
  const char* end = s.data() + s.size();
  auto [p, ec] = std::from_chars(s.data(), end, *a);
  if (ec != std::errc() || p == end || *p != ' ') return false;
  auto [q, ec2] = std::from_chars(p + 1, end, *b);
  return ec2 == std::errc() && q == end;
}

}  // namespace

std::string SideLine(uint32_t side, uint32_t copies) { return Numbers(kSide, side, copies); }
std::string ErrorLine(std::string_view message) { return OneLine(kError, message); }
std::string InfoLine(std::string_view message) { return OneLine(kInfo, message); }
std::string ProgressLine(uint32_t rendered, uint32_t sent) {
  return Numbers(kProgress, rendered, sent);
}
std::string ReasonLine(std::string_view keyword) { return OneLine(kReason, keyword); }

ReportLine ParseReportLine(std::string_view line) {
  ReportLine r;
  if (line.starts_with(kSide)) {
    if (ParseTwo(line.substr(kSide.size()), &r.first, &r.second)) r.kind = ReportLine::Kind::kSide;
  } else if (line.starts_with(kProgress)) {
    if (ParseTwo(line.substr(kProgress.size()), &r.first, &r.second)) {
      r.kind = ReportLine::Kind::kProgress;
    }
  } else if (line.starts_with(kError)) {
    r.kind = ReportLine::Kind::kError;
    r.text = line.substr(kError.size());
  } else if (line.starts_with(kInfo)) {
    r.kind = ReportLine::Kind::kInfo;
    r.text = line.substr(kInfo.size());
  } else if (line.starts_with(kReason)) {
    r.kind = ReportLine::Kind::kReason;
    r.text = line.substr(kReason.size());
  }
  if (r.kind == ReportLine::Kind::kUnknown) r.text = line;
  return r;
}

}  // namespace pclspool::app
