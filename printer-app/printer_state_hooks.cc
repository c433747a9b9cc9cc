#include "printer-app/printer_state_hooks.h"

#include <dlfcn.h>

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "printer-app/copier_watch.h"
#include "printer-app/printer_view.h"
#include "runner/job_catalogue.h"
#include "runner/job_ticket.h"

namespace pclspool::app {

namespace {

std::atomic<CopierWatch*> g_watch{nullptr};

template <typename F>
F Pappl(const char* name) {
  return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

using CopyStateFn = void (*)(pappl_printer_t*, ipp_tag_t, ipp_t*, pappl_client_t*, cups_array_t*);
using GetStateFn = ipp_pstate_t (*)(pappl_printer_t*);
using RunFn = void (*)(pappl_system_t*);
using CopyAttributesFn = void (*)(pappl_printer_t*, pappl_client_t*, cups_array_t*, const char*);

std::optional<PrinterView> ViewOf(pappl_printer_t* printer) {
  CopierWatch* watch = g_watch.load();
  // papplPrinterGetID reads the id without taking the printer's lock, which
  // the callers of the copy function hold.
  return watch ? watch->View(papplPrinterGetID(printer)) : std::nullopt;
}

// The attributes of `ipp` after `from` (all of them when null).
std::vector<ipp_attribute_t*> AttributesAfter(ipp_t* ipp, ipp_attribute_t* from) {
  std::vector<ipp_attribute_t*> after;
  bool past = from == nullptr;
  for (ipp_attribute_t* a = ippFirstAttribute(ipp); a; a = ippNextAttribute(ipp)) {
    if (past) after.push_back(a);
    past = past || a == from;
  }
  return after;
}

ipp_attribute_t* LastAttribute(ipp_t* ipp) {
  ipp_attribute_t* last = nullptr;
  for (ipp_attribute_t* a = ippFirstAttribute(ipp); a; a = ippNextAttribute(ipp)) last = a;
  return last;
}

// PAPPL adds the three with constant strings; they are made again, with
// copies, where they change.
void Mend(ipp_t* ipp, ipp_tag_t group, cups_array_t* ra, const std::vector<ipp_attribute_t*>& made,
          const PrinterView& view) {
  ipp_attribute_t *state = nullptr, *reasons = nullptr, *message = nullptr;
  for (ipp_attribute_t* a : made) {
    const std::string name = ippGetName(a) ? ippGetName(a) : "";
    if (name == "printer-state") state = a;
    if (name == "printer-state-reasons") reasons = a;
    if (name == "printer-state-message") message = a;
  }
  StateAttributes pappl;
  if (state) pappl.state = static_cast<ipp_pstate_t>(ippGetInteger(state, 0));
  for (int i = 0; reasons && i < ippGetCount(reasons); ++i) pappl.reasons.push_back(ippGetString(reasons, i, nullptr));
  if (message) pappl.message = ippGetString(message, 0, nullptr);
  const StateAttributes shown = PresentState(pappl, view);

  if (state && shown.state != pappl.state) ippSetInteger(ipp, &state, 0, shown.state);
  // PAPPL leaves the reasons out when it has none to name.
  const bool asked = !ra || cupsArrayFind(ra, const_cast<char*>("printer-state-reasons"));
  if ((reasons || asked) && shown.reasons != pappl.reasons) {
    std::vector<const char*> values;
    for (const std::string& r : shown.reasons) values.push_back(r.c_str());
    if (reasons) ippDeleteAttribute(ipp, reasons);
    ippAddStrings(ipp, group, IPP_TAG_KEYWORD, "printer-state-reasons", static_cast<int>(values.size()),
                  nullptr, values.data());
  }
  if (message && shown.message != pappl.message) {
    ippDeleteAttribute(ipp, message);
    ippAddString(ipp, group, IPP_TAG_TEXT, "printer-state-message", nullptr, shown.message.c_str());
  }
}

// The copier's copies and finishings among the attributes PAPPL made.
void MendCapabilities(ipp_t* ipp, const std::vector<ipp_attribute_t*>& made) {
  for (ipp_attribute_t* a : made) {
    const std::string name = ippGetName(a) ? ippGetName(a) : "";
    int upper = 0;
    // 1-1 stays: PAPPL's for a raster format, which it streams.
    if (name == "copies-supported" && ippGetRange(a, 0, &upper) == 1 && upper > 1) {
      ippSetRange(ipp, &a, 0, 1, runner::MaxCopies());
    }
    if (name == "finishings-supported") {
      const runner::JobOption& finishings = *runner::FindJobOption("finishings");
      for (std::size_t i = 0; i < finishings.values.size(); ++i) {
        ippSetInteger(ipp, &a, static_cast<int>(i), std::stoi(std::string(finishings.values[i].keyword)));
      }
    }
  }
}

}  // namespace

void ShowCopierStates(CopierWatch* watch) { g_watch = watch; }

bool CopierStateAsked(pappl_printer_t* printer) {
  if (CopierWatch* watch = g_watch.load()) watch->Wake(papplPrinterGetID(printer));
  return true;
}

ipp_pstate_t RealPrinterState(pappl_printer_t* printer) {
  static const GetStateFn real = Pappl<GetStateFn>("papplPrinterGetState");
  return real ? real(printer) : IPP_PSTATE_IDLE;
}

}  // namespace pclspool::app

extern "C" {

void _papplPrinterCopyStateNoLock(pappl_printer_t* printer, ipp_tag_t group_tag, ipp_t* ipp,
                                  pappl_client_t* client, cups_array_t* ra) {
  using namespace pclspool::app;
  static const CopyStateFn real = Pappl<CopyStateFn>("_papplPrinterCopyStateNoLock");
  if (!real) return;
  ipp_attribute_t* last = LastAttribute(ipp);
  real(printer, group_tag, ipp, client, ra);
  if (const std::optional<PrinterView> view = ViewOf(printer)) {
    Mend(ipp, group_tag, ra, AttributesAfter(ipp, last), *view);
  }
}

ipp_pstate_t papplPrinterGetState(pappl_printer_t* printer) {
  using namespace pclspool::app;
  const ipp_pstate_t state = RealPrinterState(printer);
  const std::optional<PrinterView> view = ViewOf(printer);
  return view && view->device_wait ? IPP_PSTATE_PROCESSING : state;
}

void _papplPrinterCopyAttributesNoLock(pappl_printer_t* printer, pappl_client_t* client,
                                       cups_array_t* ra, const char* format) {
  using namespace pclspool::app;
  static const CopyAttributesFn real =
      Pappl<CopyAttributesFn>("_papplPrinterCopyAttributesNoLock");
  if (!real) return;
  ipp_t* response = papplClientGetResponse(client);
  ipp_attribute_t* last = LastAttribute(response);
  real(printer, client, ra, format);
  MendCapabilities(response, AttributesAfter(response, last));
}

void papplSystemRun(pappl_system_t* system) {
  using namespace pclspool::app;
  static const RunFn real = Pappl<RunFn>("papplSystemRun");
  CopierWatch* watch = g_watch.load();
  if (watch) watch->Start(system);
  if (real) real(system);
  if (watch) {
    g_watch = nullptr;
    watch->Stop();
  }
}

}  // extern "C"
