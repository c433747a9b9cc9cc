#include "printer-app/settings_pages.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "printer-app/admin_password.h"
#include "printer-app/app_context.h"
#include "printer-app/child_process.h"
#include "printer-app/copier_driver.h"
#include "printer-app/copier_media.h"
#include "printer-app/preview_process.h"
#include "printer-app/watermark_form.h"
#include "runner/watermark_styles.h"

namespace pclspool::app {

namespace {

constexpr char kPage[] = "/watermarks";
constexpr char kPicture[] = "/watermarks/preview.png";
constexpr char kSecurityPage[] = "/security";
constexpr int kPictureDpi = 60;
// A picture takes a job's time; one that takes longer is stopped.
constexpr int kPictureTimeoutMs = 30000;
constexpr std::size_t kMaxPictureBytes = 16 << 20;

struct AppAndSystem {
  AppContext* app;
  pappl_system_t* system;
};

// The form or query variables of a request, freed with it.
class Form {
 public:
  explicit Form(pappl_client_t* client) { values_.count = papplClientGetForm(client, &values_.options); }
  ~Form() { cupsFreeOptions(values_.count, values_.options); }
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  const FormValues& values() const { return values_; }
  std::string Get(const char* name) const { return values_.Get(name); }
  int Int(const char* name, int def) const { return values_.Int(name, def); }
  bool Valid(pappl_client_t* client) const {
    return papplClientIsValidForm(client, values_.count, values_.options);
  }

 private:
  FormValues values_;
};

std::string PictureUrl(const runner::WatermarkStyle& s) {
  return std::string(kPicture) + "?" + PictureQuery(s);
}

void Escaped(pappl_client_t* client, const std::string& s) {
  papplClientHTMLEscape(client, s.c_str(), s.size());
}

// A page of ours: its title, and what the last change did when there was one.
void StartPage(pappl_client_t* client, const char* title, const std::string& status) {
  papplClientRespond(client, HTTP_STATUS_OK, nullptr, "text/html", 0, 0);
  papplClientHTMLHeader(client, title, 0);
  papplClientHTMLPrintf(client, "<div class=\"content\"><div class=\"row\"><div class=\"col-12\">\n"
                                "<h1 class=\"title\">%s</h1>\n", title);
  if (!status.empty()) {
    papplClientHTMLPuts(client, "<div class=\"banner\" id=\"status\">");
    Escaped(client, status);
    papplClientHTMLPuts(client, "</div>\n");
  }
}

// A change: saved or deleted, the printers' watermark values made anew.
std::string Change(pappl_client_t* client, const Form& form, AppAndSystem& as) {
  if (!form.Valid(client)) return "This form has expired: load the page again.";
  std::string error;
  const std::string action = form.Get("action");
  {
    std::lock_guard<std::mutex> lock(as.app->settings_mutex);
    const bool ok = action == "delete"
                        ? runner::DeleteWatermarkStyle(as.app->settings_file, form.Get("replaces"), &error)
                        : runner::SaveWatermarkStyle(as.app->settings_file, form.Get("replaces"),
                                                     StyleOfForm(form.values()), &error);
    if (!ok) return "Not changed: " + error + ".";
  }
  RefreshWatermarks(as.system, *as.app);
  papplLog(as.system, PAPPL_LOGLEVEL_INFO, "Watermarks: %s \"%s\" by %s.",
           action == "delete" ? "deleted" : "saved",
           (action == "delete" ? form.Get("replaces") : form.Get("text")).c_str(),
           papplClientGetUsername(client));
  return action == "delete" ? "Deleted." : "Saved.";
}

// `attrs` is markup: PAPPL's printf would escape it as text.
void Field(pappl_client_t* client, const char* label, const char* name, const std::string& value,
           const char* attrs) {
  papplClientHTMLPrintf(client, "<tr><th><label for=\"%s\">%s:</label></th><td><input id=\"%s\" name=\"%s\" ",
                        name, label, name, name);
  papplClientHTMLPuts(client, attrs);
  papplClientHTMLPuts(client, " value=\"");
  Escaped(client, value);
  papplClientHTMLPuts(client, "\"></td></tr>\n");
}

// The form of one style: a new one when `replaces` is empty.
void StyleForm(pappl_client_t* client, const runner::WatermarkStyle& s, const std::string& replaces) {
  papplClientHTMLPrintf(client, "<h2 class=\"title\">%s</h2>\n",
                        replaces.empty() ? "Add a watermark text" : "Change the watermark text");
  papplClientHTMLStartForm(client, kPage, false);
  papplClientHTMLPuts(client, "<input type=\"hidden\" name=\"action\" value=\"save\">\n"
                              "<input type=\"hidden\" name=\"replaces\" value=\"");
  Escaped(client, replaces);
  papplClientHTMLPuts(client, "\">\n<table class=\"form\">\n");
  Field(client, "Text", "text", s.text, "type=\"text\" required maxlength=\"200\"");
  Field(client, "Face", "face", s.face, "type=\"text\" required maxlength=\"31\"");
  Field(client, "Height (screen pixels; negative: of the characters)", "height",
        std::to_string(s.height), "type=\"number\" min=\"-1000\" max=\"1000\"");
  Field(client, "Angle (tenths of a degree)", "angle", std::to_string(s.angle),
        "type=\"number\" min=\"0\" max=\"3599\"");
  Field(client, "Weight (400 normal, 700 bold)", "weight", std::to_string(s.weight),
        "type=\"number\" min=\"100\" max=\"900\" step=\"100\"");
  Field(client, "Darkness (0 lightest to 37 black)", "dark", std::to_string(s.dark),
        "type=\"number\" min=\"0\" max=\"37\"");
  papplClientHTMLPrintf(client,
                        "<tr><th><label for=\"centred\">Centred:</label></th><td><input id=\"centred\" "
                        "name=\"centred\" type=\"checkbox\" value=\"1\"%s></td></tr>\n",
                        s.centred ? " checked" : "");
  Field(client, "Across, when not centred (tenths of an inch)", "x", std::to_string(s.x_offset),
        "type=\"number\" min=\"-200\" max=\"200\"");
  Field(client, "Down, when not centred (tenths of an inch)", "y", std::to_string(s.y_offset),
        "type=\"number\" min=\"-200\" max=\"200\"");
  papplClientHTMLPuts(client, "<tr><th></th><td><input type=\"submit\" value=\"Save\"></td></tr>\n"
                              "</table>\n</form>\n");
  papplClientHTMLPrintf(client,
                        "<p><img id=\"preview\" class=\"preview\" alt=\"A page with this watermark\" "
                        "src=\"%s\" style=\"border:1px solid #888;max-width:300px\"></p>\n",
                        PictureUrl(s).c_str());
  // The picture follows the form as it is filled in.
  papplClientHTMLPuts(
      client,
      "<script>\n"
      "(function() {\n"
      "  const form = document.querySelector('input[name=action][value=save]').form;\n"
      "  const img = document.getElementById('preview');\n"
      "  let timer = null;\n"
      "  form.addEventListener('input', function() {\n"
      "    clearTimeout(timer);\n"
      "    // A value the form refuses keeps the last picture; no text, a blank page.\n"
      "    if (!form.checkValidity() && form.elements['text'].value !== '') return;\n"
      "    timer = setTimeout(function() {\n"
      "      const q = new URLSearchParams();\n"
      "      for (const n of ['text','face','height','angle','weight','dark','x','y']) q.set(n, form.elements[n].value);\n"
      "      if (form.elements['centred'].checked) q.set('centred', '1');\n"
      "      img.src = '/watermarks/preview.png?' + q.toString();\n"
      "    }, 400);\n"
      "  });\n"
      "})();\n"
      "</script>\n");
}

bool WatermarksPage(pappl_client_t* client, void* data) {
  AppAndSystem& as = *static_cast<AppAndSystem*>(data);
  // The administrator's page (access_policy.h): a browser asks for the
  // credential.
  if (!papplClientHTMLAuthorize(client)) return true;
  std::string status;
  int edit = 0;  // the text whose form is shown, 1 for the first
  if (papplClientGetMethod(client) != HTTP_STATE_POST) {
    // A request's variables can be read once: the query of a GET here, the
    // body of a POST below.
    edit = Form(client).Int("edit", 0);
  } else {
    status = Change(client, Form(client), as);
  }
  std::vector<runner::WatermarkStyle> styles;
  {
    std::lock_guard<std::mutex> lock(as.app->settings_mutex);
    styles = runner::ReadWatermarkStyles(SettingsFileToRead(*as.app));
  }

  StartPage(client, "Watermarks", status);
  papplClientHTMLPuts(client, "<table class=\"list\" id=\"texts\"><tr><th>Watermark</th><th>Face</th>"
                              "<th>Height</th><th>Angle</th><th>Weight</th><th>Darkness</th>"
                              "<th>Place</th><th>Page</th><th></th></tr>\n");
  for (std::size_t i = 0; i < styles.size(); ++i) {
    const runner::WatermarkStyle& s = styles[i];
    papplClientHTMLPuts(client, "<tr><td class=\"text\">");
    Escaped(client, s.text);
    papplClientHTMLPuts(client, "</td><td>");
    Escaped(client, s.face);
    papplClientHTMLPrintf(client, "</td><td>%d</td><td>%.1f&deg;</td><td>%d</td><td>%d</td><td>",
                          s.height, s.angle / 10.0, s.weight, s.dark);
    if (s.centred) {
      papplClientHTMLPuts(client, "centred");
    } else {
      papplClientHTMLPrintf(client, "%+.1f&quot;, %+.1f&quot;", s.x_offset / 10.0, s.y_offset / 10.0);
    }
    papplClientHTMLPrintf(client,
                          "</td><td><img alt=\"\" src=\"%s\" style=\"border:1px solid #888;height:120px\"></td><td>",
                          PictureUrl(s).c_str());
    // PAPPL's printf knows no size_t.
    papplClientHTMLPrintf(client, "<a class=\"btn\" href=\"%s?edit=%d\">Change</a> ", kPage,
                          static_cast<int>(i) + 1);
    papplClientHTMLStartForm(client, kPage, false);
    papplClientHTMLPuts(client, "<input type=\"hidden\" name=\"action\" value=\"delete\">"
                                "<input type=\"hidden\" name=\"replaces\" value=\"");
    Escaped(client, s.text);
    papplClientHTMLPuts(client, "\"><input type=\"submit\" value=\"Delete\"></form>");
    papplClientHTMLPuts(client, "</td></tr>\n");
  }
  papplClientHTMLPuts(client, "</table>\n");
  if (edit >= 1 && static_cast<std::size_t>(edit) <= styles.size()) {
    const runner::WatermarkStyle& s = styles[static_cast<std::size_t>(edit) - 1];
    StyleForm(client, s, s.text);
  } else {
    StyleForm(client, runner::WatermarkStyle{}, "");
  }
  papplClientHTMLPuts(client, "</div></div></div>\n");
  papplClientHTMLFooter(client);
  return true;
}

// Runs the picture's process; its PNG, or "" with *error.
std::string MakePicture(const std::string& ini, int watermark, const std::string& paper,
                        const std::string& dir, std::string* error) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) {
    *error = "no pipe";
    return "";
  }
  ChildStart child;
  child.argv = {"/proc/self/exe", std::string(kPreviewCommand), "--ini=" + ini,
               "--watermark=" + std::to_string(watermark), "--paper=" + paper,
               "--dpi=" + std::to_string(kPictureDpi), "--work-dir=" + dir};
  child.fds = {{out[1], STDOUT_FILENO}};
  child.own_group = true;
  const pid_t pid = StartChild(child, error);
  ::close(out[1]);
  std::string png;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPictureTimeoutMs);
  char block[65536];
  bool late = false;
  while (pid > 0) {
    if (std::chrono::steady_clock::now() > until) {
      late = true;
      break;
    }
    const ssize_t n = ::read(out[0], block, sizeof(block));
    if (n <= 0) break;
    png.append(block, static_cast<std::size_t>(n));
    if (png.size() > kMaxPictureBytes) break;
  }
  ::close(out[0]);
  if (pid < 0) return "";
  const ChildEnd end = late ? StopChild(pid, true, 1000) : WaitChild(pid, true, {}, 10, 1000);
  if (end.status != 0 || png.rfind("\x89PNG", 0) != 0) {
    *error = "the picture could not be made (" + DescribeEnd(end) + ")";
    return "";
  }
  return png;
}

bool PicturePage(pappl_client_t* client, void* /*data*/) {
  if (!papplClientHTMLAuthorize(client)) return true;
  const Form form(client);
  std::string paper = PaperOfMedia(form.Get("media"));
  if (paper.empty()) paper = "a4";
  char temp[] = "/tmp/pclspool-preview-XXXXXX";
  const char* dir = ::mkdtemp(temp);
  std::string error;
  std::string png;
  if (dir) {
    const std::string ini = std::string(dir) + "/OrvWater.INI";
    // No text yet (a new one's form): the page as it prints without one.
    const runner::WatermarkStyle style = StyleOfForm(form.values());
    if (style.text.empty()) {
      std::ofstream{ini};
      png = MakePicture(ini, 0, paper, dir, &error);
    } else if (runner::SaveWatermarkStyle(ini, "", style, &error)) {
      png = MakePicture(ini, 1, paper, dir, &error);
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  } else {
    error = "no temporary directory";
  }
  if (png.empty()) {
    papplClientRespond(client, HTTP_STATUS_BAD_REQUEST, nullptr, "text/plain", 0, error.size());
    httpWrite2(papplClientGetHTTP(client), error.data(), error.size());
    return true;
  }
  papplClientRespond(client, HTTP_STATUS_OK, nullptr, "image/png", 0, png.size());
  httpWrite2(papplClientGetHTTP(client), png.data(), png.size());
  httpFlushWrite(papplClientGetHTTP(client));
  return true;
}

// What the security page says when the administrator's password changes.
std::string ChangePassword(pappl_client_t* client, const Form& form, AppAndSystem& as) {
  if (!form.Valid(client)) return "This form has expired: load the page again.";
  if (!IsAdministratorPassword(as.system, form.Get("old_password"))) return "Wrong old password.";
  const std::string fault = NewPasswordFault(form.Get("new_password"), form.Get("new_password2"));
  if (!fault.empty()) return fault;
  SetAdministratorPassword(as.system, form.Get("new_password"));
  ForgetChangedFirstPassword(as.system, as.app->state_dir + "/" + kFirstPasswordFile);
  papplLog(as.system, PAPPL_LOGLEVEL_INFO, "The administrator's password was changed by %s.",
           papplClientGetUsername(client));
  return "Password changed.";
}

bool SecurityPage(pappl_client_t* client, void* data) {
  AppAndSystem& as = *static_cast<AppAndSystem*>(data);
  if (!papplClientHTMLAuthorize(client)) return true;
  const char* pam = papplSystemGetAuthService(as.system);
  std::string status;
  if (papplClientGetMethod(client) == HTTP_STATE_POST) {
    const Form form(client);
    status = pam ? "Administrators sign in through PAM." : ChangePassword(client, form, as);
  }
  StartPage(client, "Security", status);
  if (pam) {
    char group[256] = "";
    papplSystemGetAdminGroup(as.system, group, sizeof(group));
    papplClientHTMLPrintf(client,
                          "<p>Administrators sign in with their own user name and password (PAM "
                          "service %s) as members of the group %s.</p>\n",
                          pam, group);
  } else {
    papplClientHTMLPuts(client, "<h2 class=\"title\">The administrator's password</h2>\n");
    papplClientHTMLStartForm(client, kSecurityPage, false);
    papplClientHTMLPuts(
        client,
        "<table class=\"form\">\n"
        "<tr><th><label for=\"old_password\">Password now:</label></th><td><input type=\"password\" "
        "id=\"old_password\" name=\"old_password\" required autocomplete=\"current-password\"></td></tr>\n"
        "<tr><th><label for=\"new_password\">New password:</label></th><td><input type=\"password\" "
        "id=\"new_password\" name=\"new_password\" required minlength=\"8\" autocomplete=\"new-password\"></td></tr>\n"
        "<tr><th><label for=\"new_password2\">New password again:</label></th><td><input "
        "type=\"password\" id=\"new_password2\" name=\"new_password2\" required minlength=\"8\" "
        "autocomplete=\"new-password\"></td></tr>\n"
        "<tr><th></th><td>At least 8 characters, with an upper and a lower case letter and a digit."
        "</td></tr>\n"
        "<tr><th></th><td><input type=\"submit\" value=\"Change the password\"></td></tr>\n"
        "</table>\n</form>\n");
  }
  papplClientHTMLPuts(client, "</div></div></div>\n");
  papplClientHTMLFooter(client);
  return true;
}

}  // namespace

void AddSettingsPages(pappl_system_t* system, AppContext& app) {
  static AppAndSystem as;
  as = {&app, system};
  // Before PAPPL adds its own pages, which keeps a path's first resource.
  papplSystemAddResourceCallback(system, kPage, "text/html", WatermarksPage, &as);
  papplSystemAddResourceCallback(system, kPicture, "image/png", PicturePage, &as);
  papplSystemAddResourceCallback(system, kSecurityPage, "text/html", SecurityPage, &as);
  // The top bar is a menu of the system's pages (with one link alone it
  // read as every page's title). PAPPL keeps a label's first link, and
  // localizes its own labels.
  constexpr pappl_loptions_t kMenu = PAPPL_LOPTIONS_NAVIGATION | PAPPL_LOPTIONS_HTTPS_REQUIRED;
  papplSystemAddLink(system, "Add Printer", "/addprinter", kMenu | PAPPL_LOPTIONS_PRINTER);
  papplSystemAddLink(system, "Security", kSecurityPage, kMenu | PAPPL_LOPTIONS_OTHER);
  papplSystemAddLink(system, "Watermarks", kPage, kMenu | PAPPL_LOPTIONS_CONFIGURATION);
}

}  // namespace pclspool::app
