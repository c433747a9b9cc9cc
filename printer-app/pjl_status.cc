#include "printer-app/pjl_status.h"

#include <algorithm>
#include <cctype>

namespace pclspool::app {

namespace {

// A status message is a few lines; more than this without a form feed is
// not one, and is dropped.
constexpr std::size_t kMaxMessage = 4096;
constexpr std::size_t kMaxDisplay = 80;
constexpr int kSleep = 40000;

std::string Upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// The copier's panel text as shown here: printable ASCII, no quotes.
std::string DisplayText(std::string_view v) {
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
  std::string s;
  for (const char c : v) {
    if (c >= ' ' && c <= '~' && c != '"' && s.size() < kMaxDisplay) s += c;
  }
  return std::string(Trim(s));
}

}  // namespace

std::vector<std::string> PjlReplyReader::Take(std::string_view bytes) {
  std::vector<std::string> messages;
  for (const char c : bytes) {
    if (c == '\f') {
      messages.push_back(std::move(pending_));
      pending_.clear();
    } else if (pending_.size() < kMaxMessage) {
      pending_ += c;
    } else {
      pending_.clear();
    }
  }
  return messages;
}

std::optional<PjlStatus> ParsePjlStatus(std::string_view message) {
  const std::size_t start = Upper(message).find("@PJL");
  if (start == std::string::npos) return std::nullopt;
  message.remove_prefix(start);
  std::optional<PjlStatus> status;
  bool first = true;
  while (!message.empty()) {
    const std::size_t nl = message.find('\n');
    const std::string_view line = Trim(message.substr(0, nl));
    message.remove_prefix(nl == std::string_view::npos ? message.size() : nl + 1);
    if (first) {
      // "@PJL INFO STATUS" or "@PJL USTATUS DEVICE", as the copier spaces them.
      std::string words;
      for (const char c : Upper(line)) {
        if (!std::isspace(static_cast<unsigned char>(c))) words += c;
      }
      if (words != "@PJLINFOSTATUS" && words != "@PJLUSTATUSDEVICE") return std::nullopt;
      first = false;
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string key = Upper(Trim(line.substr(0, eq)));
    const std::string_view value = Trim(line.substr(eq + 1));
    if (key == "CODE") {
      if (value.empty() || value.size() > 6 ||
          !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
      }
      if (!status) status.emplace();
      status->code = std::stoi(std::string(value));
    } else if (key == "DISPLAY") {
      if (!status) status.emplace();
      status->display = DisplayText(value);
    } else if (key == "ONLINE") {
      if (!status) status.emplace();
      status->online = Upper(value) != "FALSE";
    }
  }
  return status && status->code > 0 ? status : std::nullopt;
}

std::optional<std::vector<CopierCondition>> PjlConditions(const PjlStatus& status) {
  std::vector<CopierCondition> c;
  const int code = status.code;
  switch (code / 1000) {
    case 10:  // informational: ready, warming up, ...; 10006 toner low
      if (code == 10006) AddCondition(&c, Condition::kTonerLow);
      break;
    case 11:  // background paper mount: one tray empty, another feeds
      AddCondition(&c, Condition::kTrayEmpty);
      break;
    case 12:  // background paper tray status: a tray open or lifting
    case 30:  // auto-continuable conditions
    case 35:  // possible operator intervention
      AddCondition(&c, Condition::kWarning, status.display);
      break;
    case 15:  // output bin full
      AddCondition(&c, Condition::kOutputAreaFull);
      break;
    case 20:  // PJL parser errors and warnings, semantic and file system
    case 25:  // errors: they concern a command, not the copier
    case 27:
    case 32:
      return std::nullopt;
    case 40:  // operator intervention required
      switch (code) {
        case kSleep:
          return c;
        case 40010:  // no EP cartridge
        case 40046:  // insert cartridge
          AddCondition(&c, Condition::kMarkerSupplyMissing);
          break;
        case 40019:  // remove paper from the output bin
          AddCondition(&c, Condition::kOutputAreaFull);
          break;
        case 40021:  // printer open
          AddCondition(&c, Condition::kDoorOpen);
          break;
        case 40022:
          AddCondition(&c, Condition::kMediaJam);
          break;
        case 40038:
          AddCondition(&c, Condition::kTonerLow);
          break;
        default:
          AddCondition(&c, Condition::kError, status.display);
      }
      break;
    case 41:  // foreground paper mount: paper out, no other tray to feed
      AddCondition(&c, Condition::kMediaEmpty);
      break;
    case 42:  // paper jams
    case 44:
      AddCondition(&c, Condition::kMediaJam);
      break;
    case 43:  // optional paper handling device errors
    case 50:  // hardware errors
    case 55:  // personality errors
      AddCondition(&c, Condition::kError, status.display);
      break;
    default:
      break;
  }
  // Offline for a reason of its own (taken offline at the panel, 10002).
  if (!status.online &&
      std::none_of(c.begin(), c.end(), [](const CopierCondition& x) { return ConditionStops(x.what); })) {
    AddCondition(&c, Condition::kOffline);
  }
  return c;
}

}  // namespace pclspool::app
