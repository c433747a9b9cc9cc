#include "printer-app/interrupted_jobs.h"

#include <cups/cups.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace pclspool::app {

namespace {

// PAPPL's job-state values and its aborted-by-system reason bit.
constexpr int kProcessing = 5;
constexpr int kAborted = 8;
constexpr int kAbortedBySystem = 0x1;

class Options {
 public:
  explicit Options(const std::string& text) {
    count_ = cupsParseOptions(text.c_str(), 0, &options_);
  }
  ~Options() { cupsFreeOptions(count_, options_); }
  Options(const Options&) = delete;
  Options& operator=(const Options&) = delete;

  const char* Get(const char* name) const { return cupsGetOption(name, count_, options_); }
  int Int(const char* name) const {
    const char* v = Get(name);
    return v ? std::atoi(v) : 0;
  }
  void Set(const char* name, const std::string& value) {
    count_ = cupsAddOption(name, value.c_str(), count_, &options_);
  }
  void Remove(const char* name) { count_ = cupsRemoveOption(name, count_, &options_); }

  // As PAPPL writes them: name="value", with \ and " escaped.
  std::string Encode() const {
    std::string out;
    for (int i = 0; i < count_; ++i) {
      out += std::string(" ") + options_[i].name + "=\"";
      for (const char* p = options_[i].value; *p; ++p) {
        if (*p == '\\' || *p == '"') out += '\\';
        out += *p;
      }
      out += '"';
    }
    return out;
  }

 private:
  int count_ = 0;
  cups_option_t* options_ = nullptr;
};

}  // namespace

std::vector<JobKey> AbortInterruptedJobs(const std::string& state_file,
                                         const std::vector<JobKey>& leftovers, std::time_t now) {
  std::ifstream in(state_file);
  if (!in) return {};
  std::vector<JobKey> aborted;
  std::ostringstream out;
  int printer_id = 0;
  std::string line;
  while (std::getline(in, line)) {
    constexpr std::string_view kPrinter = "<Printer ";
    constexpr std::string_view kJob = "Job ";
    if (line.starts_with(kPrinter)) {
      std::string rest = line.substr(kPrinter.size());
      if (!rest.empty() && rest.back() == '>') rest.pop_back();
      printer_id = Options(rest).Int("id");
    } else if (line.starts_with(kJob)) {
      Options job(line.substr(kJob.size()));
      const JobKey key{printer_id, job.Int("id")};
      const bool left = std::find(leftovers.begin(), leftovers.end(), key) != leftovers.end();
      if (left || job.Int("state") == kProcessing) {
        job.Set("state", std::to_string(kAborted));
        job.Set("state_reasons", std::to_string(job.Int("state_reasons") | kAbortedBySystem));
        job.Set("completed", std::to_string(static_cast<long>(now)));
        if (const char* document = job.Get("filename")) ::unlink(document);
        job.Remove("filename");
        line = std::string(kJob.substr(0, 3)) + job.Encode();
        aborted.push_back(key);
      }
    }
    out << line << '\n';
  }
  if (aborted.empty()) return aborted;
  const std::string temp = state_file + ".new";
  {
    std::ofstream f(temp, std::ios::trunc);
    f << out.str();
    if (!f.flush()) return {};
  }
  if (std::rename(temp.c_str(), state_file.c_str()) != 0) {
    ::unlink(temp.c_str());
    return {};
  }
  return aborted;
}

}  // namespace pclspool::app
