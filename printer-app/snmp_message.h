// SNMP version 1 messages as the copier's agent takes and gives them (RFC
// 1157, in BER as X.690 encodes it): the Get and GetNext requests the
// status poller sends, and the Response it reads back. Pure functions over
// bytes; a response from the network is untrusted and every length in it is
// checked before it is used.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pclspool::app {

using Oid = std::vector<uint32_t>;

// "1.3.6.1.2.1.43" as an OID; empty when the text is not one.
Oid ParseOid(std::string_view dotted);
std::string OidText(const Oid& oid);
// Whether `oid` lies under `prefix` (and is longer).
bool OidUnder(const Oid& oid, const Oid& prefix);

struct SnmpValue {
  enum class Kind { kInteger, kString, kNull, kOid, kUnsigned, kMissing, kOther };
  Kind kind = Kind::kNull;
  int64_t integer = 0;  // kInteger, kUnsigned (Counter32, Gauge32, TimeTicks)
  std::string bytes;    // kString
  Oid oid;              // kOid
};

struct VarBind {
  Oid name;
  SnmpValue value;
};

enum class SnmpRequest : uint8_t { kGet = 0xa0, kGetNext = 0xa1 };

// The bytes of a version 1 request for `names`.
std::string EncodeSnmpRequest(SnmpRequest type, const std::string& community,
                              int32_t request_id, const std::vector<Oid>& names);

struct SnmpResponse {
  int32_t request_id = 0;
  int error_status = 0;  // 0 noError, 2 noSuchName (the end of a v1 walk), ...
  std::vector<VarBind> bindings;
};

// A version 1 or 2c GetResponse; nothing when the bytes are not one.
std::optional<SnmpResponse> DecodeSnmpResponse(std::string_view bytes);

}  // namespace pclspool::app
