// The printer application's reading of a job's IPP attributes
// (printer-app/ipp_ticket, printer-app/vendor_attributes) on an arbitrary
// IPP message, as any client on the network may send one. The message is
// read with libcups as the server reads a request; its job group is the
// job's attributes. A printer group, which no client sends, stands for the
// printer's side: its "NAME-default" attributes are the administrator's
// presets as the state file gives them back, and "watermark-texts" the
// settings file's texts (without it, those of examples/OrvWater.INI).
// Beyond not crashing:
// - the watermark keywords are distinct, not "none", and lower-case
//   letters and digits in hyphen-joined runs;
// - the printer's attributes hold every vendor attribute's -supported and
//   one -default, number-up-default 1, 2 or 4;
// - an accepted ticket holds only what the copier prints, the watermark
//   it picks is the keyword the job (or the preset) named, and it reaches
//   the job process as it is (written and read back by the catalogue);
// - a refused one gets one bounded line naming the attribute: it becomes
//   the job's job-state-message and a line of the log.
#include <cups/cups.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "printer-app/ipp_ticket.h"
#include "printer-app/vendor_attributes.h"
#include "runner/job_catalogue.h"
#include "runner/page_ranges.h"
#include "runner/report.h"
#include "ticket_checks.h"

namespace {

using namespace pclspool;

struct Source {
  const uint8_t* p;
  std::size_t left;
};

ssize_t ReadMemory(void* context, ipp_uchar_t* buffer, size_t bytes) {
  auto* s = static_cast<Source*>(context);
  if (bytes > s->left) bytes = s->left;
  std::memcpy(buffer, s->p, bytes);
  s->p += bytes;
  s->left -= bytes;
  return static_cast<ssize_t>(bytes);
}

// The request's attributes of one group, as PAPPL copies the job group
// into a new job.
ipp_t* Group(ipp_t* request, ipp_tag_t group) {
  ipp_t* out = ippNew();
  for (ipp_attribute_t* a = ippFirstAttribute(request); a; a = ippNextAttribute(request)) {
    if (ippGetGroupTag(a) == group && ippGetName(a)) ippCopyAttribute(out, a, 0);
  }
  return out;
}

bool IsKeyword(const std::string& k) {
  if (k.empty() || k.front() == '-' || k.back() == '-' || k.find("--") != std::string::npos) {
    return false;
  }
  for (const char c : k) {
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-')) return false;
  }
  return true;
}

std::vector<std::string> Texts(ipp_t* printer) {
  ipp_attribute_t* attr = ippFindAttribute(printer, "watermark-texts", IPP_TAG_ZERO);
  if (!attr) return {"CONFIDENTIAL", "DRAFT"};
  std::vector<std::string> texts;
  for (int i = 0; i < ippGetCount(attr); ++i) {
    const char* s = ippGetString(attr, i, nullptr);
    texts.push_back(s ? s : "");
  }
  return texts;
}

void CheckKeywords(const std::vector<std::string>& texts, const std::vector<std::string>& keywords) {
  FUZZ_CHECK(keywords.size() == texts.size());
  for (std::size_t i = 0; i < keywords.size(); ++i) {
    FUZZ_CHECK(IsKeyword(keywords[i]));
    FUZZ_CHECK(keywords[i] != runner::kNoWatermark);
    for (std::size_t j = 0; j < i; ++j) FUZZ_CHECK(keywords[i] != keywords[j]);
  }
}

void CheckPrinterAttributes(ipp_t* driver) {
  for (const char* name : app::VendorAttributeNames()) {
    const std::string n(name);
    FUZZ_CHECK(ippFindAttribute(driver, (n + "-supported").c_str(), IPP_TAG_ZERO));
    ipp_attribute_t* d = ippFindAttribute(driver, (n + "-default").c_str(), IPP_TAG_ZERO);
    FUZZ_CHECK(d && ippGetCount(d) == 1);
  }
  const int up = ippGetInteger(ippFindAttribute(driver, "number-up-default", IPP_TAG_INTEGER), 0);
  FUZZ_CHECK(up == 1 || up == 2 || up == 4);
}

// What PAPPL's print options would hold: its types, and the values it
// lets through (an orientation from 3 to 7, a media name in 64 bytes).
app::JobAttributes PrintOptions(ipp_t* job) {
  app::JobAttributes a;
  if (ipp_attribute_t* c = ippFindAttribute(job, "copies", IPP_TAG_ZERO)) a.copies = ippGetInteger(c, 0);
  a.media = "iso_a4_210x297mm";
  const char* media = ippGetString(ippFindAttribute(job, "media", IPP_TAG_ZERO), 0, nullptr);
  if (ipp_attribute_t* col = ippFindAttribute(job, "media-col", IPP_TAG_BEGIN_COLLECTION)) {
    media = ippGetString(ippFindAttribute(ippGetCollection(col, 0), "media-size-name", IPP_TAG_ZERO),
                         0, nullptr);
  }
  if (media) a.media = std::string(media).substr(0, 63);
  const int o = ippGetInteger(ippFindAttribute(job, "orientation-requested", IPP_TAG_ENUM), 0);
  a.orientation = o >= IPP_ORIENT_PORTRAIT && o <= IPP_ORIENT_NONE ? static_cast<ipp_orient_t>(o)
                                                                   : IPP_ORIENT_NONE;
  const char* sides = ippGetString(ippFindAttribute(job, "sides", IPP_TAG_ZERO), 0, nullptr);
  if (sides && std::strcmp(sides, "two-sided-long-edge") == 0) {
    a.sides = PAPPL_SIDES_TWO_SIDED_LONG_EDGE;
  } else if (sides && std::strcmp(sides, "two-sided-short-edge") == 0) {
    a.sides = PAPPL_SIDES_TWO_SIDED_SHORT_EDGE;
  }
  const char* scaling = ippGetString(ippFindAttribute(job, "print-scaling", IPP_TAG_ZERO), 0, nullptr);
  if (scaling && std::strcmp(scaling, "fit") == 0) a.scaling = PAPPL_SCALING_FIT;
  if (scaling && std::strcmp(scaling, "fill") == 0) a.scaling = PAPPL_SCALING_FILL;
  return a;
}

void CheckTicket(const runner::JobTicket& t, ipp_t* job, ipp_t* driver,
                 const std::vector<std::string>& keywords) {
  pclspool::fuzz::CheckTicketBounds(t, keywords.size());
  ipp_attribute_t* w = ippFindAttribute(job, "watermark", IPP_TAG_ZERO);
  if (!w) w = ippFindAttribute(driver, "watermark-default", IPP_TAG_ZERO);
  const char* named = ippGetString(w, 0, nullptr);
  if (t.watermark > 0) {
    FUZZ_CHECK(named && keywords[t.watermark - 1u] == named);
  } else if (named) {
    FUZZ_CHECK(named == runner::kNoWatermark);
  }
  if (!t.page_ranges.empty()) {
    FUZZ_CHECK(ippGetValueTag(ippFindAttribute(job, "page-ranges", IPP_TAG_ZERO)) == IPP_TAG_RANGE);
    std::string again, error;
    FUZZ_CHECK(runner::ParsePageRanges(t.page_ranges, &again, &error));
    FUZZ_CHECK(again == t.page_ranges);
  }
}

void CheckMessage(const std::string& error) {
  FUZZ_CHECK(!error.empty());
  FUZZ_CHECK(error.size() <= 3 * runner::kMaxQuotedBytes + 200);
  for (const char c : error) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  ipp_t* request = ippNew();
  Source source{data, size};
  ipp_state_t state = IPP_STATE_IDLE;
  // Blocking reads from memory end the message in one call; the bound
  // only guards against a reader that stops making progress.
  for (int i = 0; i < 4 && state != IPP_STATE_DATA && state != IPP_STATE_ERROR; ++i) {
    state = ippReadIO(&source, ReadMemory, 1, nullptr, request);
  }
  if (state != IPP_STATE_DATA) {  // the server answers 400 Bad Request
    ippDelete(request);
    return 0;
  }
  ipp_t* job = Group(request, IPP_TAG_JOB);
  ipp_t* printer = Group(request, IPP_TAG_PRINTER);

  const std::vector<std::string> texts = Texts(printer);
  const std::vector<std::string> keywords = runner::WatermarkKeywords(texts);
  CheckKeywords(texts, keywords);
  ipp_t* driver = ippNew();
  app::AddVendorAttributes(driver, keywords, printer);
  CheckPrinterAttributes(driver);

  app::JobAttributes a = PrintOptions(job);
  a.job = [job](const char* name) { return ippFindAttribute(job, name, IPP_TAG_ZERO); };
  a.printer_default = [driver](const char* name) {
    return ippFindAttribute(driver, (std::string(name) + "-default").c_str(), IPP_TAG_ZERO);
  };
  runner::JobTicket ticket;
  std::string error;
  if (app::ReadJobTicket(a, keywords, &ticket, &error)) {
    CheckTicket(ticket, job, driver, keywords);
  } else {
    CheckMessage(error);
  }
  ippDelete(driver);
  ippDelete(printer);
  ippDelete(job);
  ippDelete(request);
  return 0;
}
