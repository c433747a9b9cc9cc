#include "support/render/real_job_list.h"

namespace pclspool::render {

std::vector<std::string> RealJobNames() {
  std::vector<std::string> names = {"sample"};
  const std::vector<std::string>& devices = GhostscriptPclDevices();
  names.insert(names.end(), devices.begin(), devices.end());
  return names;
}

JobFile RealJob(const std::string& name, int pages) {
  if (name == "sample") return {std::filesystem::path(PCLSPOOL_EXAMPLES) / "sample.pcl", ""};
  return GhostscriptJob(name, pages);
}

}  // namespace pclspool::render
