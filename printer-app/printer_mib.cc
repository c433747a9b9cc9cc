#include "printer-app/printer_mib.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace pclspool::app {

namespace {

// hrPrinterEntry (RFC 2790 section 6), indexed by hrDeviceIndex.
const Oid kHrPrinterDetectedErrorState = ParseOid("1.3.6.1.2.1.25.3.5.1.2");
// prtMarkerSuppliesEntry (RFC 3805), indexed by hrDeviceIndex and the
// supply's index: its columns.
const Oid kSupplies = ParseOid("1.3.6.1.2.1.43.11.1.1");
constexpr uint32_t kSupplyColorant = 3, kSupplyClass = 4, kSupplyType = 5, kSupplyDescription = 6,
                   kSupplyUnit = 7, kSupplyMax = 8, kSupplyLevel = 9;
// prtMarkerColorantValue: "black", "cyan", ...
const Oid kColorantValue = ParseOid("1.3.6.1.2.1.43.12.1.1.4");
// prtInputEntry: a paper tray's capacity, level and name.
const Oid kInput = ParseOid("1.3.6.1.2.1.43.8.2.1");
constexpr uint32_t kInputMax = 9, kInputLevel = 10, kInputName = 13;

// PrtMarkerSuppliesClassTC and PrtMarkerSuppliesSupplyUnitTC.
constexpr int64_t kReceptacleThatIsFilled = 4;
constexpr int64_t kPercent = 19;
// Below this percentage a supply is low, as PAPPL's marker-low-levels say.
constexpr int kLowPercent = 10;

// hrPrinterDetectedErrorState's bits, the first the high bit of the first
// octet (RFC 3805 section 6). serviceRequested, inputTrayEmpty and
// overduePreventMaint give no reason: agents set the first two loosely
// (CUPS's SNMP backend ignores them too), and the trays' own levels say
// which tray is empty.
struct ErrorBit {
  int bit;
  Condition condition;
};
constexpr ErrorBit kErrorBits[] = {
    {0, Condition::kMediaLow},          {1, Condition::kMediaEmpty},
    {2, Condition::kTonerLow},          {3, Condition::kTonerEmpty},
    {4, Condition::kDoorOpen},          {5, Condition::kMediaJam},
    {6, Condition::kOffline},           {8, Condition::kInputTrayMissing},
    {9, Condition::kOutputTrayMissing}, {10, Condition::kMarkerSupplyMissing},
    {11, Condition::kOutputAreaAlmostFull}, {12, Condition::kOutputAreaFull},
};

// PrtMarkerSuppliesTypeTC, from other(1) to covers(34), as PAPPL's types.
constexpr pappl_supply_type_t kSupplyTypes[] = {
    PAPPL_SUPPLY_TYPE_OTHER,          PAPPL_SUPPLY_TYPE_UNKNOWN,
    PAPPL_SUPPLY_TYPE_TONER,          PAPPL_SUPPLY_TYPE_WASTE_TONER,
    PAPPL_SUPPLY_TYPE_INK,            PAPPL_SUPPLY_TYPE_INK_CARTRIDGE,
    PAPPL_SUPPLY_TYPE_INK_RIBBON,     PAPPL_SUPPLY_TYPE_WASTE_INK,
    PAPPL_SUPPLY_TYPE_OPC,            PAPPL_SUPPLY_TYPE_DEVELOPER,
    PAPPL_SUPPLY_TYPE_FUSER_OIL,      PAPPL_SUPPLY_TYPE_SOLID_WAX,
    PAPPL_SUPPLY_TYPE_RIBBON_WAX,     PAPPL_SUPPLY_TYPE_WASTE_WAX,
    PAPPL_SUPPLY_TYPE_FUSER,          PAPPL_SUPPLY_TYPE_CORONA_WIRE,
    PAPPL_SUPPLY_TYPE_FUSER_OIL_WICK, PAPPL_SUPPLY_TYPE_CLEANER_UNIT,
    PAPPL_SUPPLY_TYPE_FUSER_CLEANING_PAD, PAPPL_SUPPLY_TYPE_TRANSFER_UNIT,
    PAPPL_SUPPLY_TYPE_TONER_CARTRIDGE, PAPPL_SUPPLY_TYPE_FUSER_OILER,
    PAPPL_SUPPLY_TYPE_WATER,          PAPPL_SUPPLY_TYPE_WASTE_WATER,
    PAPPL_SUPPLY_TYPE_GLUE_WATER_ADDITIVE, PAPPL_SUPPLY_TYPE_WASTE_PAPER,
    PAPPL_SUPPLY_TYPE_BINDING_SUPPLY, PAPPL_SUPPLY_TYPE_BANDING_SUPPLY,
    PAPPL_SUPPLY_TYPE_STITCHING_WIRE, PAPPL_SUPPLY_TYPE_SHRINK_WRAP,
    PAPPL_SUPPLY_TYPE_PAPER_WRAP,     PAPPL_SUPPLY_TYPE_STAPLES,
    PAPPL_SUPPLY_TYPE_INSERTS,        PAPPL_SUPPLY_TYPE_COVERS,
};

struct Colorant {
  const char* name;
  pappl_supply_color_t color;
};
constexpr Colorant kColorants[] = {
    {"black", PAPPL_SUPPLY_COLOR_BLACK},     {"cyan", PAPPL_SUPPLY_COLOR_CYAN},
    {"magenta", PAPPL_SUPPLY_COLOR_MAGENTA}, {"yellow", PAPPL_SUPPLY_COLOR_YELLOW},
    {"gray", PAPPL_SUPPLY_COLOR_GRAY},       {"grey", PAPPL_SUPPLY_COLOR_GRAY},
};

// One table's rows of the copier: column, then row index, to value.
using Rows = std::map<uint32_t, std::map<uint32_t, const SnmpValue*>>;

Rows TableRows(const std::vector<VarBind>& values, const Oid& entry, uint32_t device) {
  Rows rows;
  for (const VarBind& v : values) {
    // entry . column . device . index
    if (v.name.size() == entry.size() + 3 && OidUnder(v.name, entry) &&
        v.name[entry.size() + 1] == device) {
      rows[v.name[entry.size()]][v.name[entry.size() + 2]] = &v.value;
    }
  }
  return rows;
}

const SnmpValue* Cell(const Rows& rows, uint32_t column, uint32_t index) {
  const auto c = rows.find(column);
  if (c == rows.end()) return nullptr;
  const auto r = c->second.find(index);
  return r == c->second.end() ? nullptr : r->second;
}

int64_t Integer(const Rows& rows, uint32_t column, uint32_t index, int64_t def) {
  const SnmpValue* v = Cell(rows, column, index);
  return v && v->kind == SnmpValue::Kind::kInteger ? v->integer : def;
}

// Printable ASCII of an agent's text (its character set is the agent's
// own; anything else shows as '?').
std::string Text(const Rows& rows, uint32_t column, uint32_t index) {
  const SnmpValue* v = Cell(rows, column, index);
  std::string s;
  if (!v || v->kind != SnmpValue::Kind::kString) return s;
  for (const char c : v->bytes) {
    if (c == '\0') break;
    s += c >= ' ' && c <= '~' ? c : '?';
  }
  return s;
}

// The copier's hrDeviceIndex: the first printer's, else the first in a
// Printer MIB table.
uint32_t CopierDevice(const std::vector<VarBind>& values) {
  for (const Oid* table : {&kHrPrinterDetectedErrorState, &kSupplies, &kInput}) {
    const std::size_t at = table == &kHrPrinterDetectedErrorState ? table->size() : table->size() + 1;
    uint32_t first = 0;
    for (const VarBind& v : values) {
      if (OidUnder(v.name, *table) && v.name.size() > at && (first == 0 || v.name[at] < first)) {
        first = v.name[at];
      }
    }
    if (first > 0) return first;
  }
  return 1;
}

void ReadErrorState(const std::vector<VarBind>& values, uint32_t device, CopierStatus* s) {
  for (const VarBind& v : values) {
    if (v.name.size() != kHrPrinterDetectedErrorState.size() + 1 ||
        !OidUnder(v.name, kHrPrinterDetectedErrorState) || v.name.back() != device ||
        v.value.kind != SnmpValue::Kind::kString) {
      continue;
    }
    for (const ErrorBit& b : kErrorBits) {
      const std::size_t octet = static_cast<std::size_t>(b.bit / 8);
      if (octet < v.value.bytes.size() &&
          (static_cast<uint8_t>(v.value.bytes[octet]) & (0x80 >> (b.bit % 8)))) {
        AddCondition(&s->conditions, b.condition);
      }
    }
  }
}

pappl_supply_color_t ColorOf(const std::vector<VarBind>& values, uint32_t device, int64_t colorant) {
  for (const VarBind& v : values) {
    if (v.name.size() == kColorantValue.size() + 2 && OidUnder(v.name, kColorantValue) &&
        v.name[kColorantValue.size()] == device && v.name.back() == colorant &&
        v.value.kind == SnmpValue::Kind::kString) {
      for (const Colorant& c : kColorants) {
        // "black", "black toner": the name as it starts.
        if (v.value.bytes.compare(0, std::strlen(c.name), c.name) == 0) return c.color;
      }
    }
  }
  return PAPPL_SUPPLY_COLOR_NO_COLOR;
}

void ReadSupplies(const std::vector<VarBind>& values, uint32_t device, CopierStatus* s) {
  const Rows rows = TableRows(values, kSupplies, device);
  const auto levels = rows.find(kSupplyLevel);
  if (levels == rows.end()) return;
  for (const auto& [index, cell] : levels->second) {
    if (s->supplies.size() >= PAPPL_MAX_SUPPLY) break;
    pappl_supply_t supply{};
    const int64_t type = Integer(rows, kSupplyType, index, 2);
    supply.type = type >= 1 && type <= static_cast<int64_t>(std::size(kSupplyTypes))
                      ? kSupplyTypes[type - 1]
                      : PAPPL_SUPPLY_TYPE_UNKNOWN;
    supply.is_consumed = Integer(rows, kSupplyClass, index, 3) != kReceptacleThatIsFilled;
    supply.color = ColorOf(values, device, Integer(rows, kSupplyColorant, index, 0));
    std::string name = Text(rows, kSupplyDescription, index);
    if (name.empty()) name = "Supply " + std::to_string(index);
    std::strncpy(supply.description, name.c_str(), sizeof(supply.description) - 1);

    // A percentage as PAPPL computes one; the MIB's -3 ("some left") is
    // kept, any other unknown level is -1. A receptacle's level is the room
    // left in it.
    const int64_t level = cell->kind == SnmpValue::Kind::kInteger ? cell->integer : -2;
    const int64_t max = Integer(rows, kSupplyUnit, index, 0) == kPercent
                            ? 100
                            : Integer(rows, kSupplyMax, index, -2);
    int percent = -1;
    if (level >= 0 && max > 0) percent = static_cast<int>(std::min<int64_t>(level, max) * 100 / max);
    if (level == -3) percent = -3;
    supply.level = percent >= 0 && !supply.is_consumed ? 100 - percent : percent;
    s->supplies.push_back(supply);

    if (supply.level < 0 || supply.level > kLowPercent) continue;
    const bool toner = supply.type == PAPPL_SUPPLY_TYPE_TONER ||
                       supply.type == PAPPL_SUPPLY_TYPE_TONER_CARTRIDGE;
    const bool empty = supply.level == 0;
    Condition c = empty ? Condition::kMarkerSupplyEmpty : Condition::kMarkerSupplyLow;
    if (!supply.is_consumed) c = empty ? Condition::kWasteFull : Condition::kWasteAlmostFull;
    else if (toner) c = empty ? Condition::kTonerEmpty : Condition::kTonerLow;
    AddCondition(&s->conditions, c, name);
  }
}

void ReadTrays(const std::vector<VarBind>& values, uint32_t device, CopierStatus* s) {
  const Rows rows = TableRows(values, kInput, device);
  const auto levels = rows.find(kInputLevel);
  if (levels == rows.end()) return;
  for (const auto& [index, cell] : levels->second) {
    CopierTray tray;
    tray.name = Text(rows, kInputName, index);
    if (tray.name.empty()) tray.name = "Tray " + std::to_string(index);
    tray.level = cell->kind == SnmpValue::Kind::kInteger
                     ? static_cast<int>(std::clamp<int64_t>(cell->integer, -3, INT32_MAX))
                     : -2;
    tray.max = static_cast<int>(std::clamp<int64_t>(Integer(rows, kInputMax, index, -2), -3, INT32_MAX));
    if (tray.level == 0) {
      AddCondition(&s->conditions, Condition::kTrayEmpty, tray.name);
    } else if (tray.level > 0 && tray.max > 0 &&
               static_cast<int64_t>(tray.level) * 100 <= static_cast<int64_t>(tray.max) * kLowPercent) {
      AddCondition(&s->conditions, Condition::kTrayLow, tray.name);
    }
    s->trays.push_back(std::move(tray));
  }
}

}  // namespace

const std::vector<Oid>& PrinterMibColumns() {
  static const std::vector<Oid> columns = [] {
    std::vector<Oid> c = {kHrPrinterDetectedErrorState, kColorantValue};
    for (const uint32_t col : {kSupplyColorant, kSupplyClass, kSupplyType, kSupplyDescription,
                               kSupplyUnit, kSupplyMax, kSupplyLevel}) {
      c.push_back(kSupplies);
      c.back().push_back(col);
    }
    for (const uint32_t col : {kInputMax, kInputLevel, kInputName}) {
      c.push_back(kInput);
      c.back().push_back(col);
    }
    return c;
  }();
  return columns;
}

CopierStatus CopierStatusOfMib(const std::vector<VarBind>& values) {
  CopierStatus s;
  const uint32_t device = CopierDevice(values);
  ReadErrorState(values, device, &s);
  ReadSupplies(values, device, &s);
  ReadTrays(values, device, &s);
  return s;
}

}  // namespace pclspool::app
