// Requests no print dialog sends: values of the wrong syntax, out of range,
// too long, unknown keywords, thousands of page ranges, a watermark that is
// not one of the texts, and messages that break IPP's encoding. Each is
// written byte by byte (libcups would refuse to send some) and answered
// with the status IPP and PAPPL give it; a job that is accepted ends the
// way its values say; and afterwards the server still prints.
//
// PAPPL 1.3.1 checks the standard attributes when a job is submitted and
// none of the copier's own (number-up, booklet, watermark, ...): those are
// accepted with the job, which is then aborted with the attribute named in
// job-state-message.
#include <cups/ipp.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app_fixture.h"
#include "documents.h"
#include "http_request.h"

namespace pclspool::apptest {
namespace {

constexpr int kHttpBadRequest = -400;  // no IPP answer: HTTP 400

std::string U16(std::size_t n) { return {static_cast<char>(n >> 8 & 0xFF), static_cast<char>(n & 0xFF)}; }
std::string I32(int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  return U16(u >> 16) + U16(u & 0xFFFF);
}

// One attribute: its value tag, its name, its values' bytes.
std::string Attr(uint8_t tag, const std::string& name, const std::vector<std::string>& values) {
  std::string out;
  for (std::size_t i = 0; i < values.size(); ++i) {
    out += static_cast<char>(tag) + U16(i ? 0 : name.size()) + (i ? "" : name);
    out += U16(values[i].size()) + values[i];
  }
  return out;
}
std::string Keyword(const std::string& name, const std::string& v) { return Attr(0x44, name, {v}); }
std::string Integer(const std::string& name, int32_t v) { return Attr(0x21, name, {I32(v)}); }
std::string Ranges(int count) {
  std::vector<std::string> v;
  for (int i = 0; i < count; ++i) v.push_back(I32(2 * i + 1) + I32(2 * i + 1));
  return Attr(0x33, "page-ranges", v);
}

constexpr uint16_t kPrintJob = 0x0002, kValidateJob = 0x0004;

struct Message {
  uint16_t version = 0x0200;
  uint16_t operation = kPrintJob;
  int32_t request_id = 1;
  bool charset = true;
  std::string operation_attributes{};  // after the usual ones
  std::string job_attributes{};
  std::string format = "application/pdf";

  std::string Encode(const std::string& uri) const {
    std::string m = U16(version) + U16(operation) + I32(request_id) + '\x01';
    if (charset) m += Attr(0x47, "attributes-charset", {"utf-8"});
    m += Attr(0x48, "attributes-natural-language", {"en"}) + Attr(0x45, "printer-uri", {uri}) +
         Attr(0x42, "requesting-user-name", {"hostile"}) + operation_attributes;
    if (operation == kPrintJob) m += Attr(0x49, "document-format", {format});
    if (!job_attributes.empty()) m += '\x02' + job_attributes;
    return m + '\x03';
  }
};

Message Job(std::string attributes) { return {.job_attributes = std::move(attributes)}; }

struct HostileCase {
  const char* what;
  Message message;
  std::string raw;  // sent instead of the message when not empty
  int status;       // IPP status, or kHttpBadRequest
  const char* ends = "";  // an accepted Print-Job's job-state at its end
};

class HostileIppTest : public AppTest {};

TEST_F(HostileIppTest, EveryRequestGetsItsStatusAndTheServerPrintsAfterwards) {
  const int kNotSupported = IPP_STATUS_ERROR_ATTRIBUTES_OR_VALUES;
  const int kIgnored = IPP_STATUS_OK_IGNORED_OR_SUBSTITUTED;
  const std::string uri = server_.PrinterUri("copier");
  const std::string too_long(40000, 'x');
  const HostileCase cases[] = {
      {"copies as a keyword", Job(Keyword("copies", "two")), "", kNotSupported},
      {"copies 0", Job(Integer("copies", 0)), "", kNotSupported},
      {"copies 1000", Job(Integer("copies", 1000)), "", kNotSupported},
      {"copies twice", Job(Attr(0x21, "copies", {I32(1), I32(2)})), "", kNotSupported},
      {"copies 100, beyond the copier", Job(Integer("copies", 100)), "", IPP_STATUS_OK, "aborted"},
      {"orientation 9", Job(Attr(0x23, "orientation-requested", {I32(9)})), "", kIgnored, "completed"},
      {"orientation as an integer", Job(Integer("orientation-requested", 4)), "", kNotSupported},
      {"sides unknown", Job(Keyword("sides", "three-sided")), "", kIgnored, "completed"},
      {"sides as a name", Job(Attr(0x42, "sides", {"one-sided"})), "", kNotSupported},
      {"media unknown", Job(Keyword("media", "iso_a0_841x1189mm")), "", kIgnored, "completed"},
      {"media of 1000 bytes", Job(Keyword("media", too_long.substr(0, 1000))), "", kIgnored, "completed"},
      {"media as an integer", Job(Integer("media", 4)), "", kNotSupported},
      {"page-ranges 5-2", Job(Attr(0x33, "page-ranges", {I32(5) + I32(2)})), "", kNotSupported},
      {"page-ranges from 0", Job(Attr(0x33, "page-ranges", {I32(0) + I32(2)})), "", kNotSupported},
      {"page-ranges, 10000 of them", Job(Ranges(10000)), "", kNotSupported},
      {"page-ranges as text", Job(Attr(0x41, "page-ranges", {"1-2"})), "", kNotSupported},
      {"print-scaling unknown", Job(Keyword("print-scaling", "stretch")), "", kNotSupported},
      {"multiple-document-handling unknown", Job(Keyword("multiple-document-handling", "shuffled")),
       "", kIgnored, "completed"},
      {"job-priority 0", Job(Integer("job-priority", 0)), "", kNotSupported},
      {"fidelity with sides unknown",
       {.operation_attributes = Attr(0x22, "ipp-attribute-fidelity", {"\x01"}),
        .job_attributes = Keyword("sides", "three-sided")},
       "", kIgnored, "completed"},
      {"Validate-Job with media unknown",
       {.operation = kValidateJob, .job_attributes = Keyword("media", "iso_a0_841x1189mm")}, "",
       kNotSupported},
      {"number-up 3", Job(Integer("number-up", 3)), "", IPP_STATUS_OK, "aborted"},
      {"number-up as a keyword", Job(Keyword("number-up", "two")), "", IPP_STATUS_OK, "aborted"},
      {"number-up 2147483647", Job(Integer("number-up", INT32_MAX)), "", IPP_STATUS_OK, "aborted"},
      {"watermark not one of the texts", Job(Keyword("watermark", "secret")), "", IPP_STATUS_OK, "aborted"},
      {"watermark as an integer", Job(Integer("watermark", 1)), "", IPP_STATUS_OK, "aborted"},
      {"watermark of 1000 bytes", Job(Keyword("watermark", too_long.substr(0, 1000))), "",
       IPP_STATUS_OK, "aborted"},
      {"watermark holding a line end", Job(Keyword("watermark", "draft\n@PJL ENTER")), "",
       IPP_STATUS_OK, "aborted"},
      {"watermark twice", Job(Attr(0x44, "watermark", {"draft", "confidential"})), "", IPP_STATUS_OK,
       "aborted"},
      {"booklet unknown", Job(Keyword("booklet", "centre")), "", IPP_STATUS_OK, "aborted"},
      {"number-up-layout unknown", Job(Keyword("number-up-layout", "spiral")), "", IPP_STATUS_OK,
       "aborted"},
      {"page-set as a boolean", Job(Attr(0x22, "page-set", {"\x01"})), "", IPP_STATUS_OK, "aborted"},
      {"output-order unknown", Job(Keyword("output-order", "random")), "", IPP_STATUS_OK, "aborted"},
      {"page-border unknown", Job(Keyword("page-border", "triple")), "", IPP_STATUS_OK, "aborted"},
      {"document-format unknown", {.format = "application/x-shockwave-flash"}, "", IPP_STATUS_OK,
       "aborted"},
      {"IPP version 9.9", {.version = 0x0909}, "", IPP_STATUS_ERROR_VERSION_NOT_SUPPORTED},
      {"no attributes-charset", {.charset = false}, "", IPP_STATUS_ERROR_BAD_REQUEST},
      {"request-id 0", {.request_id = 0}, "", IPP_STATUS_ERROR_BAD_REQUEST},
      {"an unknown operation", {.operation = 0x3fff}, "", IPP_STATUS_ERROR_OPERATION_NOT_SUPPORTED},
      {"a message cut short", {}, Job("").Encode(uri).substr(0, 40), kHttpBadRequest},
      {"a value of 40000 bytes", {}, Job(Keyword("watermark", too_long)).Encode(uri), kHttpBadRequest},
      {"an additional value first", {}, U16(0x0200) + U16(kPrintJob) + I32(1) + '\x01' +
           Attr(0x47, "", {"utf-8"}) + '\x03', kHttpBadRequest},
  };
  const DocumentFile doc = Document(Kind::kPdf, 1);
  ASSERT_TRUE(doc.error.empty()) << doc.error;
  const std::string pdf = Read(doc.path);
  // An accepted job is waited for before the next request: PAPPL 1.3.1
  // can start a job a second time when one ends as the next arrives, and
  // such a start can end it completed whatever the app found (rare, seen
  // under load; docs/printer-app.md).
  const auto ends_as = [&](const char* what, int job_id, const std::string& ends) {
    const auto job = WaitForJob(uri, job_id, dir_.path());
    EXPECT_EQ(job.at("job-state"), ends);
    if (ends != "aborted") return;
    // The attribute is named (the first word of the case), and a value
    // holding a line end stays on the message's one line. (A format PAPPL
    // has no filter for it aborts itself, in its words.)
    const std::string message = job.at("job-state-message");
    const std::string name = std::string(what).substr(0, std::string(what).find(' '));
    if (name != "document-format") {
      EXPECT_NE(message.find(name + "="), std::string::npos) << message;
    }
    if (std::string(what).find("line end") != std::string::npos) {
      EXPECT_NE(message.find("@PJL"), std::string::npos) << message;
    }
  };
  for (const HostileCase& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string body = c.raw.empty() ? c.message.Encode(uri) + pdf : c.raw;
    const HttpResponse r = HttpRequest(server_.port(), "/ipp/print/copier", body, "application/ipp");
    if (c.status == kHttpBadRequest) {
      EXPECT_EQ(r.status, 400);
      continue;
    }
    ASSERT_EQ(r.status, 200);
    ASSERT_GE(r.body.size(), 8u);
    const int status = static_cast<uint8_t>(r.body[2]) << 8 | static_cast<uint8_t>(r.body[3]);
    EXPECT_EQ(ippErrorString(static_cast<ipp_status_t>(status)),
              std::string(ippErrorString(static_cast<ipp_status_t>(c.status))));
    const std::string job_id("\x21\x00\x06job-id\x00\x04", 11);
    const std::size_t id = r.body.find(job_id);
    EXPECT_EQ(*c.ends != 0, id != std::string::npos) << "a job made: " << (id != std::string::npos);
    if (*c.ends && id != std::string::npos) {
      const std::string v = r.body.substr(id + job_id.size(), 4);
      ends_as(c.what, static_cast<uint8_t>(v[2]) << 8 | static_cast<uint8_t>(v[3]), c.ends);
    }
  }
  const DocumentFile two = Document(Kind::kPdf, 2);
  const IppJobResult after = Print({"after", two.path, two.format, {}, true});
  EXPECT_EQ(after.state, "completed") << after.output;
  EXPECT_EQ(render::RenderPages(Output("after"), 40).pages.size(), 2u);
  EXPECT_TRUE(server_.JobProcesses().empty());
}

}  // namespace
}  // namespace pclspool::apptest
