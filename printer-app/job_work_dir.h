// Each job being printed has a directory of its own under the state
// directory's jobs/: its copy of the settings file, a raster document
// written out, the PDF made of it, and the runner's page files. It is
// removed when the job ends, however it ends; one left behind at start-up
// belongs to a job that was printing when the server was killed.
#pragma once

#include <string>
#include <vector>

namespace pclspool::app {

struct JobKey {
  int printer_id = 0;
  int job_id = 0;
  bool operator==(const JobKey&) const = default;
};

// "<jobs_dir>/<printer>-<job>".
std::string JobWorkDir(const std::string& jobs_dir, const JobKey& key);

// Makes it (mode 0700), emptied of what an earlier run left; false with
// *error.
bool MakeJobWorkDir(const std::string& dir, std::string* error);

// Removes it and everything in it; nothing when it does not exist.
void RemoveJobWorkDir(const std::string& dir);

// The jobs whose directories are under jobs_dir.
std::vector<JobKey> LeftoverJobs(const std::string& jobs_dir);

}  // namespace pclspool::app
