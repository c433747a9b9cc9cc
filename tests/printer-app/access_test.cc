// Who may change the copier, as a table: each IPP operation and web form
// that changes a printer, the system or another user's job, and those a
// user does on their own jobs, sent over loopback TCP by an anonymous
// caller, by one with a wrong password and by the administrator (ipptool,
// which answers a 401 as CUPS's clients do, with the credentials in its
// URI). Refused callers change nothing; printing needs nothing. In each
// configuration of the administrator's credential: the password the
// server made at its first start, and PAM (a service file of the test's,
// whose members of the group nogroup are administrators). The domain
// socket, the administrator's door, is the server user's alone.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app_fixture.h"
#include "documents.h"
#include "fake_printer.h"
#include "http_request.h"

namespace pclspool::apptest {
namespace {

constexpr char kRefused[] = "client-error-not-authenticated";  // HTTP 401
constexpr char kForbidden[] = "client-error-forbidden";        // HTTP 403
constexpr char kOk[] = "successful-ok";

struct Caller {
  const char* what;
  std::string user_password;  // "" anonymous
  const char* refused;        // the answer to what only the administrator may do; "" allowed
};

// A request to the printer "copier" (or to `path`); the job a row needs is
// made by alice before each caller's try, and `$job` stands for its id.
struct Operation {
  const char* what;
  std::string attributes;  // ipptool ATTR lines after printer-uri or system-uri
  bool administrator;      // else anyone may
  const char* user = "bob";
  const char* path = "/ipp/print/copier";
  bool job = false;
};

constexpr char kSystem[] = "/ipp/system";

class AccessTest : public AppTest {
 protected:
  std::string Uri(const Caller& c, const std::string& path) const {
    // An anonymous caller has a name and no password, so that ipptool
    // gives up on a 401 rather than ask on a terminal.
    return "ipp://" + (c.user_password.empty() ? std::string("anonymous:") : c.user_password) +
           "@127.0.0.1:" + std::to_string(server_.port()) + path;
  }

  // ipptool's answer: successful-ok, or the status it got instead.
  std::string Send(const Caller& c, const Operation& o, int job_id) {
    std::string attributes = o.attributes;
    for (std::size_t at; (at = attributes.find("$job")) != std::string::npos;) {
      attributes.replace(at, 4, std::to_string(job_id));
    }
    const bool system = std::string(o.path) == kSystem;
    const std::string report = RunIppTool(
        Uri(c, o.path),
        std::string("{\nOPERATION ") + o.what + "\nGROUP operation-attributes-tag\n" +
            "ATTR charset attributes-charset utf-8\nATTR language attributes-natural-language en\n" +
            "ATTR uri " + (system ? "system-uri" : "printer-uri") + " $uri\n" +
            "ATTR name requesting-user-name " + o.user + "\n" + attributes +
            "STATUS successful-ok\n}\n",
        dir_.path());
    if (report.find("[PASS]") != std::string::npos) return kOk;
    // "(got STATUS)" when answered, "status-code = STATUS (...)" when not.
    std::size_t at = report.find("(got ");
    if (at != std::string::npos) return report.substr(at + 5, report.find(')', at) - at - 5);
    at = report.find("status-code = ");
    if (at == std::string::npos) return report;
    return report.substr(at + 14, report.find(' ', at + 14) - at - 14);
  }

  // A job of alice's, held until released.
  int HeldJob() {
    return std::atoi(DisplayedValues(RunIppTool(
        server_.PrinterUri("copier"),
        "{\nOPERATION Print-Job\nGROUP operation-attributes-tag\n"
        "ATTR charset attributes-charset utf-8\nATTR language attributes-natural-language en\n"
        "ATTR uri printer-uri $uri\nATTR name requesting-user-name alice\n" + kHeld +
            "FILE " + pdf_.string() + "\nDISPLAY job-id\n}\n",
        dir_.path()))["job-id"].c_str());
  }

  // The value ipptool shows for a printer attribute.
  std::string PrinterValue(const std::string& printer, const std::string& name) {
    return DisplayedValues(RunIppTool(
        server_.PrinterUri(printer),
        "{\nOPERATION Get-Printer-Attributes\nGROUP operation-attributes-tag\n"
        "ATTR charset attributes-charset utf-8\nATTR language attributes-natural-language en\n"
        "ATTR uri printer-uri $uri\nDISPLAY " + name + "\n}\n",
        dir_.path()))[name];
  }

  // A form's CSRF token: PAPPL's is the same for every page to one address.
  std::string Session() {
    const std::string page = HttpRequest(server_.port(), "/copier/").body;
    const std::string key = "name=\"session\" value=\"";
    const std::size_t at = page.find(key);
    return at == std::string::npos ? "" : page.substr(at + key.size(), 64);
  }

  // Every row for each caller: the refused first, which must leave
  // everything as it was, then the administrator.
  void Table(const std::vector<Caller>& callers, const Caller& administrator) {
    for (const char* printer : {"victim", "web-victim"}) {
      ASSERT_TRUE(server_.AddPrinter(printer, {}, &error_)) << error_;
    }
    // Printers are numbered in the order they are added (PAPPL 1.3.1's
    // printer-id reads 0 until a restart): copier 1, confidential 2.
    const std::string victim_id = "3";
    // A job printing, to a copier that takes nothing, for
    // Cancel-Current-Job (PAPPL looks for one before it asks).
    FakePrinter copier;
    copier.Stall(true);
    ASSERT_TRUE(server_.AddPrinter("busy", {}, &error_, copier.Uri())) << error_;
    const DocumentFile nine = Document(Kind::kPdf, 9);
    ASSERT_GT(Print({"long", nine.path, nine.format, {"integer copies 99"}, false}, "busy").job_id, 0);
    ASSERT_TRUE(Eventually([&] { return copier.Open(); }, std::chrono::seconds(60)));
    const std::string job_id = "ATTR integer job-id $job\n";
    const std::vector<Operation> rows = {
        {"Print-Job", kHeld + "FILE " + pdf_.string() + "\n", false},
        {"Validate-Job", "", false},
        {"Create-Job", kHeld, false},
        {"Cancel-Job", job_id, false, "alice", "/ipp/print/copier", true},
        {"Release-Job", job_id, false, "alice", "/ipp/print/copier", true},
        {"Cancel-Job", job_id, true, "bob", "/ipp/print/copier", true},
        {"Release-Job", job_id, true, "bob", "/ipp/print/copier", true},
        {"Cancel-Jobs", "", true},
        {"Cancel-My-Jobs", "", true},
        {"Cancel-Current-Job", "", true, "bob", "/ipp/print/busy"},
        {"Set-Printer-Attributes", "GROUP printer-attributes-tag\nATTR keyword watermark-default none\n",
         true, "bob", "/ipp/print/confidential"},
        {"Pause-Printer", "", true},
        {"Resume-Printer", "", true},
        {"Disable-Printer", "", true},
        {"Enable-Printer", "", true},
        {"Hold-New-Jobs", "", true},
        {"Release-Held-New-Jobs", "", true},
        {"Set-System-Attributes", "GROUP system-attributes-tag\nATTR text system-location \"taken\"\n",
         true, "bob", kSystem},
        {"Pause-All-Printers", "", true, "bob", kSystem},
        {"Resume-All-Printers", "", true, "bob", kSystem},
        {"Create-Printer",
         "ATTR keyword printer-service-type print\nATTR uri smi55357-device-uri file:///dev/null\n"
         "ATTR keyword smi55357-driver pclspool\nGROUP printer-attributes-tag\n"
         "ATTR name printer-name made\n",
         true, "bob", kSystem},
        {"Delete-Printer", "ATTR integer printer-id " + victim_id + "\n", true, "bob", kSystem},
        {"Shutdown-All-Printers", "", true, "bob", kSystem},
    };
    const std::string session = Session();
    ASSERT_EQ(session.size(), 64u);
    const std::vector<std::pair<std::string, std::string>> forms = {
        {"/watermarks", "action=save&replaces=&text=TAKEN&face=Arial&height=-90&angle=0&weight=400&dark=0"},
        {"/copier/", "action=pause-printer"},
        {"/confidential/printing", "watermark=none"},
        {"/security", "old_password=x&new_password=Taken123&new_password2=Taken123"},
        {"/web-victim/delete", ""},
    };
    std::vector<Caller> all = callers;
    all.push_back(administrator);
    for (const Caller& c : all) {
      SCOPED_TRACE(c.what);
      if (!*c.refused) {
        // The administrator's Cancel-Current-Job ends at once only while
        // the copier reads (a stalled write holds PAPPL's device); slowly,
        // the long job still prints then.
        copier.Slow(16384);
        copier.Stall(false);
      }
      for (const auto& [path, form] : forms) {
        const HttpResponse r = HttpRequest(server_.port(), path, "session=" + session + "&" + form,
                                           "application/x-www-form-urlencoded", c.user_password);
        // Allowed: the page, or where it sends the browser once done.
        const int refused = std::string(c.refused) == kForbidden ? 403 : 401;
        EXPECT_EQ(r.status == 200 || r.status == 302 ? 0 : r.status, *c.refused ? refused : 0) << path;
      }
      for (const Operation& o : rows) {
        const std::string got = Send(c, o, o.job ? HeldJob() : 0);
        EXPECT_EQ(got, o.administrator && *c.refused ? c.refused : kOk)
            << o.what << " by " << o.user;
      }
      if (!*c.refused) continue;
      // Nothing changed.
      EXPECT_EQ(PrinterValue("confidential", "watermark-default"), "confidential");
      EXPECT_EQ(PrinterValue("copier", "printer-state"), "idle");
      EXPECT_EQ(PrinterValue("busy", "printer-state"), "processing");
      EXPECT_EQ(PrinterValue("copier", "printer-is-accepting-jobs"), "true");
      EXPECT_EQ(PrinterValue("victim", "printer-name"), "victim");
      EXPECT_EQ(PrinterValue("web-victim", "printer-name"), "web-victim");
      EXPECT_EQ(Read(server_.state_dir() / "OrvWater.INI"), Read(ini_));
      EXPECT_FALSE(server_.Ended());
    }
    // The administrator's Shutdown-All-Printers, the last row.
    EXPECT_TRUE(Eventually([&] { return server_.Ended(); }, std::chrono::seconds(60)));
  }

  // Printing, by each caller, completes.
  void Prints(const std::vector<Caller>& callers) {
    for (const Caller& c : callers) {
      const IppJobResult r = SubmitJob(Uri(c, "/ipp/print/confidential"),
                                       {"printed", pdf_, "application/pdf", {}, true}, dir_.path());
      EXPECT_EQ(r.state, "completed") << c.what << r.output;
    }
  }

  void SetUp() override {
    AppTest::SetUp();
    const DocumentFile doc = Document(Kind::kPdf, 1);
    ASSERT_TRUE(doc.error.empty()) << doc.error;
    pdf_ = doc.path;
  }

  const std::string kHeld = "GROUP job-attributes-tag\nATTR keyword job-hold-until indefinite\n";
  std::filesystem::path pdf_;
  std::string error_;
};

TEST_F(AccessTest, WithTheFirstPasswordOnlyTheAdministratorChangesAnything) {
  ASSERT_EQ(FirstPassword().size(), 20u);
  const std::vector<Caller> callers = {{"anonymous", "", kRefused},
                                       {"a wrong password", "admin:Wrong1234", kRefused}};
  const Caller administrator{"the administrator", Administrator(), ""};
  ASSERT_TRUE(server_.AddPrinter("confidential", {"watermark-default=confidential"}, &error_)) << error_;
  Prints({callers[0], callers[1], administrator});
  Table(callers, administrator);
}

TEST_F(AccessTest, WithPamTheAdministratorsGroupChangesAnything) {
  server_.Stop();
  // Any user with the password Secret123; nobody is in nogroup, daemon not.
  const std::filesystem::path check = dir_ / "check-password", service = dir_ / "pclspool-test";
  std::ofstream(check) << "#!/bin/sh\nread -r password\n[ \"$password\" = Secret123 ]\n";
  std::filesystem::permissions(check, std::filesystem::perms::owner_all);
  std::ofstream(service) << "auth required pam_exec.so quiet expose_authtok " << check.string()
                         << "\naccount required pam_permit.so\n";
  server_.AddOption("auth-service=" + service.string());
  server_.AddOption("admin-group=nogroup");
  std::filesystem::remove(server_.state_dir() / "admin-password");
  ASSERT_TRUE(server_.Start(&error_)) << error_;
  const std::vector<Caller> callers = {{"anonymous", "", kRefused},
                                       {"a wrong password", "nobody:Wrong1234", kRefused},
                                       {"a user outside the group", "daemon:Secret123", kForbidden}};
  const Caller administrator{"a member of the group", "nobody:Secret123", ""};
  ASSERT_TRUE(server_.AddPrinter("confidential", {"watermark-default=confidential"}, &error_)) << error_;
  Prints({callers[0], callers[2]});
  Table(callers, administrator);
}

TEST_F(AccessTest, TheDomainSocketIsTheServerUsersAlone) {
  const std::string socket = server_.socket().string();
  struct stat st {};
  ASSERT_EQ(::stat(socket.c_str(), &st), 0) << socket;
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  // Its sub-commands administer with no password.
  EXPECT_TRUE(server_.Command({"pause", "-d", "copier"}).Ok());
  EXPECT_TRUE(server_.Command({"resume", "-d", "copier"}).Ok());
  if (::geteuid() != 0) GTEST_SKIP() << "another user's connection needs root to try";
  const pid_t child = ::fork();
  if (child == 0) {
    sockaddr_un addr{};
    addr.sun_family = AF_LOCAL;
    socket.copy(addr.sun_path, sizeof(addr.sun_path) - 1);
    const int fd = ::socket(AF_LOCAL, SOCK_STREAM, 0);
    const bool refused = ::setgid(65534) == 0 && ::setuid(65534) == 0 &&
                         ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 &&
                         errno == EACCES;
    ::_exit(refused ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "user nobody connected";
}

}  // namespace
}  // namespace pclspool::apptest
