// The `pclspool` command as a child process, for tests that look at what
// it prints and how it ends.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace pclspool::testing {

struct CommandExit {
  int status = -1;  // exit status, or 128 + the signal that ended it
  std::string err;  // standard error
};

// Starts the command in dir with the given arguments, standard input from
// in_path (/dev/null when empty), standard output to out_path and standard
// error to err_path; `env` entries ("NAME=value") are added to the
// environment. Returns the child's pid, or -1.
inline pid_t StartCommand(const std::vector<std::string>& args, const std::string& dir,
                          const std::string& in_path, const std::string& out_path,
                          const std::string& err_path, const std::vector<std::string>& env = {}) {
  std::vector<std::string> argv_s = {PCLSPOOL_CLI_PATH};
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> env_s = env;
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  const int in = ::open(in_path.empty() ? "/dev/null" : in_path.c_str(), O_RDONLY);
  const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0 || err < 0 || ::chdir(dir.c_str()) != 0) ::_exit(126);
  ::dup2(in, 0);
  ::dup2(out, 1);
  ::dup2(err, 2);
  for (std::string& e : env_s) ::putenv(e.data());
  ::execv(argv[0], argv.data());
  ::_exit(127);
}

inline int WaitCommand(pid_t pid) {
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace pclspool::testing
