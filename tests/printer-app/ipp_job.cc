#include "ipp_job.h"

#include <atomic>
#include <fstream>
#include <sstream>

#include "support/child_process.h"

namespace pclspool::apptest {

namespace fs = std::filesystem;

namespace {

std::string GetJobTest(const std::string& job_id, bool wait) {
  return IppRequest("Get-Job-Attributes",
                    "ATTR integer job-id " + job_id + "\nSTATUS successful-ok\n" +
                        (wait ? "DELAY \"0,0.2\"\nEXPECT job-state WITH-VALUE >5 REPEAT-NO-MATCH\n"
                                "REPEAT-LIMIT 900\n"
                              : "") +
                        "DISPLAY job-id\nDISPLAY job-state\nDISPLAY job-state-reasons\n"
                        "DISPLAY job-state-message\nDISPLAY job-impressions-completed\n");
}

}  // namespace

std::string IppRequest(const std::string& operation, const std::string& lines,
                       const std::string& user, const char* target) {
  return "{\nNAME \"" + operation + "\"\nOPERATION " + operation +
         "\nGROUP operation-attributes-tag\nATTR charset attributes-charset utf-8\n"
         "ATTR language attributes-natural-language en\nATTR uri " + target +
         " $uri\nATTR name requesting-user-name " + user + "\n" + lines + "}\n";
}

std::string ReportedStatus(const std::string& report) {
  // "(got STATUS)" when answered otherwise, "status-code = STATUS (...)"
  // when the request failed (ipptool's two ways to say it).
  for (const std::string key : {"(got ", "status-code = "}) {
    const std::size_t at = report.find(key);
    if (at == std::string::npos) continue;
    const std::size_t end = report.find_first_not_of("abcdefghijklmnopqrstuvwxyz-", at + key.size());
    return report.substr(at + key.size(), end - at - key.size());
  }
  return report.find("[PASS]") != std::string::npos ? "successful-ok" : "";
}

std::string RunIppTool(const std::string& uri, const std::string& test, const fs::path& dir,
                       const std::vector<std::string>& options) {
  static std::atomic<int> count{0};
  const fs::path file = dir / ("ipp-" + std::to_string(count++) + ".test");
  std::ofstream(file) << test;
  std::vector<std::string> argv = {"ipptool", "-t"};
  argv.insert(argv.end(), options.begin(), options.end());
  argv.push_back(uri);
  argv.push_back(file.string());
  return testing::RunProgram({.argv = argv, .dir = dir, .err = testing::Output::Stdout()}).out;
}

// ipptool's DISPLAY lines: "        name (type) = value". std::regex is kept
// out (GCC 12 warns inside <regex> at -O2 with the sanitizers).
std::map<std::string, std::string> DisplayedValues(const std::string& report) {
  std::map<std::string, std::string> values;
  std::istringstream in(report);
  std::string text;
  while (std::getline(in, text)) {
    const size_t name = text.find_first_not_of(" \t");
    if (name == 0 || name == std::string::npos) continue;
    const size_t open = text.find(" (", name);
    const size_t equals = text.find(") = ", open);
    if (open == std::string::npos || equals == std::string::npos) continue;
    const std::string key = text.substr(name, open - name);
    if (key.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-") != std::string::npos)
      continue;
    values[key] = text.substr(equals + 4);
  }
  return values;
}

IppJobResult SubmitJob(const std::string& printer_uri, const IppJob& job, const fs::path& dir) {
  std::string lines = "ATTR mimeMediaType document-format " + job.format + "\nATTR name job-name \"" +
                      job.name + "\"\nGROUP job-attributes-tag\n";
  for (const std::string& a : job.attributes) lines += "ATTR " + a + "\n";
  lines += "FILE " + job.document.string() +
           "\nSTATUS successful-ok\nSTATUS successful-ok-ignored-or-substituted-attributes\n"
           "EXPECT job-id\nDISPLAY job-id\n";
  std::string test = IppRequest("Print-Job", lines);
  if (job.wait) test += GetJobTest("$job-id", true);
  IppJobResult r;
  r.output = RunIppTool(printer_uri, test, dir);
  std::map<std::string, std::string> values = DisplayedValues(r.output);
  r.job_id = std::atoi(values["job-id"].c_str());
  r.status = ReportedStatus(r.output);
  r.state = values["job-state"];
  r.reasons = values["job-state-reasons"];
  r.impressions = std::atoi(values["job-impressions-completed"].c_str());
  return r;
}

std::map<std::string, std::string> JobAttributes(const std::string& printer_uri, int job_id,
                                                 const fs::path& dir) {
  return DisplayedValues(RunIppTool(printer_uri, GetJobTest(std::to_string(job_id), false), dir));
}

std::map<std::string, std::string> WaitForJob(const std::string& printer_uri, int job_id,
                                              const fs::path& dir) {
  return DisplayedValues(RunIppTool(printer_uri, GetJobTest(std::to_string(job_id), true), dir));
}

}  // namespace pclspool::apptest
