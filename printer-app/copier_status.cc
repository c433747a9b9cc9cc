#include "printer-app/copier_status.h"

#include <algorithm>
#include <cstring>

namespace pclspool::app {

namespace {

struct ConditionInfo {
  Condition what;
  const char* keyword;
  pappl_preason_t bit;
  bool stops;
  const char* words;   // without a detail
  const char* detail;  // with one: its words before, the detail, its words after
  const char* after;
};

// Keywords as RFC 8011 and PWG 5100.9 spell them; without a suffix a reason
// is an error. A tray that is empty or low is a report: the copier may feed
// from another (an empty copier is media-empty).
constexpr ConditionInfo kConditions[] = {
    {Condition::kMediaEmpty, "media-empty", PAPPL_PREASON_MEDIA_EMPTY, true, "paper out", "paper out in ", ""},
    {Condition::kMediaLow, "media-low", PAPPL_PREASON_MEDIA_LOW, false, "paper low", "paper low in ", ""},
    {Condition::kMediaJam, "media-jam", PAPPL_PREASON_MEDIA_JAM, true, "paper jam", "paper jam: ", ""},
    // PAPPL 1.3.1 shows no reason past toner-low, door-open among them:
    // its web pages show a door open as a cover open.
    {Condition::kDoorOpen, "door-open", PAPPL_PREASON_COVER_OPEN, true, "a door is open", "open: ", ""},
    {Condition::kTonerLow, "toner-low", PAPPL_PREASON_TONER_LOW, false, "toner low", "", " low"},
    {Condition::kTonerEmpty, "toner-empty", PAPPL_PREASON_TONER_EMPTY, true, "toner empty", "", " empty"},
    {Condition::kMarkerSupplyLow, "marker-supply-low", PAPPL_PREASON_MARKER_SUPPLY_LOW, false,
     "a supply is low", "", " low"},
    {Condition::kMarkerSupplyEmpty, "marker-supply-empty", PAPPL_PREASON_MARKER_SUPPLY_EMPTY, true,
     "a supply is empty", "", " empty"},
    {Condition::kMarkerSupplyMissing, "marker-supply-missing", PAPPL_PREASON_NONE, true,
     "toner cartridge missing", "", " missing"},
    {Condition::kWasteAlmostFull, "marker-waste-almost-full", PAPPL_PREASON_MARKER_WASTE_ALMOST_FULL,
     false, "waste toner almost full", "", " almost full"},
    {Condition::kWasteFull, "marker-waste-full", PAPPL_PREASON_MARKER_WASTE_FULL, true,
     "waste toner full", "", " full"},
    {Condition::kInputTrayMissing, "input-tray-missing", PAPPL_PREASON_INPUT_TRAY_MISSING, true,
     "a paper tray is missing", "", " missing"},
    {Condition::kOutputTrayMissing, "output-tray-missing", PAPPL_PREASON_NONE, true,
     "the output tray is missing", "", " missing"},
    {Condition::kOutputAreaAlmostFull, "output-area-almost-full", PAPPL_PREASON_NONE, false,
     "output tray almost full", "", " almost full"},
    {Condition::kOutputAreaFull, "output-area-full", PAPPL_PREASON_NONE, true, "output tray full",
     "", " full"},
    {Condition::kTrayEmpty, "media-empty-report", PAPPL_PREASON_NONE, false, "a paper tray is empty",
     "", " is empty"},
    {Condition::kTrayLow, "media-low-report", PAPPL_PREASON_NONE, false, "a paper tray is low", "",
     " is low"},
    {Condition::kOffline, "offline-report", PAPPL_PREASON_OFFLINE, true, "the copier is offline",
     "the copier is offline: ", ""},
    {Condition::kWarning, "other-warning", PAPPL_PREASON_NONE, false, "the copier warns",
     "the copier says: ", ""},
    {Condition::kError, "other-error", PAPPL_PREASON_NONE, true, "the copier has an error",
     "the copier says: ", ""},
};

const ConditionInfo& Info(Condition c) {
  for (const ConditionInfo& i : kConditions) {
    if (i.what == c) return i;
  }
  return kConditions[0];
}

}  // namespace

const char* ConditionKeyword(Condition c) { return Info(c).keyword; }
pappl_preason_t ConditionBit(Condition c) { return Info(c).bit; }
bool ConditionStops(Condition c) { return Info(c).stops; }

pappl_preason_t AllConditionBits() {
  unsigned bits = PAPPL_PREASON_NONE;
  for (const ConditionInfo& i : kConditions) bits |= i.bit;
  return static_cast<pappl_preason_t>(bits);
}

std::string ConditionWords(const CopierCondition& c) {
  const ConditionInfo& i = Info(c.what);
  return c.detail.empty() ? i.words : i.detail + c.detail + i.after;
}

void AddCondition(std::vector<CopierCondition>* to, Condition what, const std::string& detail) {
  CopierCondition c{what, detail};
  if (std::find(to->begin(), to->end(), c) == to->end()) to->push_back(std::move(c));
}

std::string JoinedWords(const std::vector<CopierCondition>& conditions, bool stopping_only) {
  std::string s;
  for (const CopierCondition& c : conditions) {
    if (stopping_only && !ConditionStops(c.what)) continue;
    // "toner empty" says less than "Black Toner empty" beside it.
    if (c.detail.empty() && std::any_of(conditions.begin(), conditions.end(), [&](const auto& o) {
          return o.what == c.what && !o.detail.empty();
        })) {
      continue;
    }
    const std::string words = ConditionWords(c);
    if (s.find(words) == std::string::npos) s += (s.empty() ? "" : ", ") + words;
  }
  return s;
}

const std::vector<std::string>& PapplBitNames() {
  // PAPPL 1.3.1 names its bits without a suffix (printer-support.c).
  static const std::vector<std::string> names = {
      "media-empty",       "media-low",           "media-jam",
      "cover-open",        "toner-low",           "toner-empty",
      "marker-supply-low", "marker-supply-empty", "marker-waste-almost-full",
      "marker-waste-full", "input-tray-missing",  "offline"};
  return names;
}

bool SameSupplies(const std::vector<pappl_supply_t>& a, const std::vector<pappl_supply_t>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const pappl_supply_t& x, const pappl_supply_t& y) {
                      return x.color == y.color && x.is_consumed == y.is_consumed &&
                             x.level == y.level && x.type == y.type &&
                             std::strcmp(x.description, y.description) == 0;
                    });
}

}  // namespace pclspool::app
