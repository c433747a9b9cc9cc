// The catalogue of job options: every choice a print dialog, lp or the
// command makes of a job, each defined once. An entry names its IPP
// attribute and values (and where the printer application's attribute
// comes from), its CUPS option names and PPD choices, the command's flag
// and help, its default, its words for a person, and how a value is
// checked and set on the job ticket. The front ends read their own
// spellings through it (TicketReader), so that one value means one thing
// on every road; the job process gets its ticket in the catalogue's own
// form (WriteTicket, ReadTicket).
//
// Several entries may be spellings of one option, setting the same field
// of the ticket: IPP's finishings 13 (booklet-maker), CUPS's booklet switch
// and the PPD's Booklet and BindEdge are the booklet's; CUPS's landscape
// switch is orientation-requested's.
//
// A new option is an entry here, a field of JobTicket, and the code where
// it acts (runner/ticket_settings.cc, or the rendering side).
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runner/job_ticket.h"

namespace pclspool::runner {

// How IPP writes an option's value.
enum class IppSyntax { kKeyword, kInteger, kEnum, kRanges };

// The printer application's attribute of an option.
enum class AppAttribute {
  kNone,    // none: the option is another road's
  kPappl,   // PAPPL's own: its -supported and -default, and the job's value
            // (or the printer's default) in PAPPL's print options
  kJob,     // a job attribute PAPPL lets through: the job's value or none
  kVendor,  // the driver's: -supported, a -default per printer (the
            // presets), and the job's value or else that default
};

struct OptionValue {
  std::string_view keyword;  // as IPP and CUPS write it; an integer or enum as its number
  std::string_view label;    // what a person reads for it
  std::string_view names{};  // other words taken for it, blank-separated
};

// A choice of the PPD's option, and the value it stands for.
struct PpdChoice {
  std::string_view choice;  // "DuplexNoTumble"
  std::string_view label;   // the PPD's text for it
  std::string_view value;   // a keyword or name of the entry's values
};

class TicketReader;

struct JobOption {
  std::string_view name;   // the IPP attribute, and the CUPS option of that name
  std::string_view label;  // what a person reads for it
  IppSyntax syntax;
  AppAttribute app;
  // The values offered; empty for an open range (copies, page-ranges) or
  // a list made per printer (watermark).
  std::span<const OptionValue> values;
  std::string_view default_value;  // "" : no default of its own (a spelling)
  std::string_view cups;           // the CUPS option names read from a job, blank-separated
  std::string_view ppd;            // the PPD option whose marked choice it is, or ""
  std::string_view ppd_label;
  std::span<const PpdChoice> ppd_choices;
  std::string_view flag;        // the command's flag, or ""
  std::string_view flag_value;  // the name of its value in the help; "" : a switch
  std::string_view flag_sets;   // a switch: the value it gives
  std::string_view help;        // the command's help for the flag; lines end with '\n'
  // Checks a value and sets the ticket; false with *why (a phrase: what
  // the copier takes).
  bool (*read)(std::string_view value, TicketReader& reader, std::string* why);
  // The ticket's value, as `read` takes it back; "" when there is none to
  // write. Null for a spelling, which another entry writes.
  std::string (*write)(const JobTicket& ticket);
  // What a job that asks for a value the copier does not apply is told
  // ("NAME is not applied: ..."), or "" when every value is applied.
  std::string_view not_applied{};
};

// The line a job is told when the option's value is not applied.
std::string NotApplied(const JobOption& option);

// Every entry, in the order a job's values are read: an entry that
// depends on another comes after it.
std::span<const JobOption> JobCatalogue();

// The entry of an IPP or CUPS name, or of the command's flag; null when
// none has it.
const JobOption* FindJobOption(std::string_view name);
const JobOption* FindJobOptionByFlag(std::string_view flag);

// The value a choice of the entry's PPD option stands for; empty when the
// choice is not one of the catalogue's.
std::string_view PpdChoiceValue(const JobOption& option, std::string_view choice);

// The keywords of the settings file's watermark texts, in its order, as
// the printer application offers them: the text in lower case, each run
// of characters other than ASCII letters and digits one hyphen ("Top
// Secret!" is top-secret). A text that gives no letter or digit, or the
// keyword of an earlier text or "none", gets its number appended
// ("text-3", "draft-2").
std::vector<std::string> WatermarkKeywords(const std::vector<std::string>& texts);

// The keyword of "no watermark".
inline constexpr std::string_view kNoWatermark = "none";

// Reads a job's values into a ticket, each through its entry: the
// defaults (a PPD's, a printer's) first, then the job's own.
class TicketReader {
 public:
  // `watermark_keywords`: what the watermark's keywords stand for (text 1
  // first); without them a watermark is named by its number.
  explicit TicketReader(std::vector<std::string> watermark_keywords = {});

  // One value of an entry; `named` when the job gave it (rather than a
  // default). False with *error, one line: "NAME=VALUE: why", the value
  // quoted as messages quote text from a job.
  bool Read(const JobOption& option, std::string_view value, bool named, std::string* error);

  const JobTicket& ticket() const { return ticket_; }
  JobTicket& ticket() { return ticket_; }
  // What the job asked that the copier does not do at all, one line each.
  const std::vector<std::string>& notes() const { return notes_; }

  // For the entries' read functions.
  bool Named(std::string_view option) const;
  void Note(std::string line) { notes_.push_back(std::move(line)); }
  const std::vector<std::string>& watermark_keywords() const { return keywords_; }

 private:
  JobTicket ticket_;
  std::vector<std::string> keywords_;
  std::vector<std::string> named_;
  std::vector<std::string> notes_;
};

// The ticket as one line of NAME=VALUE words, and read back; the job
// process of the printer application gets its ticket so.
std::string WriteTicket(const JobTicket& ticket);
bool ReadTicket(std::string_view text, JobTicket* ticket, std::string* error);

// The command's help for every entry with a flag, as --help shows it.
std::string JobOptionsHelp();

}  // namespace pclspool::runner
