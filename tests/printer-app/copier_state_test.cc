// The copier's state where clients and the administrator see it, with real
// parts on 127.0.0.1: a fake copier (fake_printer.h) that holds up a job,
// refuses connections and answers PJL status, and net-snmp's agent
// (snmp_agent.h) serving the Printer MIB. For each state: what
// Get-Printer-Attributes says, what the printer's Copier page shows in
// Chromium, and that a job sent meanwhile prints, once, when it clears.
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>

#include "app_fixture.h"
#include "browser.h"
#include "documents.h"
#include "fake_printer.h"
#include "printer-app/pjl_status.h"
#include "snmp_agent.h"

namespace pclspool::apptest {
namespace {

using namespace std::chrono_literals;

// A copier in good order, as its agent tells it: idle, no error, a black
// toner at 80%, tray 1 with 250 sheets of 500.
const std::map<std::string, std::string> kWell = {
    {".1.3.6.1.2.1.25.3.5.1.1.1", "integer 3"},
    {".1.3.6.1.2.1.25.3.5.1.2.1", "octet 00 00"},
    {".1.3.6.1.2.1.43.8.2.1.9.1.1", "integer 500"},
    {".1.3.6.1.2.1.43.8.2.1.10.1.1", "integer 250"},
    {".1.3.6.1.2.1.43.8.2.1.13.1.1", "string Tray 1"},
    {".1.3.6.1.2.1.43.11.1.1.3.1.1", "integer 1"},
    {".1.3.6.1.2.1.43.11.1.1.4.1.1", "integer 3"},
    {".1.3.6.1.2.1.43.11.1.1.5.1.1", "integer 3"},
    {".1.3.6.1.2.1.43.11.1.1.6.1.1", "string Black Toner"},
    {".1.3.6.1.2.1.43.11.1.1.7.1.1", "integer 19"},
    {".1.3.6.1.2.1.43.11.1.1.8.1.1", "integer 100"},
    {".1.3.6.1.2.1.43.11.1.1.9.1.1", "integer 80"},
    {".1.3.6.1.2.1.43.12.1.1.4.1.1", "string black"},
};
constexpr char kErrorState[] = ".1.3.6.1.2.1.25.3.5.1.2.1";
constexpr char kTonerLevel[] = ".1.3.6.1.2.1.43.11.1.1.9.1.1";
constexpr char kTrayLevel[] = ".1.3.6.1.2.1.43.8.2.1.10.1.1";

struct CopierCase {
  const char* name;
  int agent_port;  // -1: no agent (PJL alone); 0: a free port; 161
  std::map<std::string, std::string> mib;  // the agent's values that differ from kWell's
  int pjl = 10001;                         // the PJL status it reports
  const char* display = "00 READY";
  bool holds = true;  // it stops reading
  bool off = false;   // it refuses connections
  // Expected ("@" stands for the copier's address): printer-state-reasons
  // while idle, and while the job waits; printer-state-message; the job's
  // message; what the Copier page shows.
  const char* reasons;
  const char* job_reasons;
  const char* message;
  const char* job;
  const char* page;
};

const CopierCase kCases[] = {
    {"SnmpPaperOut", 0, {{kErrorState, "octet 40 00"}, {kTrayLevel, "integer 0"}}, 10001, "", true, false,
     "media-empty,media-empty-report", nullptr, "Paper out, Tray 1 is empty.",
     "waiting for the copier: paper out", "Tray 1\tempty"},
    {"SnmpPaperJam", 0, {{kErrorState, "octet 04 00"}}, 10001, "", true, false, "media-jam", nullptr,
     "Paper jam.", "waiting for the copier: paper jam", "Paper jam."},
    {"SnmpDoorOpen", 0, {{kErrorState, "octet 08 00"}}, 10001, "", true, false, "door-open", nullptr,
     "A door is open.", "waiting for the copier: a door is open", "Reasons: door-open"},
    {"SnmpTonerLow", 0, {{kErrorState, "octet 20 00"}, {kTonerLevel, "integer 5"}}, 10001, "", false, false,
     "toner-low", nullptr, "Black Toner low.", nullptr, "Black Toner\t5%"},
    {"SnmpTonerEmpty", 0, {{kErrorState, "octet 10 00"}, {kTonerLevel, "integer 0"}}, 10001, "", true, false,
     "toner-empty", nullptr, "Black Toner empty.", "waiting for the copier: Black Toner empty",
     "Black Toner\t0%"},
    {"SnmpAtItsOwnPort", 161, {{kTonerLevel, "integer 7"}}, 10001, "", false, false, "toner-low", nullptr,
     "Black Toner low.", nullptr, "Black Toner\t7%"},
    {"PjlPaperOut", -1, {}, 41202, "LOAD TRAY 2", true, false, "media-empty", nullptr, "Paper out.",
     "waiting for the copier: paper out", "Its panel shows: LOAD TRAY 2"},
    {"PjlPaperJam", -1, {}, 42002, "13.1 PAPER JAM", true, false, "media-jam", nullptr, "Paper jam.",
     "waiting for the copier: paper jam", "Its panel shows: 13.1 PAPER JAM"},
    {"SwitchedOff", -1, {}, 10001, "", false, true, "offline-report", "offline-report,connecting-to-device",
     "Waiting for the copier at @", "waiting for the copier at @", "Waiting for the copier at @"},
    {"SwitchedOffWithItsAgent", 0, {}, 10001, "", false, true, "offline-report",
     "offline-report,connecting-to-device", "Waiting for the copier at @", "waiting for the copier at @",
     "Waiting for the copier at @"},
};

void PrintTo(const CopierCase& c, std::ostream* os) { *os << c.name; }

std::string Expand(const char* pattern, const std::string& address) {
  std::string s = pattern ? pattern : "";
  if (const std::size_t at = s.find('@'); at != std::string::npos) s.replace(at, 1, address);
  return s;
}

std::vector<std::string> Mib(const std::map<std::string, std::string>& changes) {
  std::map<std::string, std::string> values = kWell;
  for (const auto& [oid, value] : changes) values[oid] = value;
  std::vector<std::string> lines;
  for (const auto& [oid, value] : values) lines.push_back(oid + " " + value);
  return lines;
}

class CopierTest : public AppTest {
 protected:
  std::map<std::string, std::string> State(const std::string& printer = "socket") {
    return DisplayedValues(RunIppTool(
        server_.PrinterUri(printer),
        "{\nOPERATION Get-Printer-Attributes\nGROUP operation-attributes-tag\n"
        "ATTR charset attributes-charset utf-8\nATTR language attributes-natural-language en\n"
        "ATTR uri printer-uri $uri\nSTATUS successful-ok\nDISPLAY printer-state\n"
        "DISPLAY printer-state-reasons\nDISPLAY printer-state-message\nDISPLAY marker-levels\n}\n",
        dir_.path()));
  }
  // Waits until Get-Printer-Attributes says `value` for `name`; else what
  // it said last.
  std::string Shows(const std::string& name, const std::string& value) {
    std::map<std::string, std::string> last;
    Eventually([&] { return (last = State())[name] == value; }, 30s);
    return last[name];
  }
  std::string Job(int job_id, const char* name) {
    return JobAttributes(server_.PrinterUri("socket"), job_id, dir_.path())[name];
  }
  // The administrator's pause and resume, through the server's domain
  // socket.
  void Admin(const char* command) {
    const testing::ProgramRun run = server_.Command({command, "-d", "socket"});
    EXPECT_TRUE(run.Ok()) << run.Describe(command);
  }
  // What reaches the copier for a job as it prints on a file.
  std::string Expected(const std::string& reference) {
    return app::kPjlJobPreamble + Read(Output(reference)) + app::kPjlJobEpilogue;
  }
  // The long job: more than the connection's buffers hold while the
  // copier reads nothing, so that it waits.
  IppJob LongJob(const std::string& name) {
    const DocumentFile doc = Document(Kind::kPcl, 9);
    EXPECT_TRUE(doc.error.empty()) << doc.error;
    return {name, doc.path, doc.format, {"integer copies 20"}, false};
  }
  std::string PageText(const std::string& page) {
    const std::string out = RunBrowserScript(
        "page_text.js", {"http://127.0.0.1:" + std::to_string(server_.port()) + "/socket/" + page});
    EXPECT_NE(out.find("{\"ok\":true}"), std::string::npos) << out;
    return out;
  }
  void SetCopier(const CopierCase& c, bool well) {
    if (c.agent_port >= 0) agent_.Serve(Mib(well ? decltype(c.mib){} : c.mib));
    copier_.SetStatus(well ? 10001 : c.pjl, well ? "00 READY" : c.display, well || c.pjl < 40000);
    copier_.Hold(!well && c.holds ? 64 * 1024 : 0);
    copier_.Refuse(!well && c.off);
    // Switched off, its agent is gone too.
    std::string error;
    if (c.off && c.agent_port >= 0 && !well) agent_.Stop();
    if (c.off && c.agent_port >= 0 && well) {
      EXPECT_TRUE(agent_.Start(agent_.port(), &error)) << error;
    }
  }

  FakePrinter copier_;
  SnmpAgent agent_{dir_.path() / "snmp"};
};

class CopierStateTest : public CopierTest, public ::testing::WithParamInterface<CopierCase> {};

TEST_P(CopierStateTest, ClientsThePageAndAJobSentMeanwhile) {
  const CopierCase& c = GetParam();
  PCLSPOOL_REQUIRE_BROWSER();
  if (c.agent_port >= 0) {
    PCLSPOOL_REQUIRE(MissingSnmpd());
    std::string error;
    if (c.agent_port == 161 && (::geteuid() != 0 || !agent_.Start(161, &error))) {
      GTEST_SKIP() << "SNMP's own port 161 needs root and the port free: " << error;
    }
    agent_.Serve(Mib({}));
    if (c.agent_port == 0) {
      ASSERT_TRUE(agent_.Start(0, &error)) << error;
    }
  }
  std::string error;
  ASSERT_TRUE(server_.AddPrinter("socket", {}, &error, copier_.Uri(c.agent_port < 0 ? 0 : agent_.port())))
      << error;
  const std::string address = "127.0.0.1:" + std::to_string(copier_.port());
  // The job as it prints on a file, for what reaches the copier.
  const IppJob job = LongJob("long");
  const IppJobResult reference = Print({"reference", job.document, job.format, job.attributes, true});
  ASSERT_EQ(reference.state, "completed") << reference.output;
  if (c.agent_port >= 0) {
    EXPECT_EQ(Shows("marker-levels", "80"), "80");
  }

  // The state, while idle.
  SetCopier(c, false);
  EXPECT_EQ(Shows("printer-state-reasons", c.reasons), c.reasons);
  const auto idle = State();
  EXPECT_EQ(idle.at("printer-state-message"), Expand(c.message, address));
  EXPECT_EQ(idle.at("printer-state"), "idle");
  const std::string page = PageText("copier");
  EXPECT_NE(page.find(Expand(c.page, address)), std::string::npos) << page;

  // A job sent meanwhile waits, and says why.
  const IppJobResult r = Print(job, "socket");
  ASSERT_GT(r.job_id, 0) << r.output;
  if (c.job) {
    EXPECT_TRUE(Eventually([&] { return Job(r.job_id, "job-state-message") == Expand(c.job, address); }, 30s))
        << Job(r.job_id, "job-state-message");
    const auto waiting = State();
    EXPECT_EQ(waiting.at("printer-state"), "processing");
    if (c.job_reasons) {
      EXPECT_EQ(waiting.at("printer-state-reasons"), c.job_reasons);
    }
  }

  // It prints once the state clears, all of it once.
  SetCopier(c, true);
  EXPECT_EQ(WaitForJob(server_.PrinterUri("socket"), r.job_id, dir_.path()).at("job-state"), "completed");
  ASSERT_TRUE(Eventually([&] { return !copier_.Open(); }, 30s));
  EXPECT_EQ(copier_.Printed().size(), Expected("reference").size());
  EXPECT_TRUE(copier_.Printed() == Expected("reference")) << "the copier got something else than the job, once";
  EXPECT_EQ(Shows("printer-state-reasons", "none"), "none");
}

// A copier switched off: the administrator's own pause still reads as
// paused, and holds the job; resumed, the job waits for the copier, and
// prints once it is on.
TEST_F(CopierTest, AnAdministratorsPauseStillReadsAsPaused) {
  std::string error;
  ASSERT_TRUE(server_.AddPrinter("socket", {}, &error, copier_.Uri())) << error;
  const IppJob job = LongJob("long");
  ASSERT_EQ(Print({"reference", job.document, job.format, job.attributes, true}).state, "completed");
  copier_.Refuse(true);
  EXPECT_EQ(Shows("printer-state-reasons", "offline-report"), "offline-report");

  Admin("pause");
  EXPECT_EQ(Shows("printer-state-reasons", "paused,offline-report"), "paused,offline-report");
  EXPECT_EQ(State().at("printer-state"), "stopped");
  const IppJobResult r = Print(job, "socket");
  std::this_thread::sleep_for(2s);
  EXPECT_EQ(Job(r.job_id, "job-state"), "pending");

  Admin("resume");
  EXPECT_EQ(Shows("printer-state-reasons", "offline-report,connecting-to-device"),
            "offline-report,connecting-to-device");
  EXPECT_EQ(State().at("printer-state"), "processing");
  copier_.Refuse(false);
  EXPECT_EQ(WaitForJob(server_.PrinterUri("socket"), r.job_id, dir_.path()).at("job-state"), "completed");
  ASSERT_TRUE(Eventually([&] { return !copier_.Open(); }, 30s));
  EXPECT_TRUE(copier_.Printed() == Expected("reference")) << "the copier got something else than the job, once";
}

INSTANTIATE_TEST_SUITE_P(States, CopierStateTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pclspool::apptest
