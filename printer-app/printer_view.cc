#include "printer-app/printer_view.h"

#include <algorithm>
#include <cctype>

namespace pclspool::app {

namespace {

constexpr char kConnecting[] = "connecting-to-device";
constexpr char kOfflineReport[] = "offline-report";

void AddKeyword(std::vector<std::string>* to, const std::string& k) {
  if (std::find(to->begin(), to->end(), k) == to->end()) to->push_back(k);
}

std::string Sentence(std::string words) {
  if (words.empty()) return words;
  words[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(words[0])));
  return words + ".";
}

}  // namespace

PrinterView MakeView(const std::string& address, const CopierReport& report, bool device_wait) {
  PrinterView v;
  v.address = address;
  v.device_wait = device_wait;
  v.report = report;
  unsigned bits = PAPPL_PREASON_NONE;
  for (const CopierCondition& c : report.status.conditions) {
    AddKeyword(&v.keywords, ConditionKeyword(c.what));
    bits |= ConditionBit(c.what);
  }
  const bool unreachable = device_wait || report.reach == CopierReport::Reach::kNo;
  if (unreachable) {
    AddKeyword(&v.keywords, kOfflineReport);
    bits |= PAPPL_PREASON_OFFLINE;
    v.message = "Waiting for the copier at " + address;
  } else {
    v.message = Sentence(JoinedWords(report.status.conditions, false));
  }
  if (device_wait) AddKeyword(&v.keywords, kConnecting);
  v.bits = static_cast<pappl_preason_t>(bits);
  return v;
}

std::string DeviceWaitJobMessage(const std::string& address) {
  return "waiting for the copier at " + address;
}

StateAttributes PresentState(const StateAttributes& pappl, const PrinterView& view) {
  StateAttributes shown = pappl;
  const std::vector<std::string>& bit_names = PapplBitNames();
  shown.reasons.clear();
  for (const std::string& r : pappl.reasons) {
    if (r == "none" || std::find(bit_names.begin(), bit_names.end(), r) != bit_names.end()) continue;
    // PAPPL's "paused" for a device it cannot open; the administrator's
    // pause while a job waits is moving-to-paused.
    if (view.device_wait && r == "paused") continue;
    AddKeyword(&shown.reasons, r);
  }
  for (const std::string& k : view.keywords) AddKeyword(&shown.reasons, k);
  if (shown.reasons.empty()) shown.reasons.push_back("none");
  if (view.device_wait) shown.state = IPP_PSTATE_PROCESSING;
  if (!view.message.empty()) shown.message = view.message;
  return shown;
}

}  // namespace pclspool::app
