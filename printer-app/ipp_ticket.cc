#include "printer-app/ipp_ticket.h"

#include "runner/job_catalogue.h"
#include "runner/report.h"

namespace pclspool::app {

namespace {

// An attribute's values as the catalogue reads them: integers and enums
// as numbers, ranges as "LOWER-UPPER", comma-separated.
std::string Text(ipp_attribute_t* attr) {
  std::string text;
  for (int i = 0; i < ippGetCount(attr); ++i) {
    if (i > 0) text += ',';
    switch (ippGetValueTag(attr)) {
      case IPP_TAG_INTEGER:
      case IPP_TAG_ENUM:
        text += std::to_string(ippGetInteger(attr, i));
        break;
      case IPP_TAG_RANGE: {
        int upper = 0;
        const int lower = ippGetRange(attr, i, &upper);
        text += std::to_string(lower) + "-" + std::to_string(upper);
        break;
      }
      default: {
        const char* s = ippGetString(attr, i, nullptr);
        if (s) {
          text += s;
        } else {
          char value[256];
          ippAttributeString(attr, value, sizeof(value));
          return value;
        }
      }
    }
  }
  return text;
}

// Whether the attribute is written as IPP writes the entry's values (a
// keyword may come as a name).
bool OfSyntax(ipp_attribute_t* attr, runner::IppSyntax syntax) {
  const ipp_tag_t tag = ippGetValueTag(attr);
  switch (syntax) {
    case runner::IppSyntax::kKeyword: return tag == IPP_TAG_KEYWORD || tag == IPP_TAG_NAME;
    case runner::IppSyntax::kInteger: return tag == IPP_TAG_INTEGER;
    case runner::IppSyntax::kEnum: return tag == IPP_TAG_ENUM || tag == IPP_TAG_INTEGER;
    case runner::IppSyntax::kRanges: return tag == IPP_TAG_RANGE;
  }
  return false;
}

// PAPPL's print options, as the catalogue reads them.
std::string PapplValue(const JobAttributes& a, std::string_view name) {
  if (name == "copies") return std::to_string(a.copies);
  if (name == "media") return a.media;
  if (name == "orientation-requested") {
    // None, or anything else: the document's own, portrait.
    const int o = static_cast<int>(a.orientation);
    return std::to_string(o >= IPP_ORIENT_PORTRAIT && o <= IPP_ORIENT_REVERSE_PORTRAIT
                              ? o
                              : static_cast<int>(IPP_ORIENT_PORTRAIT));
  }
  if (name == "sides") {
    return a.sides == PAPPL_SIDES_TWO_SIDED_LONG_EDGE    ? "two-sided-long-edge"
           : a.sides == PAPPL_SIDES_TWO_SIDED_SHORT_EDGE ? "two-sided-short-edge"
                                                         : "one-sided";
  }
  switch (a.scaling) {  // print-scaling
    case PAPPL_SCALING_AUTO_FIT: return "auto-fit";
    case PAPPL_SCALING_FILL: return "fill";
    case PAPPL_SCALING_FIT: return "fit";
    case PAPPL_SCALING_NONE: return "none";
    default: return "auto";
  }
}

}  // namespace

bool ReadJobTicket(const JobAttributes& a, const std::vector<std::string>& watermark_keywords,
                   runner::JobTicket* ticket, std::string* error) {
  runner::TicketReader reader(watermark_keywords);
  for (const runner::JobOption& o : runner::JobCatalogue()) {
    const std::string name(o.name);
    ipp_attribute_t* attr = nullptr;
    switch (o.app) {
      case runner::AppAttribute::kNone:
        continue;
      case runner::AppAttribute::kPappl:
        if (!reader.Read(o, PapplValue(a, name), true, error)) return false;
        continue;
      case runner::AppAttribute::kJob:
      case runner::AppAttribute::kVendor:
        attr = a.job ? a.job(name.c_str()) : nullptr;
        break;
    }
    const bool named = attr != nullptr;
    if (!attr && o.app == runner::AppAttribute::kVendor && a.printer_default) {
      attr = a.printer_default(name.c_str());
    }
    if (!attr) continue;
    if (!OfSyntax(attr, o.syntax)) {
      *error = name + "=" + runner::Quoted(Text(attr)) + ": not a value the copier takes";
      return false;
    }
    if (!reader.Read(o, Text(attr), named, error)) return false;
  }
  *ticket = reader.ticket();
  return true;
}

}  // namespace pclspool::app
