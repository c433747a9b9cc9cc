// What the copier's state is made of, without a server: SNMP messages in
// and out, the Printer MIB's values, PJL status replies and their codes, the
// device URI's options, and how a printer shows it all beside PAPPL's own
// state attributes.
#include <gtest/gtest.h>

#include <variant>

#include "printer-app/copier_address.h"
#include "printer-app/pjl_status.h"
#include "printer-app/printer_mib.h"
#include "printer-app/printer_view.h"
#include "printer-app/snmp_message.h"

namespace pclspool::app {
namespace {

std::string Hex(const std::string& bytes) {
  std::string s;
  for (const unsigned char c : bytes) s += "0123456789abcdef"[c >> 4], s += "0123456789abcdef"[c & 15];
  return s;
}
std::string Bytes(const std::string& hex) {
  std::string s;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) s += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return s;
}
std::string Keywords(const std::vector<CopierCondition>& conditions) {
  std::string s;
  for (const CopierCondition& c : conditions) s += (s.empty() ? "" : ",") + std::string(ConditionKeyword(c.what));
  return s;
}

// A BER element in hex, for contents under 128 bytes.
std::string T(const char* tag, const std::string& content) {
  const char* digits = "0123456789abcdef";
  const std::size_t n = content.size() / 2;
  return tag + std::string{digits[n >> 4], digits[n & 15]} + content;
}

TEST(SnmpMessage, RequestsAsAgentsReadThem) {
  const struct {
    SnmpRequest type;
    const char* community;
    int32_t id;
    const char* oid;
    std::string hex;
  } cases[] = {
      {SnmpRequest::kGet, "public", 1, "1.3.6.1.2.1.25.3.5.1.2.1",
       T("30", T("02", "00") + T("04", Hex("public")) +
                   T("a0", T("02", "01") + T("02", "00") + T("02", "00") +
                               T("30", T("30", T("06", "2b06010201190305010201") + T("05", "")))))},
      // An id needing a leading zero byte, an arc of two bytes (2699).
      {SnmpRequest::kGetNext, "p", 128, "1.3.6.1.4.1.2699",
       T("30", T("02", "00") + T("04", "70") +
                   T("a1", T("02", "0080") + T("02", "00") + T("02", "00") +
                               T("30", T("30", T("06", "2b06010401950b") + T("05", "")))))},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Hex(EncodeSnmpRequest(c.type, c.community, c.id, {ParseOid(c.oid)})), c.hex) << c.oid;
  }
}

TEST(SnmpMessage, ResponsesAreReadWithinTheirBounds) {
  const auto message = [](const char* version, const char* pdu, const std::string& bindings) {
    return T("30", T("02", version) + T("04", Hex("public")) +
                       T(pdu, T("02", "2a") + T("02", "00") + T("02", "00") + T("30", bindings)));
  };
  // An integer, a string, SNMPv2c's noSuchInstance.
  const std::string bindings = T("30", T("06", "2b0601020105") + T("02", "05")) +
                               T("30", T("06", "2b06010402") + T("04", "4142")) +
                               T("30", T("06", "2b06018101") + T("81", ""));
  const std::string good = message("00", "a2", bindings);
  const struct {
    const char* name;
    std::string hex;
  } refused[] = {
      {"empty", ""},
      {"cut short", good.substr(0, good.size() - 4)},
      {"longer than its bytes", "307f" + good.substr(4)},
      {"indefinite length", "3080" + good.substr(4)},
      {"length of five bytes", "30850000000010" + good.substr(4)},
      {"a request", message("00", "a0", bindings)},
      {"version 3", message("03", "a2", bindings)},
      {"integer of nine bytes", message("00", "a2", T("30", T("06", "2b06") + T("02", "010000000000000000")))},
      {"sub-identifier cut short", message("00", "a2", T("30", T("06", "2b81") + T("05", "")))},
      {"no value", message("00", "a2", T("30", T("06", "2b06")))},
  };
  for (const auto& c : refused) EXPECT_FALSE(DecodeSnmpResponse(Bytes(c.hex))) << c.name;
  const std::optional<SnmpResponse> r = DecodeSnmpResponse(Bytes(good));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->request_id, 42);
  ASSERT_EQ(r->bindings.size(), 3u);
  EXPECT_EQ(OidText(r->bindings[0].name), "1.3.6.1.2.1.5");
  EXPECT_EQ(r->bindings[0].value.integer, 5);
  EXPECT_EQ(r->bindings[1].value.bytes, "AB");
  EXPECT_EQ(OidText(r->bindings[2].name), "1.3.6.1.129");
  EXPECT_EQ(r->bindings[2].value.kind, SnmpValue::Kind::kMissing);
}

// The Printer MIB's values (OID under 1.3.6.1.2.1, value) to what they say.
using Value = std::variant<int, std::string>;
std::vector<VarBind> Mib(const std::vector<std::pair<std::string, Value>>& values) {
  std::vector<VarBind> v;
  for (const auto& [oid, value] : values) {
    VarBind b{ParseOid("1.3.6.1.2.1." + oid), {}};
    if (const int* i = std::get_if<int>(&value)) {
      b.value.kind = SnmpValue::Kind::kInteger, b.value.integer = *i;
    } else {
      b.value.kind = SnmpValue::Kind::kString, b.value.bytes = std::get<std::string>(value);
    }
    v.push_back(b);
  }
  return v;
}

TEST(PrinterMib, ErrorStateSuppliesAndTrays) {
  const auto toner = [](int level, int max, int unit = 13) {
    return std::vector<std::pair<std::string, Value>>{
        {"43.11.1.1.4.1.1", 3}, {"43.11.1.1.5.1.1", 21}, {"43.11.1.1.6.1.1", "Toner"},
        {"43.11.1.1.7.1.1", unit}, {"43.11.1.1.8.1.1", max}, {"43.11.1.1.9.1.1", level}};
  };
  const struct {
    const char* name;
    std::vector<std::pair<std::string, Value>> values;
    const char* keywords;
    int level = -100;  // the first supply's, when there is one
    const char* words = "";
  } cases[] = {
      {"nothing wrong", {{"25.3.5.1.2.1", std::string("\0\0", 2)}}, ""},
      {"every error bit", {{"25.3.5.1.2.1", "\xff\xff"}},
       "media-low,media-empty,toner-low,toner-empty,door-open,media-jam,offline-report,"
       "input-tray-missing,output-tray-missing,marker-supply-missing,output-area-almost-full,"
       "output-area-full"},
      {"one octet", {{"25.3.5.1.2.1", "\x40"}}, "media-empty"},
      {"another device's row", {{"25.3.5.1.2.2", "\x40"}, {"25.3.5.1.2.1", std::string("\0", 1)}}, ""},
      {"toner at 40 of 400", toner(40, 400), "toner-low", 10, "Toner low"},
      {"toner at 44 of 400", toner(44, 400), "", 11},
      {"toner in percent", toner(30, -2, 19), "", 30},
      {"toner empty", toner(0, 100), "toner-empty", 0, "Toner empty"},
      {"toner level unknown", toner(-2, 100), "", -1},
      {"toner with some left", toner(-3, 100), "", -3},
      {"waste toner full", {{"43.11.1.1.4.1.1", 4}, {"43.11.1.1.5.1.1", 4}, {"43.11.1.1.8.1.1", 10},
                            {"43.11.1.1.9.1.1", 10}}, "marker-waste-full", 0, "Supply 1 full"},
      {"trays", {{"43.8.2.1.9.1.1", 500}, {"43.8.2.1.10.1.1", 0}, {"43.8.2.1.13.1.1", "Tray 1"},
                 {"43.8.2.1.9.1.2", 500}, {"43.8.2.1.10.1.2", 50}, {"43.8.2.1.10.1.3", -3}},
       "media-empty-report,media-low-report", -100, "Tray 1 is empty, Tray 2 is low"},
  };
  for (const auto& c : cases) {
    const CopierStatus s = CopierStatusOfMib(Mib(c.values));
    EXPECT_EQ(Keywords(s.conditions), c.keywords) << c.name;
    EXPECT_EQ(JoinedWords(s.conditions, false).find(c.words), 0u) << c.name << ": " << JoinedWords(s.conditions, false);
    if (c.level != -100) {
      ASSERT_EQ(s.supplies.size(), 1u) << c.name;
      EXPECT_EQ(s.supplies[0].level, c.level) << c.name;
    }
  }
}

TEST(PjlStatus, RepliesInPieces) {
  PjlReplyReader reader;
  EXPECT_TRUE(reader.Take("@PJL INFO STATUS\r\nCODE=10001\r\nDISPL").empty());
  const std::vector<std::string> got = reader.Take("AY=\"READY\"\r\nONLINE=TRUE\r\n\f@PJL USTATUS DEVICE\nCODE=41202\n\f");
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(ParsePjlStatus(got[0])->display, "READY");
  EXPECT_EQ(ParsePjlStatus(got[1])->code, 41202);
  EXPECT_TRUE(reader.Take(std::string(5000, 'x')).empty());
  EXPECT_EQ(reader.Take("@PJL INFO STATUS\nCODE=10001\n\f").size(), 1u) << "a runaway message is dropped";
}

TEST(PjlStatus, CodesToConditions) {
  // HP's PJL Technical Reference, Appendix D: 10xxx informational, 11xyy
  // background paper mount, 2xxxx PJL errors, 30xxx auto-continuable,
  // 40xxx operator intervention, 41xyy paper out, 42xyy jams, 50xxx
  // hardware.
  const struct {
    const char* message;
    const char* keywords;  // nullptr: not the copier's state
    const char* words = "";
  } cases[] = {
      {"@PJL INFO STATUS\r\nCODE=10001\r\nDISPLAY=\"00 READY\"\r\nONLINE=TRUE\r\n", ""},
      {"\x01@pjl ustatus device\nCODE = 10002\nONLINE = FALSE\n", "offline-report"},
      {"@PJL USTATUS DEVICE\nCODE=10006\nDISPLAY=\"16 TONER LOW\"\n", "toner-low"},
      {"@PJL USTATUS DEVICE\nCODE=11202\n", "media-empty-report"},
      {"@PJL USTATUS DEVICE\nCODE=25001\n", nullptr},
      {"@PJL USTATUS DEVICE\nCODE=30119\nDISPLAY=\"MEDIA MISMATCH\"\n", "other-warning",
       "the copier says: MEDIA MISMATCH"},
      {"@PJL USTATUS DEVICE\nCODE=40000\nDISPLAY=\"SLEEP\"\nONLINE=FALSE\n", ""},
      {"@PJL USTATUS DEVICE\nCODE=40021\nDISPLAY=\"12 PRINTER OPEN\"\nONLINE=FALSE\n", "door-open"},
      {"@PJL USTATUS DEVICE\nCODE=40022\nONLINE=FALSE\n", "media-jam"},
      {"@PJL USTATUS DEVICE\nCODE=41202\nDISPLAY=\"LOAD TRAY 2 \"A4\"\"\nONLINE=FALSE\n", "media-empty", "paper out"},
      {"@PJL USTATUS DEVICE\nCODE=42202\nONLINE=FALSE\n", "media-jam"},
      {"@PJL USTATUS DEVICE\nCODE=50001\nDISPLAY=\"50 SERVICE\"\nONLINE=FALSE\n", "other-error"},
      {"@PJL USTATUS JOB\nSTART\nNAME=\"x\"\n", nullptr},
      {"@PJL INFO STATUS\nCODE=1x\n", nullptr},
      {"@PJL INFO STATUS\nDISPLAY=\"no code\"\n", nullptr},
  };
  for (const auto& c : cases) {
    const std::optional<PjlStatus> s = ParsePjlStatus(c.message);
    const auto conditions = s ? PjlConditions(*s) : std::nullopt;
    ASSERT_EQ(conditions.has_value(), c.keywords != nullptr) << c.message;
    if (!conditions) continue;
    EXPECT_EQ(Keywords(*conditions), c.keywords) << c.message;
    EXPECT_EQ(JoinedWords(*conditions, false).find(c.words), 0u) << c.message;
  }
}

TEST(CopierAddress, FromTheDeviceUri) {
  const struct {
    const char* uri;
    const char* seen;  // its address; how its agent is asked
  } cases[] = {
      {"socket://copier.example.com", "copier.example.com:9100 public@161"},
      {"socket://10.0.0.5:9101/", "10.0.0.5:9101 public@161"},
      {"socket://[fe80::1]:9100/?snmp=off", "[fe80::1]:9100 no SNMP"},
      {"socket://h:1/?snmp-community=s3cret&snmp-port=1161", "h:1 s3cret@1161"},
      {"socket://h/?snmp-port=99999", "h:9100 public@161"},
      {"file:///tmp/out", "file:///tmp/out not a network device"},
      {"usb://HP/LaserJet", "usb://HP/LaserJet not a network device"},
  };
  for (const auto& c : cases) {
    const CopierAddress a = CopierAddressOf(c.uri);
    const std::string agent = !a.network ? "not a network device"
                              : a.snmp   ? a.community + "@" + std::to_string(a.snmp_port)
                                         : "no SNMP";
    EXPECT_EQ(a.Text() + " " + agent, c.seen);
  }
}

TEST(PrinterView, WhatClientsSeeBesidePapplsOwn) {
  using Reach = CopierReport::Reach;
  const auto report = [](Reach reach, std::vector<CopierCondition> conditions) {
    CopierReport r;
    r.reach = reach;
    r.status.conditions = std::move(conditions);
    return r;
  };
  const struct {
    const char* name;
    StateAttributes pappl;
    CopierReport report;
    bool device_wait;
    StateAttributes shown;
  } cases[] = {
      {"a copier in order", {IPP_PSTATE_IDLE, {"none"}, "Idle."}, report(Reach::kYes, {}), false,
       {IPP_PSTATE_IDLE, {"none"}, "Idle."}},
      {"paper out, PAPPL's bit given way",
       {IPP_PSTATE_PROCESSING, {"media-empty"}, "Printing."},
       report(Reach::kYes, {{Condition::kMediaEmpty, ""}, {Condition::kTrayEmpty, "Tray 2"}}), false,
       {IPP_PSTATE_PROCESSING, {"media-empty", "media-empty-report"}, "Paper out, Tray 2 is empty."}},
      {"switched off, idle", {IPP_PSTATE_IDLE, {"offline"}, "Idle."}, report(Reach::kNo, {}), false,
       {IPP_PSTATE_IDLE, {"offline-report"}, "Waiting for the copier at h:9100"}},
      {"a job waits for the device, not paused",
       {IPP_PSTATE_STOPPED, {"offline", "paused"}, "Stopped."}, report(Reach::kNo, {}), true,
       {IPP_PSTATE_PROCESSING, {"offline-report", "connecting-to-device"}, "Waiting for the copier at h:9100"}},
      {"the administrator pauses while it waits",
       {IPP_PSTATE_STOPPED, {"offline", "moving-to-paused", "paused"}, "Stopped."}, report(Reach::kNo, {}),
       true,
       {IPP_PSTATE_PROCESSING, {"moving-to-paused", "offline-report", "connecting-to-device"},
        "Waiting for the copier at h:9100"}},
      {"paused by the administrator while idle", {IPP_PSTATE_STOPPED, {"paused"}, "Stopped."},
       report(Reach::kNo, {}), false, {IPP_PSTATE_STOPPED, {"paused", "offline-report"}, "Waiting for the copier at h:9100"}},
      {"held jobs stay held", {IPP_PSTATE_IDLE, {"hold-new-jobs"}, "Idle."},
       report(Reach::kYes, {{Condition::kTonerLow, "Black Toner"}}), false,
       {IPP_PSTATE_IDLE, {"hold-new-jobs", "toner-low"}, "Black Toner low."}},
  };
  for (const auto& c : cases) {
    const PrinterView view = MakeView("h:9100", c.report, c.device_wait);
    EXPECT_EQ(PresentState(c.pappl, view), c.shown) << c.name;
  }
}

}  // namespace
}  // namespace pclspool::app
