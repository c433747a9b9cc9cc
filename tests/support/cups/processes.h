// Programs the end-to-end test runs: each started by fork and exec, waited
// for or stopped by its own process id, never looked up by name.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace pclspool::cups_test {

struct Ran {
  int status = -1;     // exit status; 128 + signal when killed; -1 not run
  std::string output;  // standard output and standard error together
};

// Runs argv[0] (found on PATH) with `env` added to this process's
// environment ("NAME=value" each), waits up to `timeout`, kills it beyond.
Ran RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
               std::chrono::seconds timeout = std::chrono::seconds(60));

// Starts a program in the background, its output to `log`; -1 on failure.
pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const std::string& log);

// Sends SIGTERM, waits up to `grace`, then SIGKILL; reaps the process.
void Stop(pid_t pid, std::chrono::milliseconds grace = std::chrono::milliseconds(3000));

// Whether a program of that name is on PATH (or is that executable file).
bool OnPath(const std::string& program);

// A TCP port on 127.0.0.1 that was free a moment ago.
int FreePort();

// Process ids whose environment holds `entry` ("NAME=value"): a job's
// filters, backend and their children, by the TMPDIR cupsd gives them.
std::vector<pid_t> ProcessesWith(const std::string& entry);

}  // namespace pclspool::cups_test
