#include "ipp_job.h"

#include <atomic>
#include <fstream>
#include <regex>
#include <sstream>

#include "support/child_process.h"

namespace pclspool::apptest {

namespace fs = std::filesystem;

namespace {

constexpr char kOperationGroup[] =
    "GROUP operation-attributes-tag\n"
    "ATTR charset attributes-charset utf-8\n"
    "ATTR language attributes-natural-language en\n"
    "ATTR uri printer-uri $uri\n"
    "ATTR name requesting-user-name $user\n";

std::string GetJobTest(const std::string& job_id, bool wait) {
  return std::string("{\nNAME \"Get-Job-Attributes\"\nOPERATION Get-Job-Attributes\n") +
         kOperationGroup + "ATTR integer job-id " + job_id + "\nSTATUS successful-ok\n" +
         (wait ? "DELAY \"0,0.2\"\nEXPECT job-state WITH-VALUE >5 REPEAT-NO-MATCH\nREPEAT-LIMIT 900\n"
               : "") +
         "DISPLAY job-id\nDISPLAY job-state\nDISPLAY job-state-reasons\n"
         "DISPLAY job-state-message\nDISPLAY job-impressions-completed\n}\n";
}

int Int(const std::map<std::string, std::string>& values, const std::string& name) {
  const auto it = values.find(name);
  return it == values.end() ? 0 : std::atoi(it->second.c_str());
}

std::string Get(const std::map<std::string, std::string>& values, const std::string& name) {
  const auto it = values.find(name);
  return it == values.end() ? "" : it->second;
}

}  // namespace

std::string RunIppTool(const std::string& uri, const std::string& test, const fs::path& dir,
                       const std::vector<std::string>& options) {
  static std::atomic<int> count{0};
  const int n = count++;
  const fs::path file = dir / ("ipp-" + std::to_string(n) + ".test");
  std::ofstream(file) << test;
  std::vector<std::string> argv = {"ipptool", "-t"};
  argv.insert(argv.end(), options.begin(), options.end());
  argv.push_back(uri);
  argv.push_back(file.string());
  return testing::RunProgram({.argv = argv, .dir = dir, .err = testing::Output::Stdout()}).out;
}

std::map<std::string, std::string> DisplayedValues(const std::string& report) {
  std::map<std::string, std::string> values;
  static const std::regex line(R"(^\s+([a-z0-9-]+) \([^)]*\) = (.*)$)");
  std::istringstream in(report);
  std::string text;
  std::smatch m;
  while (std::getline(in, text)) {
    if (std::regex_match(text, m, line)) values[m[1]] = m[2];
  }
  return values;
}

IppJobResult SubmitJob(const std::string& printer_uri, const IppJob& job, const fs::path& dir) {
  std::string test = std::string("{\nNAME \"Print-Job\"\nOPERATION Print-Job\n") +
                     kOperationGroup + "ATTR mimeMediaType document-format " + job.format +
                     "\nATTR name job-name \"" + job.name + "\"\nGROUP job-attributes-tag\n";
  for (const std::string& a : job.attributes) test += "ATTR " + a + "\n";
  test += "FILE " + job.document.string() +
          "\nSTATUS successful-ok\nSTATUS successful-ok-ignored-or-substituted-attributes\n"
          "EXPECT job-id\nDISPLAY job-id\n}\n";
  if (job.wait) test += GetJobTest("$job-id", true);
  IppJobResult r;
  r.output = RunIppTool(printer_uri, test, dir);
  const std::map<std::string, std::string> values = DisplayedValues(r.output);
  static const std::regex got(R"(\(got ([a-z-]+)\))");
  std::smatch m;
  r.job_id = Int(values, "job-id");
  r.status = r.job_id > 0 ? "successful-ok" : "";
  if (std::regex_search(r.output, m, got)) r.status = m[1];
  r.state = Get(values, "job-state");
  r.reasons = Get(values, "job-state-reasons");
  r.impressions = Int(values, "job-impressions-completed");
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
