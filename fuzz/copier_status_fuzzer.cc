// What a copier sends back, on arbitrary bytes: an SNMP response datagram
// (printer-app/snmp_message) and what the Printer MIB's values in it say
// (printer_mib), and PJL status read back from the print port (pjl_status).
// Beyond not crashing:
// - a response's OIDs have two arcs at least; the copier's supplies are no
//   more than PAPPL keeps, their levels a percentage or -1 or -3, their
//   names printable; every condition has a keyword and words;
// - the PJL replies are the same messages however the bytes arrive (here:
//   split at the first input byte's position); a status message's text is
//   printable and short, and its conditions, when it has any, are named.
//
// Input: one byte for where the stream splits, then the bytes, read both
// as a datagram and as the print port's stream.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "printer-app/pjl_status.h"
#include "printer-app/printer_mib.h"
#include "printer-app/snmp_message.h"

namespace {

using namespace pclspool::app;

bool Printable(std::string_view s) {
  for (const char c : s) {
    if (c < ' ' || c > '~') return false;
  }
  return true;
}

void CheckConditions(const std::vector<CopierCondition>& conditions) {
  for (const CopierCondition& c : conditions) {
    FUZZ_CHECK(ConditionKeyword(c.what) != nullptr && !ConditionWords(c).empty());
  }
}

void CheckSnmp(std::string_view bytes) {
  const std::optional<SnmpResponse> r = DecodeSnmpResponse(bytes);
  if (!r) return;
  for (const VarBind& b : r->bindings) FUZZ_CHECK(b.name.size() >= 2);
  const CopierStatus s = CopierStatusOfMib(r->bindings);
  FUZZ_CHECK(s.supplies.size() <= PAPPL_MAX_SUPPLY);
  for (const pappl_supply_t& supply : s.supplies) {
    FUZZ_CHECK((supply.level >= 0 && supply.level <= 100) || supply.level == -1 || supply.level == -3);
    FUZZ_CHECK(std::memchr(supply.description, '\0', sizeof(supply.description)) != nullptr);
    FUZZ_CHECK(Printable(supply.description));
  }
  for (const CopierTray& t : s.trays) FUZZ_CHECK(Printable(t.name) && t.level >= -3 && t.max >= -3);
  CheckConditions(s.conditions);
}

void CheckPjl(std::string_view bytes, std::size_t split) {
  PjlReplyReader whole, parts;
  const std::vector<std::string> messages = whole.Take(bytes);
  std::vector<std::string> pieces = parts.Take(bytes.substr(0, split));
  for (std::string& m : parts.Take(bytes.substr(split))) pieces.push_back(std::move(m));
  FUZZ_CHECK(pieces == messages);
  for (const std::string& m : messages) {
    const std::optional<PjlStatus> s = ParsePjlStatus(m);
    if (!s) continue;
    FUZZ_CHECK(s->code > 0 && s->display.size() <= 80 && Printable(s->display));
    if (const auto conditions = PjlConditions(*s)) CheckConditions(*conditions);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  CheckSnmp(bytes);
  CheckPjl(bytes, std::min<std::size_t>(data[0], bytes.size()));
  return 0;
}
