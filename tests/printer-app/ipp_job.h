// Jobs submitted with ipptool, as a client on the network submits them:
// a Print-Job request with the job's attributes and document, and then,
// when asked, Get-Job-Attributes until the job has ended.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace pclspool::apptest {

struct IppJob {
  std::string name;  // job-name; a file:// device directory gets NAME.prn
  std::filesystem::path document;
  std::string format = "application/pdf";  // document-format
  // Job attributes as ipptool's ATTR takes them: "integer copies 2",
  // "keyword sides two-sided-long-edge", "rangeOfInteger page-ranges 2-3".
  std::vector<std::string> attributes;
  bool wait = true;  // until the job has ended
};

struct IppJobResult {
  std::string status;  // of Print-Job: "successful-ok", "client-error-...", "" when not sent
  int job_id = 0;
  std::string state;  // job-state when it ended ("completed", "aborted", ...)
  std::string reasons;
  int impressions = 0;  // job-impressions-completed
  std::string output;   // ipptool's report
};

IppJobResult SubmitJob(const std::string& printer_uri, const IppJob& job,
                       const std::filesystem::path& dir);

// Get-Job-Attributes once: attribute name to its value as ipptool shows it.
std::map<std::string, std::string> JobAttributes(const std::string& printer_uri, int job_id,
                                                 const std::filesystem::path& dir);

// Waits until the job has ended; its attributes then.
std::map<std::string, std::string> WaitForJob(const std::string& printer_uri, int job_id,
                                              const std::filesystem::path& dir);

// One request of an ipptool test file: OPERATION, the operation
// attributes (charset, language, `target` $uri, requesting-user-name
// `user`), then `lines` (more attributes, groups, FILE, STATUS, DISPLAY).
std::string IppRequest(const std::string& operation, const std::string& lines,
                       const std::string& user = "$user", const char* target = "printer-uri");

// The status a report's first failed request got instead, else
// successful-ok when one passed ("" when none ran).
std::string ReportedStatus(const std::string& report);

// Runs ipptool on a test file's text; its report.
std::string RunIppTool(const std::string& uri, const std::string& test,
                       const std::filesystem::path& dir,
                       const std::vector<std::string>& options = {});

// The "name (type) = value" lines of a report, the last of each name.
std::map<std::string, std::string> DisplayedValues(const std::string& report);

}  // namespace pclspool::apptest
