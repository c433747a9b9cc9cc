#include "printer-app/job_command.h"

#include <charconv>

#include "runner/job_catalogue.h"

namespace pclspool::app {

namespace {

constexpr std::string_view kKinds[] = {"as-it-is", "raster", "image"};

// The arguments, in the order they are written.
constexpr std::string_view kNames[] = {"kind", "input", "ini", "work-dir", "job-id", "ticket"};

bool ReadArgument(std::string_view name, std::string_view v, JobCommand* c, std::string* error) {
  if (name == "kind") {
    for (std::size_t i = 0; i < std::size(kKinds); ++i) {
      if (v == kKinds[i]) c->kind = static_cast<DocumentKind>(i);
    }
    return v == kKinds[static_cast<std::size_t>(c->kind)];
  }
  if (name == "job-id") {
    const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), c->job_id);
    return !v.empty() && ec == std::errc() && end == v.data() + v.size();
  }
  if (name == "ticket") return runner::ReadTicket(v, &c->ticket, error);
  std::string* field = name == "input" ? &c->input : name == "ini" ? &c->ini : &c->work_dir;
  *field = v;
  return !v.empty();
}

}  // namespace

std::vector<std::string> JobCommandArgs(const JobCommand& c) {
  const std::string values[] = {std::string(kKinds[static_cast<std::size_t>(c.kind)]),
                                c.input, c.ini, c.work_dir, std::to_string(c.job_id),
                                runner::WriteTicket(c.ticket)};
  std::vector<std::string> args;
  for (std::size_t i = 0; i < std::size(kNames); ++i) {
    args.push_back("--" + std::string(kNames[i]) + "=" + values[i]);
  }
  return args;
}

bool ParseJobCommand(const std::vector<std::string_view>& args, JobCommand* command,
                     std::string* error) {
  JobCommand c;
  bool seen[std::size(kNames)] = {};
  for (const std::string_view arg : args) {
    const std::size_t eq = arg.find('=');
    std::size_t i = 0;
    while (i < std::size(kNames) && (eq == std::string_view::npos || arg.substr(0, eq) != "--" + std::string(kNames[i]))) ++i;
    if (i == std::size(kNames)) {
      *error = "job process: unknown argument " + std::string(arg);
      return false;
    }
    std::string why;
    if (!ReadArgument(kNames[i], arg.substr(eq + 1), &c, &why)) {
      *error = "job process: bad value in " + std::string(arg) + (why.empty() ? "" : ": " + why);
      return false;
    }
    seen[i] = true;
  }
  for (std::size_t i = 0; i < std::size(kNames); ++i) {
    if (!seen[i]) {
      *error = "job process: missing --" + std::string(kNames[i]);
      return false;
    }
  }
  *command = std::move(c);
  return true;
}

DocumentKind KindOfFormat(std::string_view mime_type) {
  if (mime_type == "image/pwg-raster" || mime_type == "image/urf") return DocumentKind::kRaster;
  if (mime_type == "image/jpeg" || mime_type == "image/png") return DocumentKind::kImage;
  return DocumentKind::kAsItIs;
}

}  // namespace pclspool::app
