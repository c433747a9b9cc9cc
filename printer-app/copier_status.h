// What the copier says of itself, whichever way it said it (the Printer MIB
// over SNMP, printer_mib.h; PJL status read back from its print port,
// pjl_status.h): its conditions, supplies and paper trays. Each condition
// is spelled once here, as the printer-state-reasons keyword clients read,
// the words a person reads (printer-state-message, the job's message), and
// the reason bit PAPPL's own web pages show.
#pragma once

#include <pappl/pappl.h>

#include <cstdint>
#include <string>
#include <vector>

namespace pclspool::app {

enum class Condition : uint8_t {
  kMediaEmpty,
  kMediaLow,
  kMediaJam,
  kDoorOpen,
  kTonerLow,
  kTonerEmpty,
  kMarkerSupplyLow,
  kMarkerSupplyEmpty,
  kMarkerSupplyMissing,
  kWasteAlmostFull,
  kWasteFull,
  kInputTrayMissing,
  kOutputTrayMissing,
  kOutputAreaAlmostFull,
  kOutputAreaFull,
  kTrayEmpty,  // one paper tray (the detail names it); the copier may feed from another
  kTrayLow,
  kOffline,
  kWarning,  // a condition the copier names only in words (the detail)
  kError,
};

struct CopierCondition {
  Condition what;
  std::string detail;  // a tray's name, the copier's own words
  bool operator==(const CopierCondition&) const = default;
};

struct CopierTray {
  std::string name;
  int level = -2;  // sheets, or the Printer MIB's -1 other, -2 unknown, -3 some left
  int max = -2;
  bool operator==(const CopierTray&) const = default;
};

struct CopierStatus {
  std::vector<CopierCondition> conditions;
  std::vector<pappl_supply_t> supplies;  // levels in percent, -1 unknown
  std::vector<CopierTray> trays;
  std::string display;  // the copier's control panel, when it says
};

// The printer-state-reasons keyword, with its severity suffix where it is
// not an error ("toner-low" is one as PAPPL and clients spell it).
const char* ConditionKeyword(Condition c);
// PAPPL's bit for it, or PAPPL_PREASON_NONE where PAPPL has none.
pappl_preason_t ConditionBit(Condition c);
// Every bit ConditionBit gives: the reasons the copier's state sets and
// clears.
pappl_preason_t AllConditionBits();
// Whether the copier stops printing for it.
bool ConditionStops(Condition c);
// In words, lower case: "paper out", "Tray 2 is empty".
std::string ConditionWords(const CopierCondition& c);

// Adds a condition once.
void AddCondition(std::vector<CopierCondition>* to, Condition what, const std::string& detail = "");
// The conditions' words joined: "paper out, toner low".
std::string JoinedWords(const std::vector<CopierCondition>& conditions, bool stopping_only);
// The reason names PAPPL gives the bits of ConditionBit, each once.
const std::vector<std::string>& PapplBitNames();

bool SameSupplies(const std::vector<pappl_supply_t>& a, const std::vector<pappl_supply_t>& b);

}  // namespace pclspool::app
