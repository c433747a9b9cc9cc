#include "filter/request_reader.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>

#include "runner/job_catalogue.h"
#include "runner/report.h"

// libcups marks its PPD functions deprecated, yet a PPD driver's filter
// still reads its queue's PPD with them: CUPS 2.x hands it nothing else.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <cups/cups.h>
#include <cups/ppd.h>

namespace pclspool::filter {

namespace {

// The job's options and the marked PPD, released together.
class Options {
 public:
  ~Options() {
    cupsFreeOptions(num_options_, options_);
    if (ppd_) ppdClose(ppd_);
  }

  bool Open(const char* options, const std::string& ppd_path, std::string* error) {
    num_options_ = cupsParseOptions(options, 0, &options_);
    if (ppd_path.empty()) {
      *error = "no PPD file: the PPD environment variable is not set";
      return false;
    }
    ppd_ = ppdOpenFile(ppd_path.c_str());
    if (!ppd_) {
      int line = 0;
      const ppd_status_t status = ppdLastError(&line);
      *error = "PPD file " + ppd_path + ": " + ppdErrorString(status) + " (line " +
               std::to_string(line) + ")";
      return false;
    }
    ppdMarkDefaults(ppd_);
    cupsMarkOptions(ppd_, num_options_, options_);
    return true;
  }

  // A job option's value; null when the job did not give it.
  const char* Option(std::string_view name) const {
    return cupsGetOption(std::string(name).c_str(), num_options_, options_);
  }

  // Reads one entry of the catalogue: the choice marked on the PPD for
  // it (the job's, or the queue's default; libcups marks the standard
  // options' choices too: media, sides, collate), then the job's value of
  // each of its CUPS names.
  bool Read(const runner::JobOption& option, runner::TicketReader* reader,
            std::string* error) const {
    if (!option.ppd.empty()) {
      const std::string ppd_option(option.ppd);
      const ppd_choice_t* c = ppdFindMarkedChoice(ppd_, ppd_option.c_str());
      if (!c) {
        *error = "the PPD has no choice for " + ppd_option;
        return false;
      }
      const std::string_view value = runner::PpdChoiceValue(option, c->choice);
      if (value.empty()) {
        *error = ppd_option + "=" + runner::Quoted(c->choice) + ": not a choice this filter knows";
        return false;
      }
      if (!reader->Read(option, value, Option(option.ppd) != nullptr, error)) return false;
    }
    for (std::string_view names = option.cups; !names.empty();) {
      const std::string_view name = names.substr(0, names.find(' '));
      names.remove_prefix(std::min(name.size() + 1, names.size()));
      const char* v = Option(name);
      if (v && !reader->Read(option, v, true, error)) return false;
    }
    return true;
  }

 private:
  int num_options_ = 0;
  cups_option_t* options_ = nullptr;
  ppd_file_t* ppd_ = nullptr;
};

bool ParseJobId(const char* text, uint32_t* id, std::string* error) {
  const std::string_view s = text;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *id);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size()) {
    *error = "job-id '" + runner::Quoted(s) + "' is not a number";
    return false;
  }
  return true;
}

}  // namespace

bool ReadJobRequest(int argc, const char* const* argv, const std::string& ppd_path, JobRequest* out,
                    std::string* error) {
  if (argc < 6 || argc > 7) {
    *error = "expected the arguments job-id user title copies options [file]";
    return false;
  }
  JobRequest r;
  if (!ParseJobId(argv[1], &r.job_id, error)) return false;
  r.title = argv[3];
  if (argc == 7) r.input = argv[6];

  Options job;
  if (!job.Open(argv[5], ppd_path, error)) return false;
  runner::TicketReader reader;
  for (const runner::JobOption& option : runner::JobCatalogue()) {
    // cupsd gives the job's copies as an argument of their own.
    if (option.name == "copies" && !reader.Read(option, argv[4], true, error)) return false;
    if (!job.Read(option, &reader, error)) return false;
  }
  r.ticket = reader.ticket();
  r.not_applied = reader.notes();
  *out = std::move(r);
  return true;
}

}  // namespace pclspool::filter

#pragma GCC diagnostic pop

// Under LeakSanitizer: libcups 2.4 keeps a few strings of the PPD cache that
// cupsMarkOptions makes and ppdClose does not free. They are libcups's, and
// a filter whose exit status a leak report changed would fail every job.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PCLSPOOL_LSAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(PCLSPOOL_LSAN)
extern "C" const char* __lsan_default_suppressions() { return "leak:_ppdCacheCreateWithPPD\n"; }
#endif
