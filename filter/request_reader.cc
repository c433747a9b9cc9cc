#include "filter/request_reader.h"

#include <charconv>
#include <cstring>
#include <string_view>

#include "filter/option_values.h"
#include "runner/report.h"

// libcups marks its PPD functions deprecated, yet a PPD driver's filter
// still reads its queue's PPD with them: CUPS 2.x hands it nothing else.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <cups/cups.h>
#include <cups/ppd.h>

namespace pclspool::filter {

namespace {

template <typename T>
struct Choice {
  const char* name;
  T value;
};

using runner::Sides;

// The PPD's page sizes, by the paper names of the module's table.
constexpr Choice<const char*> kPageSizes[] = {
    {"Letter", "letter"}, {"Legal", "legal"}, {"A3", "a3"}, {"A4", "a4"}};
constexpr Choice<Sides> kDuplex[] = {{"None", Sides::kOneSided},
                                     {"DuplexNoTumble", Sides::kLongEdge},
                                     {"DuplexTumble", Sides::kShortEdge}};
constexpr Choice<bool> kOnOff[] = {{"True", true}, {"False", false}, {"On", true}, {"Off", false}};
constexpr Choice<uint16_t> kBookletStyles[] = {{"Left", 0}, {"Right", 1}};

// The PPD's largest watermark choice. Texts beyond it can be chosen only by
// editing the PPD and this limit together.
constexpr uint16_t kMaxWatermark = 99;

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
  const char* Option(const char* name) const { return cupsGetOption(name, num_options_, options_); }

  // The choice marked for a PPD option, the job's or the queue's default.
  // False with *error when the PPD lacks the option or its choice is not in
  // the table.
  template <typename T, std::size_t N>
  bool Marked(const char* option, const Choice<T> (&table)[N], T* value, std::string* error) const {
    const ppd_choice_t* c = ppdFindMarkedChoice(ppd_, option);
    if (!c) {
      *error = "the PPD has no choice for " + std::string(option);
      return false;
    }
    for (const Choice<T>& entry : table) {
      if (strcasecmp(entry.name, c->choice) == 0) {
        *value = entry.value;
        return true;
      }
    }
    *error =
        std::string(option) + "=" + runner::Quoted(c->choice) + ": not a choice this filter knows";
    return false;
  }

  // The marked Watermark choice: None, or the number of an INI text.
  bool Watermark(uint16_t* number, std::string* error) const {
    const ppd_choice_t* c = ppdFindMarkedChoice(ppd_, "Watermark");
    if (!c) {
      *error = "the PPD has no choice for Watermark";
      return false;
    }
    if (strcasecmp(c->choice, "None") == 0) {
      *number = 0;
      return true;
    }
    const std::string_view text = c->choice;
    uint16_t n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec != std::errc() || end != text.data() + text.size() || n == 0 || n > kMaxWatermark) {
      *error = "Watermark=" + runner::Quoted(text) + ": not None or a number from 1 to " +
               std::to_string(kMaxWatermark);
      return false;
    }
    *number = n;
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
  runner::JobTicket& t = r.ticket;
  if (!ParseCopies(argv[4], &t.copies, error)) return false;
  if (argc == 7) r.input = argv[6];

  Options ticket;
  if (!ticket.Open(argv[5], ppd_path, error)) return false;
  const char* paper = nullptr;
  if (!ticket.Marked("PageSize", kPageSizes, &paper, error) ||
      !ticket.Marked("Duplex", kDuplex, &t.sides, error) ||
      !ticket.Marked("Collate", kOnOff, &t.collate, error) ||
      !ticket.Marked("Booklet", kOnOff, &t.booklet, error) ||
      !ticket.Marked("BindEdge", kBookletStyles, &t.booklet_style, error) ||
      !ticket.Watermark(&t.watermark, error)) {
    return false;
  }
  t.paper = paper;
  // The standard options that have no PPD choice. "booklet" has one, but
  // its usual values (on, true, yes) do not all match a choice name.
  if (const char* v = ticket.Option("booklet");
      v && !ParseSwitch("booklet", v, &t.booklet, error)) {
    return false;
  }
  if (const char* v = ticket.Option("number-up"); v && !ParseNumberUp(v, &t.number_up, error)) {
    return false;
  }
  if (const char* v = ticket.Option("page-ranges");
      v && !ParsePageRanges(v, &t.page_ranges, error)) {
    return false;
  }
  if (const char* v = ticket.Option("orientation-requested");
      v && !ParseOrientation(v, &t.orientation, error)) {
    return false;
  }
  if (const char* v = ticket.Option("page-set"); v && !ParsePageSet(v, &t.page_set, error)) {
    return false;
  }
  // outputorder is the IPP name, OutputOrder the PPD keyword CUPS's own
  // drivers use.
  for (const char* name : {"outputorder", "OutputOrder"}) {
    if (const char* v = ticket.Option(name); v && !ParseOutputOrder(v, &t.reverse_order, error)) {
      return false;
    }
  }
  if (const char* v = ticket.Option("page-border"); v && !ParsePageBorder(v, &t.page_border, error)) {
    return false;
  }
  if (const char* v = ticket.Option("number-up-layout");
      v && !ParseNumberUpLayout(v, &t.number_up_layout, error)) {
    return false;
  }
  if (const char* v = ticket.Option("multiple-document-handling")) {
    if (!ParseDocumentHandling(v, &t.documents, error)) return false;
    // CUPS marks Collate=False for separate-documents-uncollated-copies,
    // but IPP's uncollated documents are each a whole copy (A A B B): the
    // sheets are repeated only when the job itself asks collate=false.
    if (t.documents == runner::DocumentCopies::kUncollated && !ticket.Option("collate") &&
        !ticket.Option("Collate")) {
      t.collate = true;
    }
  }
  // Options CUPS's own chain would apply that the copier does not: said,
  // never silently dropped.
  if (const char* v = ticket.Option("mirror"); v && strcasecmp(v, "false") != 0 &&
                                                 strcasecmp(v, "off") != 0 &&
                                                 strcasecmp(v, "no") != 0) {
    r.not_applied.push_back("mirror is not applied: pages print as they are");
  }
  if (const char* v = ticket.Option("print-scaling"); v && strcasecmp(v, "auto") != 0 &&
                                                         strcasecmp(v, "fit") != 0 &&
                                                         strcasecmp(v, "auto-fit") != 0) {
    r.not_applied.push_back(std::string("print-scaling=") + v +
                            " is not applied: every page is scaled to fit its place on the sheet");
  }
  if (const char* v = ticket.Option("landscape")) {
    // "-o landscape", the older way, arrives as landscape=true.
    bool on = false;
    if (!ParseSwitch("landscape", v, &on, error)) return false;
    if (on) t.orientation = runner::Orientation::kLandscape;
  }
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
