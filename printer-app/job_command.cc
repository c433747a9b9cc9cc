#include "printer-app/job_command.h"

#include <charconv>
#include <functional>

namespace pclspool::app {

namespace {

using runner::DocumentCopies;
using runner::JobTicket;
using runner::NupLayout;
using runner::Orientation;
using runner::PageSet;
using runner::Sides;

template <typename T>
struct Name {
  std::string_view name;
  T value;
};

constexpr Name<DocumentKind> kKinds[] = {
    {"pdf", DocumentKind::kPdf},       {"postscript", DocumentKind::kPostScript},
    {"pcl", DocumentKind::kPcl},       {"raster", DocumentKind::kRaster},
    {"image", DocumentKind::kImage},   {"unknown", DocumentKind::kUnknown}};
constexpr Name<Scaling> kScalings[] = {{"auto", Scaling::kAuto},
                                       {"auto-fit", Scaling::kAutoFit},
                                       {"fit", Scaling::kFit},
                                       {"fill", Scaling::kFill},
                                       {"none", Scaling::kNone}};
constexpr Name<Sides> kSides[] = {{"one-sided", Sides::kOneSided},
                                  {"two-sided-long-edge", Sides::kLongEdge},
                                  {"two-sided-short-edge", Sides::kShortEdge}};
constexpr Name<PageSet> kPageSets[] = {
    {"all", PageSet::kAll}, {"odd", PageSet::kOdd}, {"even", PageSet::kEven}};
constexpr Name<NupLayout> kLayouts[] = {
    {"lrtb", NupLayout::kLrtb}, {"lrbt", NupLayout::kLrbt}, {"rltb", NupLayout::kRltb},
    {"rlbt", NupLayout::kRlbt}, {"tblr", NupLayout::kTblr}, {"tbrl", NupLayout::kTbrl},
    {"btlr", NupLayout::kBtlr}, {"btrl", NupLayout::kBtrl}};
constexpr Name<DocumentCopies> kDocuments[] = {{"collated", DocumentCopies::kCollated},
                                               {"uncollated", DocumentCopies::kUncollated}};

template <typename T, std::size_t N>
std::string_view NameOf(const Name<T> (&table)[N], T value) {
  for (const auto& e : table) {
    if (e.value == value) return e.name;
  }
  return table[0].name;
}

template <typename T, std::size_t N>
bool ValueOf(const Name<T> (&table)[N], std::string_view name, T* value) {
  for (const auto& e : table) {
    if (e.name == name) {
      *value = e.value;
      return true;
    }
  }
  return false;
}

template <typename T>
bool Number(std::string_view text, T* value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

bool Flag(std::string_view text, bool* on) {
  if (text != "0" && text != "1") return false;
  *on = text == "1";
  return true;
}

// One argument --NAME=VALUE: how it is written from a command and read into
// one.
struct Field {
  std::string_view name;
  std::function<std::string(const JobCommand&)> write;
  std::function<bool(std::string_view, JobCommand*)> read;
};

std::string Bit(bool on) { return on ? "1" : "0"; }

const std::vector<Field>& Fields() {
  static const std::vector<Field> fields = {
      {"kind", [](const JobCommand& c) { return std::string(NameOf(kKinds, c.kind)); },
       [](std::string_view v, JobCommand* c) { return ValueOf(kKinds, v, &c->kind); }},
      {"input", [](const JobCommand& c) { return c.input; },
       [](std::string_view v, JobCommand* c) { return c->input = v, !v.empty(); }},
      {"ini", [](const JobCommand& c) { return c.ini; },
       [](std::string_view v, JobCommand* c) { return c->ini = v, !v.empty(); }},
      {"work-dir", [](const JobCommand& c) { return c.work_dir; },
       [](std::string_view v, JobCommand* c) { return c->work_dir = v, !v.empty(); }},
      {"job-id", [](const JobCommand& c) { return std::to_string(c.job_id); },
       [](std::string_view v, JobCommand* c) { return Number(v, &c->job_id); }},
      {"scaling", [](const JobCommand& c) { return std::string(NameOf(kScalings, c.scaling)); },
       [](std::string_view v, JobCommand* c) { return ValueOf(kScalings, v, &c->scaling); }},
      {"copies", [](const JobCommand& c) { return std::to_string(c.ticket.copies); },
       [](std::string_view v, JobCommand* c) { return Number(v, &c->ticket.copies); }},
      {"collate", [](const JobCommand& c) { return Bit(c.ticket.collate); },
       [](std::string_view v, JobCommand* c) { return Flag(v, &c->ticket.collate); }},
      {"number-up", [](const JobCommand& c) { return std::to_string(c.ticket.number_up); },
       [](std::string_view v, JobCommand* c) { return Number(v, &c->ticket.number_up); }},
      {"booklet", [](const JobCommand& c) { return Bit(c.ticket.booklet); },
       [](std::string_view v, JobCommand* c) { return Flag(v, &c->ticket.booklet); }},
      {"booklet-style", [](const JobCommand& c) { return std::to_string(c.ticket.booklet_style); },
       [](std::string_view v, JobCommand* c) { return Number(v, &c->ticket.booklet_style); }},
      {"paper", [](const JobCommand& c) { return c.ticket.paper; },
       [](std::string_view v, JobCommand* c) {
         return c->ticket.paper = v, runner::IsKnownPaper(c->ticket.paper);
       }},
      {"orientation",
       [](const JobCommand& c) { return std::to_string(static_cast<int>(c.ticket.orientation)); },
       [](std::string_view v, JobCommand* c) {
         int o = 0;
         if (!Number(v, &o) || o < 3 || o > 6) return false;
         c->ticket.orientation = static_cast<Orientation>(o);
         return true;
       }},
      {"sides", [](const JobCommand& c) { return std::string(NameOf(kSides, c.ticket.sides)); },
       [](std::string_view v, JobCommand* c) { return ValueOf(kSides, v, &c->ticket.sides); }},
      {"watermark", [](const JobCommand& c) { return std::to_string(c.ticket.watermark); },
       [](std::string_view v, JobCommand* c) { return Number(v, &c->ticket.watermark); }},
      {"page-ranges", [](const JobCommand& c) { return c.ticket.page_ranges; },
       [](std::string_view v, JobCommand* c) { return c->ticket.page_ranges = v, true; }},
      {"page-set",
       [](const JobCommand& c) { return std::string(NameOf(kPageSets, c.ticket.page_set)); },
       [](std::string_view v, JobCommand* c) {
         return ValueOf(kPageSets, v, &c->ticket.page_set);
       }},
      {"reverse-order", [](const JobCommand& c) { return Bit(c.ticket.reverse_order); },
       [](std::string_view v, JobCommand* c) { return Flag(v, &c->ticket.reverse_order); }},
      {"number-up-layout",
       [](const JobCommand& c) { return std::string(NameOf(kLayouts, c.ticket.number_up_layout)); },
       [](std::string_view v, JobCommand* c) {
         return ValueOf(kLayouts, v, &c->ticket.number_up_layout);
       }},
      {"page-border", [](const JobCommand& c) { return Bit(c.ticket.page_border); },
       [](std::string_view v, JobCommand* c) { return Flag(v, &c->ticket.page_border); }},
      {"documents",
       [](const JobCommand& c) { return std::string(NameOf(kDocuments, c.ticket.documents)); },
       [](std::string_view v, JobCommand* c) {
         return ValueOf(kDocuments, v, &c->ticket.documents);
       }},
  };
  return fields;
}

}  // namespace

std::vector<std::string> JobCommandArgs(const JobCommand& command) {
  std::vector<std::string> args;
  for (const Field& f : Fields()) {
    args.push_back("--" + std::string(f.name) + "=" + f.write(command));
  }
  return args;
}

bool ParseJobCommand(const std::vector<std::string_view>& args, JobCommand* command,
                     std::string* error) {
  JobCommand c;
  std::vector<bool> seen(Fields().size(), false);
  for (const std::string_view arg : args) {
    const std::size_t eq = arg.find('=');
    bool known = false;
    for (std::size_t i = 0; i < Fields().size() && !known; ++i) {
      const Field& f = Fields()[i];
      if (eq == std::string_view::npos || arg.substr(0, eq) != "--" + std::string(f.name)) continue;
      known = true;
      if (!f.read(arg.substr(eq + 1), &c)) {
        *error = "job process: bad value in " + std::string(arg);
        return false;
      }
      seen[i] = true;
    }
    if (!known) {
      *error = "job process: unknown argument " + std::string(arg);
      return false;
    }
  }
  for (std::size_t i = 0; i < seen.size(); ++i) {
    if (!seen[i]) {
      *error = "job process: missing --" + std::string(Fields()[i].name);
      return false;
    }
  }
  *command = std::move(c);
  return true;
}

DocumentKind KindOfFormat(std::string_view mime_type) {
  static constexpr Name<DocumentKind> kFormats[] = {
      {"application/pdf", DocumentKind::kPdf},
      {"application/postscript", DocumentKind::kPostScript},
      {"application/vnd.hp-pcl", DocumentKind::kPcl},
      {"image/pwg-raster", DocumentKind::kRaster},
      {"image/urf", DocumentKind::kRaster},
      {"image/jpeg", DocumentKind::kImage},
      {"image/png", DocumentKind::kImage}};
  DocumentKind kind = DocumentKind::kUnknown;
  ValueOf(kFormats, mime_type, &kind);
  return kind;
}

}  // namespace pclspool::app
