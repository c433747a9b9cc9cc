// Who may change the copier, as a table: each IPP operation and web form
// that changes a printer, the system or another user's job, and those a
// user does on their own jobs, over loopback TCP, by an anonymous caller,
// one with a wrong password and the administrator (ipptool, which answers
// a 401 as CUPS's clients do, with the credentials of its URI): refused
// callers change nothing, and printing needs nothing. With the password
// the server made at its first start, and with PAM (a service file of the
// test's: any user with the password Secret123; nobody is in the group
// nogroup, daemon is not).
#include <gtest/gtest.h>
#include <sys/stat.h>

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
constexpr char kSystem[] = "/ipp/system";
const std::string kHeld = "GROUP job-attributes-tag\nATTR keyword job-hold-until indefinite\n";

struct Caller {
  const char* what;
  std::string user_password;  // "" anonymous
  const char* refused;        // the answer to what the administrator alone may do; "" none
};

// To the printer "copier" unless `path` says; `$job` is a job of alice's,
// held, made for each caller.
struct Operation {
  const char* op;
  std::string lines;    // ipptool's after the operation attributes
  bool administrator;   // else anyone may
  const char* user = "bob";
  const char* path = "/ipp/print/copier";
};

class AccessTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    pdf_ = Document(Kind::kPdf, 1).path;
    ASSERT_TRUE(server_.AddPrinter("confidential", {"watermark-default=confidential"}, &error_)) << error_;
  }

  // An anonymous caller has a name and no password: ipptool gives up on a
  // 401 rather than ask on a terminal.
  std::string Uri(const Caller& c, const std::string& path) const {
    return "ipp://" + (c.user_password.empty() ? "anonymous:" : c.user_password) + "@127.0.0.1:" +
           std::to_string(server_.port()) + path;
  }

  std::string Send(const Caller& c, const Operation& o) {
    std::string lines = o.lines;
    if (const std::size_t at = lines.find("$job"); at != std::string::npos) {
      const std::string held = RunIppTool(
          server_.PrinterUri("copier"),
          IppRequest("Print-Job", kHeld + "FILE " + pdf_.string() + "\nDISPLAY job-id\n", "alice"),
          dir_.path());
      lines.replace(at, 4, DisplayedValues(held)["job-id"]);
    }
    const char* target = std::string(o.path) == kSystem ? "system-uri" : "printer-uri";
    return ReportedStatus(RunIppTool(
        Uri(c, o.path), IppRequest(o.op, lines + "STATUS successful-ok\n", o.user, target), dir_.path()));
  }

  std::string PrinterValue(const std::string& printer, const std::string& name) {
    return DisplayedValues(RunIppTool(server_.PrinterUri(printer),
                                      IppRequest("Get-Printer-Attributes", "DISPLAY " + name + "\n"),
                                      dir_.path()))[name];
  }

  // Each caller in turn, the administrator last (whose last row shuts the
  // server down).
  void Table(std::vector<Caller> callers) {
    for (const char* printer : {"victim", "web-victim"}) {
      ASSERT_TRUE(server_.AddPrinter(printer, {}, &error_)) << error_;
    }
    // A job printing, to a copier that reads nothing, for
    // Cancel-Current-Job (PAPPL looks for one before it asks).
    FakePrinter copier;
    copier.Stall(true);
    ASSERT_TRUE(server_.AddPrinter("busy", {}, &error_, copier.Uri())) << error_;
    const DocumentFile nine = Document(Kind::kPdf, 9);
    ASSERT_GT(Print({"long", nine.path, nine.format, {"integer copies 99"}, false}, "busy").job_id, 0);
    ASSERT_TRUE(Eventually([&] { return copier.Open(); }, std::chrono::seconds(60)));
    const std::string job = "ATTR integer job-id $job\n";
    std::vector<Operation> rows = {
        {"Print-Job", kHeld + "FILE " + pdf_.string() + "\n", false},
        {"Validate-Job", "", false},
        {"Create-Job", kHeld, false},
        {"Cancel-Job", job, false, "alice"},
        {"Release-Job", job, false, "alice"},
        {"Cancel-Job", job, true},
        {"Release-Job", job, true},
        {"Cancel-Current-Job", "", true, "bob", "/ipp/print/busy"},
        {"Set-Printer-Attributes", "GROUP printer-attributes-tag\nATTR keyword watermark-default none\n",
         true, "bob", "/ipp/print/confidential"},
        {"Set-System-Attributes", "GROUP system-attributes-tag\nATTR text system-location x\n", true,
         "bob", kSystem},
        {"Create-Printer",
         "ATTR keyword printer-service-type print\nATTR uri smi55357-device-uri file:///dev/null\n"
         "ATTR keyword smi55357-driver pclspool\nGROUP printer-attributes-tag\nATTR name printer-name made\n",
         true, "bob", kSystem},
        // Printers are numbered as they are added (PAPPL 1.3.1's printer-id
        // reads 0 until a restart): copier, confidential, victim.
        {"Delete-Printer", "ATTR integer printer-id 3\n", true, "bob", kSystem},
    };
    for (const char* op : {"Cancel-Jobs", "Cancel-My-Jobs", "Pause-Printer", "Resume-Printer",
                           "Disable-Printer", "Enable-Printer", "Hold-New-Jobs", "Release-Held-New-Jobs"}) {
      rows.push_back({op, "", true});
    }
    for (const char* op : {"Pause-All-Printers", "Resume-All-Printers", "Shutdown-All-Printers"}) {
      rows.push_back({op, "", true, "bob", kSystem});
    }
    const std::string page = HttpRequest(server_.port(), "/copier/").body;  // PAPPL's CSRF token
    const std::size_t token = page.find("name=\"session\" value=\"");
    ASSERT_NE(token, std::string::npos);
    const std::string session = "session=" + page.substr(token + 22, 64) + "&";
    const std::vector<std::pair<std::string, std::string>> forms = {
        {"/watermarks", "action=save&text=TAKEN&face=Arial&height=-90&angle=0&weight=400&dark=0"},
        {"/copier/", "action=pause-printer"},
        {"/confidential/printing", "watermark=none"},
        {"/security", "old_password=x&new_password=Taken123&new_password2=Taken123"},
        {"/web-victim/delete", ""},
    };
    for (const Caller& c : callers) {
      SCOPED_TRACE(c.what);
      const bool refused = *c.refused;
      // The administrator's Cancel-Current-Job ends the job at once only
      // while the copier reads (a stalled write holds PAPPL's device).
      if (!refused) {
        copier.Slow(16384);
        copier.Stall(false);
      }
      for (const auto& [path, form] : forms) {
        const int status = HttpRequest(server_.port(), path, session + form,
                                       "application/x-www-form-urlencoded", c.user_password).status;
        // Allowed: the page, or a redirection once done.
        EXPECT_EQ(status == 302 ? 200 : status, !refused ? 200 : std::string(c.refused) == kForbidden ? 403 : 401)
            << path;
      }
      for (const Operation& o : rows) {
        EXPECT_EQ(Send(c, o), o.administrator && refused ? c.refused : "successful-ok")
            << o.op << " by " << o.user;
      }
      if (!refused) break;
      EXPECT_EQ(PrinterValue("confidential", "watermark-default"), "confidential");
      EXPECT_EQ(PrinterValue("copier", "printer-state"), "idle");
      EXPECT_EQ(PrinterValue("copier", "printer-is-accepting-jobs"), "true");
      EXPECT_EQ(PrinterValue("busy", "printer-state"), "processing");
      EXPECT_EQ(PrinterValue("victim", "printer-name"), "victim");
      EXPECT_EQ(PrinterValue("web-victim", "printer-name"), "web-victim");
      EXPECT_EQ(Read(server_.state_dir() / "OrvWater.INI"), Read(ini_));
      EXPECT_FALSE(server_.Ended());
    }
    EXPECT_TRUE(Eventually([&] { return server_.Ended(); }, std::chrono::seconds(60)));
  }

  // A job of each caller's prints on the preset.
  void Prints(const std::vector<Caller>& callers) {
    for (const Caller& c : callers) {
      const IppJobResult r = SubmitJob(Uri(c, "/ipp/print/confidential"),
                                       {"printed", pdf_, "application/pdf", {}, true}, dir_.path());
      EXPECT_EQ(r.state, "completed") << c.what << r.output;
    }
  }

  std::filesystem::path pdf_;
  std::string error_;
};

TEST_F(AccessTest, WithTheFirstPasswordOnlyTheAdministratorChangesAnything) {
  const std::vector<Caller> callers = {{"anonymous", "", kRefused},
                                       {"a wrong password", "admin:Wrong1234", kRefused},
                                       {"the administrator", Administrator(), ""}};
  Prints(callers);
  Table(callers);
}

TEST_F(AccessTest, WithPamTheAdministratorsGroupChangesAnything) {
  server_.Stop();
  const std::filesystem::path check = dir_ / "check-password", service = dir_ / "pclspool-test";
  std::ofstream(check) << "#!/bin/sh\nread -r password\n[ \"$password\" = Secret123 ]\n";
  std::filesystem::permissions(check, std::filesystem::perms::owner_all);
  std::ofstream(service) << "auth required pam_exec.so quiet expose_authtok " << check.string()
                         << "\naccount required pam_permit.so\n";
  server_.AddOption("auth-service=" + service.string());
  server_.AddOption("admin-group=nogroup");
  ASSERT_TRUE(server_.Start(&error_)) << error_;
  const std::vector<Caller> callers = {{"anonymous", "", kRefused},
                                       {"a wrong password", "nobody:Wrong1234", kRefused},
                                       {"a user outside the group", "daemon:Secret123", kForbidden},
                                       {"a member of the group", "nobody:Secret123", ""}};
  Prints(callers);
  Table(callers);
}

// The domain socket, the administrator's door, is the server's user's
// alone; its sub-commands administer with no password.
TEST_F(AccessTest, TheDomainSocketIsTheServerUsersAlone) {
  struct stat st {};
  ASSERT_EQ(::stat(server_.socket().c_str(), &st), 0) << server_.socket();
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_TRUE(server_.Command({"pause", "-d", "copier"}).Ok());
  EXPECT_TRUE(server_.Command({"resume", "-d", "copier"}).Ok());
}

}  // namespace
}  // namespace pclspool::apptest
