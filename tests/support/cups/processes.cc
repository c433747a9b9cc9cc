#include "support/cups/processes.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace pclspool::cups_test {

namespace fs = std::filesystem;

std::vector<pid_t> ProcessesWith(const std::string& entry) {
  std::vector<pid_t> pids;
  std::error_code ec;
  for (const auto& proc : fs::directory_iterator("/proc", ec)) {
    const std::string name = proc.path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream in(proc.path() / "environ", std::ios::binary);
    const std::string env((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Entries are NUL-separated.
    for (std::size_t at = 0; at < env.size(); at = env.find('\0', at) + 1) {
      if (env.compare(at, entry.size() + 1, entry + '\0') == 0 ||
          (env.compare(at, entry.size(), entry) == 0 && at + entry.size() == env.size())) {
        pids.push_back(static_cast<pid_t>(std::stoi(name)));
        break;
      }
      if (env.find('\0', at) == std::string::npos) break;
    }
  }
  return pids;
}

}  // namespace pclspool::cups_test
