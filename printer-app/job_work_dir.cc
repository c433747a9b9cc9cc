#include "printer-app/job_work_dir.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>

namespace pclspool::app {

namespace fs = std::filesystem;

std::string JobWorkDir(const std::string& jobs_dir, const JobKey& key) {
  return jobs_dir + "/" + std::to_string(key.printer_id) + "-" + std::to_string(key.job_id);
}

bool MakeJobWorkDir(const std::string& dir, std::string* error) {
  std::error_code ec;
  fs::remove_all(dir, ec);
  if (::mkdir(dir.c_str(), 0700) != 0) {
    *error = "cannot make the job's directory " + dir + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

void RemoveJobWorkDir(const std::string& dir) {
  std::error_code ec;
  fs::remove_all(dir, ec);
}

std::vector<JobKey> LeftoverJobs(const std::string& jobs_dir) {
  std::vector<JobKey> jobs;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(jobs_dir, ec)) {
    const std::string name = e.path().filename().string();
    const std::size_t dash = name.find('-');
    JobKey key;
    const char* end = name.data() + name.size();
    if (dash == std::string::npos) continue;
    const auto [p, ec1] = std::from_chars(name.data(), name.data() + dash, key.printer_id);
    const auto [q, ec2] = std::from_chars(name.data() + dash + 1, end, key.job_id);
    if (ec1 == std::errc() && ec2 == std::errc() && p == name.data() + dash && q == end) {
      jobs.push_back(key);
    }
  }
  return jobs;
}

}  // namespace pclspool::app
