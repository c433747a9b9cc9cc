#include "printer-app/snmp_message.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace pclspool::app {

namespace {

// BER tags (X.690) and SNMP's own application and context tags.
constexpr uint8_t kInteger = 0x02;
constexpr uint8_t kOctetString = 0x04;
constexpr uint8_t kNull = 0x05;
constexpr uint8_t kObjectId = 0x06;
constexpr uint8_t kSequence = 0x30;
constexpr uint8_t kCounter32 = 0x41;
constexpr uint8_t kGauge32 = 0x42;
constexpr uint8_t kTimeTicks = 0x43;
constexpr uint8_t kCounter64 = 0x46;
constexpr uint8_t kGetResponse = 0xa2;
// SNMPv2c's noSuchObject, noSuchInstance and endOfMibView.
constexpr uint8_t kFirstException = 0x80;
constexpr uint8_t kLastException = 0x82;
// An OID longer than this is refused (SNMP allows 128 sub-identifiers).
constexpr std::size_t kMaxOidArcs = 128;

void AppendLength(std::string* out, std::size_t n) {
  if (n < 0x80) {
    *out += static_cast<char>(n);
    return;
  }
  std::string digits;
  for (; n > 0; n >>= 8) digits.insert(digits.begin(), static_cast<char>(n & 0xff));
  *out += static_cast<char>(0x80 | digits.size());
  *out += digits;
}

std::string Tlv(uint8_t tag, const std::string& content) {
  std::string out(1, static_cast<char>(tag));
  AppendLength(&out, content.size());
  return out + content;
}

std::string IntegerContent(int64_t v) {
  std::string bytes;
  // The fewest bytes whose two's complement still has v's sign.
  do {
    bytes.insert(bytes.begin(), static_cast<char>(v & 0xff));
    v >>= 8;
  } while (!((v == 0 && !(bytes[0] & 0x80)) || (v == -1 && (bytes[0] & 0x80))));
  return bytes;
}

void AppendArc(std::string* out, uint32_t arc) {
  char groups[5];
  int n = 0;
  do {
    groups[n++] = static_cast<char>(arc & 0x7f);
    arc >>= 7;
  } while (arc > 0);
  while (n-- > 0) *out += static_cast<char>(groups[n] | (n > 0 ? 0x80 : 0));
}

std::string OidContent(const Oid& oid) {
  std::string out;
  if (oid.size() < 2) return out;
  AppendArc(&out, oid[0] * 40 + oid[1]);
  for (std::size_t i = 2; i < oid.size(); ++i) AppendArc(&out, oid[i]);
  return out;
}

// Reads BER elements from a span of bytes, each checked against what is
// left of it.
class BerReader {
 public:
  explicit BerReader(std::string_view bytes) : rest_(bytes) {}
  bool empty() const { return rest_.empty(); }

  // The next element: its tag and content.
  bool Next(uint8_t* tag, std::string_view* content) {
    if (rest_.size() < 2) return false;
    *tag = static_cast<uint8_t>(rest_[0]);
    std::size_t length = static_cast<uint8_t>(rest_[1]);
    std::size_t at = 2;
    if (length & 0x80) {
      const std::size_t count = length & 0x7f;
      // Indefinite lengths have no place in SNMP; four bytes are plenty.
      if (count == 0 || count > 4 || rest_.size() < 2 + count) return false;
      length = 0;
      for (std::size_t i = 0; i < count; ++i) length = length << 8 | static_cast<uint8_t>(rest_[2 + i]);
      at += count;
    }
    if (length > rest_.size() - at) return false;
    *content = rest_.substr(at, length);
    rest_.remove_prefix(at + length);
    return true;
  }
  bool Expect(uint8_t want, std::string_view* content) {
    uint8_t tag = 0;
    return Next(&tag, content) && tag == want;
  }
  bool Integer(int64_t* v) {
    std::string_view c;
    return Expect(kInteger, &c) && SignedValue(c, v);
  }

  static bool SignedValue(std::string_view c, int64_t* v) {
    if (c.empty() || c.size() > 8) return false;
    uint64_t u = static_cast<uint8_t>(c[0]) & 0x80 ? ~uint64_t{0} : 0;
    for (const char b : c) u = u << 8 | static_cast<uint8_t>(b);
    *v = static_cast<int64_t>(u);
    return true;
  }
  // Counter64 takes nine bytes (a leading zero); larger values are clamped.
  static bool UnsignedValue(std::string_view c, int64_t* v) {
    if (c.empty() || c.size() > 9) return false;
    uint64_t u = 0;
    for (const char b : c) u = u << 8 | static_cast<uint8_t>(b);
    *v = u > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(u);
    return true;
  }
  static bool OidValue(std::string_view c, Oid* oid) {
    oid->clear();
    uint64_t arc = 0;
    for (std::size_t i = 0; i < c.size(); ++i) {
      const uint8_t b = static_cast<uint8_t>(c[i]);
      arc = arc << 7 | (b & 0x7f);
      if (arc > UINT32_MAX || oid->size() >= kMaxOidArcs) return false;
      if (b & 0x80) {
        if (i + 1 == c.size()) return false;  // a sub-identifier cut short
        continue;
      }
      if (oid->empty()) {
        const uint32_t first = arc < 80 ? static_cast<uint32_t>(arc / 40) : 2;
        oid->push_back(first);
        oid->push_back(static_cast<uint32_t>(arc - first * 40));
      } else {
        oid->push_back(static_cast<uint32_t>(arc));
      }
      arc = 0;
    }
    return !oid->empty();
  }

 private:
  std::string_view rest_;
};

bool DecodeValue(uint8_t tag, std::string_view c, SnmpValue* v) {
  switch (tag) {
    case kInteger:
      v->kind = SnmpValue::Kind::kInteger;
      return BerReader::SignedValue(c, &v->integer);
    case kOctetString:
      v->kind = SnmpValue::Kind::kString;
      v->bytes = std::string(c);
      return true;
    case kNull:
      v->kind = SnmpValue::Kind::kNull;
      return c.empty();
    case kObjectId:
      v->kind = SnmpValue::Kind::kOid;
      return BerReader::OidValue(c, &v->oid);
    case kCounter32:
    case kGauge32:
    case kTimeTicks:
    case kCounter64:
      v->kind = SnmpValue::Kind::kUnsigned;
      return BerReader::UnsignedValue(c, &v->integer);
    default:
      v->kind = tag >= kFirstException && tag <= kLastException ? SnmpValue::Kind::kMissing
                                                                : SnmpValue::Kind::kOther;
      v->bytes = std::string(c);
      return true;
  }
}

}  // namespace

Oid ParseOid(std::string_view dotted) {
  Oid oid;
  if (!dotted.empty() && dotted[0] == '.') dotted.remove_prefix(1);
  while (!dotted.empty()) {
    uint32_t arc = 0;
    const auto [end, ec] = std::from_chars(dotted.data(), dotted.data() + dotted.size(), arc);
    if (ec != std::errc() || (end != dotted.data() + dotted.size() && *end != '.')) return {};
    oid.push_back(arc);
    dotted.remove_prefix(static_cast<std::size_t>(end - dotted.data()));
    if (!dotted.empty()) {
      dotted.remove_prefix(1);
      if (dotted.empty()) return {};
    }
  }
  return oid.size() >= 2 && oid[0] <= 2 && (oid[0] == 2 || oid[1] < 40) ? oid : Oid{};
}

std::string OidText(const Oid& oid) {
  std::string s;
  for (const uint32_t arc : oid) {
    if (!s.empty()) s += '.';
    s += std::to_string(arc);
  }
  return s;
}

bool OidUnder(const Oid& oid, const Oid& prefix) {
  return oid.size() > prefix.size() && std::equal(prefix.begin(), prefix.end(), oid.begin());
}

std::string EncodeSnmpRequest(SnmpRequest type, const std::string& community, int32_t request_id,
                              const std::vector<Oid>& names) {
  std::string bindings;
  for (const Oid& name : names) {
    bindings += Tlv(kSequence, Tlv(kObjectId, OidContent(name)) + Tlv(kNull, ""));
  }
  const std::string pdu = Tlv(kInteger, IntegerContent(request_id)) +
                          Tlv(kInteger, IntegerContent(0)) + Tlv(kInteger, IntegerContent(0)) +
                          Tlv(kSequence, bindings);
  return Tlv(kSequence, Tlv(kInteger, IntegerContent(0)) + Tlv(kOctetString, community) +
                            Tlv(static_cast<uint8_t>(type), pdu));
}

std::optional<SnmpResponse> DecodeSnmpResponse(std::string_view bytes) {
  std::string_view message, pdu, content, list;
  BerReader top(bytes);
  if (!top.Expect(kSequence, &message)) return std::nullopt;
  BerReader m(message);
  int64_t version = -1, request_id = 0, status = 0, index = 0;
  // Version 1 (0) or 2c (1): their responses are alike.
  if (!m.Integer(&version) || version < 0 || version > 1 || !m.Expect(kOctetString, &content) ||
      !m.Expect(kGetResponse, &pdu)) {
    return std::nullopt;
  }
  BerReader p(pdu);
  if (!p.Integer(&request_id) || !p.Integer(&status) || !p.Integer(&index) ||
      !p.Expect(kSequence, &list) || request_id < INT32_MIN || request_id > INT32_MAX) {
    return std::nullopt;
  }
  SnmpResponse response;
  response.request_id = static_cast<int32_t>(request_id);
  response.error_status = status < 0 || status > 255 ? 255 : static_cast<int>(status);
  for (BerReader l(list); !l.empty();) {
    std::string_view binding, name, value;
    uint8_t tag = 0;
    if (!l.Expect(kSequence, &binding)) return std::nullopt;
    BerReader b(binding);
    VarBind vb;
    if (!b.Expect(kObjectId, &name) || !BerReader::OidValue(name, &vb.name) ||
        !b.Next(&tag, &value) || !DecodeValue(tag, value, &vb.value)) {
      return std::nullopt;
    }
    response.bindings.push_back(std::move(vb));
  }
  return response;
}

}  // namespace pclspool::app
