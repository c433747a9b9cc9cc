#include "printer-app/copier_page.h"

#include <ctime>
#include <string>

#include "printer-app/app_context.h"

namespace pclspool::app {

namespace {

constexpr char kSubpath[] = "copier";
constexpr int kRefreshSeconds = 10;

void Text(pappl_client_t* client, const std::string& s) { papplClientHTMLEscape(client, s.c_str(), s.size()); }

std::string Level(int level, const char* unit) {
  if (level >= 0) return std::to_string(level) + unit;
  return level == -3 ? "some left" : "unknown";
}

std::string StateWords(const PrinterView& v) {
  if (!v.message.empty()) return v.message;
  switch (v.report.reach) {
    case CopierReport::Reach::kYes:
      return "Ready.";
    case CopierReport::Reach::kNo:
      return "Not answering.";
    case CopierReport::Reach::kUnknown:
      break;
  }
  return "Not heard from yet.";
}

bool CopierPage(pappl_client_t* client, void* data) {
  pappl_printer_t* printer = static_cast<pappl_printer_t*>(data);
  pappl_pr_driver_data_t driver;
  papplPrinterGetDriverData(printer, &driver);
  const std::optional<PrinterView> view =
      static_cast<AppContext*>(driver.extension)->copiers.View(papplPrinterGetID(printer));
  const PrinterView v = view ? *view : PrinterView{};

  papplClientHTMLPrinterHeader(client, printer, "Copier", kRefreshSeconds, nullptr, nullptr);
  papplClientHTMLPuts(client, "<div class=\"row\"><div class=\"col-12\">\n<h1 class=\"title\">Copier</h1>\n"
                              "<p id=\"copier-state\">");
  Text(client, StateWords(v));
  papplClientHTMLPuts(client, "</p>\n");
  if (!v.report.status.display.empty()) {
    papplClientHTMLPuts(client, "<p id=\"copier-panel\">Its panel shows: ");
    Text(client, v.report.status.display);
    papplClientHTMLPuts(client, "</p>\n");
  }
  std::string reasons;
  for (const std::string& k : v.keywords) reasons += (reasons.empty() ? "" : ", ") + k;
  papplClientHTMLPuts(client, "<p id=\"copier-reasons\">Reasons: ");
  Text(client, reasons.empty() ? "none" : reasons);
  papplClientHTMLPuts(client, "</p>\n<h2 class=\"title\">Supplies</h2>\n<table class=\"list\" id=\"copier-supplies\">\n");
  for (const pappl_supply_t& s : v.report.status.supplies) {
    papplClientHTMLPuts(client, "<tr><th>");
    Text(client, s.description);
    papplClientHTMLPuts(client, "</th><td>");
    Text(client, Level(s.level, "%"));
    papplClientHTMLPuts(client, "</td></tr>\n");
  }
  papplClientHTMLPuts(client, "</table>\n<h2 class=\"title\">Paper trays</h2>\n<table class=\"list\" id=\"copier-trays\">\n");
  for (const CopierTray& t : v.report.status.trays) {
    papplClientHTMLPuts(client, "<tr><th>");
    Text(client, t.name);
    papplClientHTMLPuts(client, "</th><td>");
    Text(client, t.level == 0 ? "empty" : Level(t.level, " sheets") + (t.max > 0 ? " of " + std::to_string(t.max) : ""));
    papplClientHTMLPuts(client, "</td></tr>\n");
  }
  papplClientHTMLPuts(client, "</table>\n<p id=\"copier-heard\">");
  std::string heard = "The copier";
  if (!v.address.empty()) heard += " at " + v.address;
  if (v.report.heard > 0) {
    char when[64];
    struct tm tm {};
    localtime_r(&v.report.heard, &tm);
    std::strftime(when, sizeof(when), "%Y-%m-%d %H:%M:%S", &tm);
    heard += " last answered at " + std::string(when);
    if (!v.report.sources.empty()) heard += " (" + v.report.sources + ")";
    heard += ".";
  } else {
    heard += " has not answered yet.";
  }
  Text(client, heard);
  papplClientHTMLPuts(client, "</p>\n</div></div>\n");
  papplClientHTMLPrinterFooter(client);
  return true;
}

}  // namespace

void AddCopierPage(pappl_printer_t* printer) {
  char path[1024];
  papplPrinterGetPath(printer, kSubpath, path, sizeof(path));
  papplSystemAddResourceCallback(papplPrinterGetSystem(printer), path, "text/html", CopierPage, printer);
  papplPrinterAddLink(printer, "Copier", path,
                      static_cast<pappl_loptions_t>(PAPPL_LOPTIONS_NAVIGATION | PAPPL_LOPTIONS_STATUS));
}

}  // namespace pclspool::app
