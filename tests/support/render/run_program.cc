#include "support/render/run_program.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>

namespace pclspool::render {

namespace {

// A failing program's output is quoted in messages up to this length.
constexpr std::size_t kQuotedOutput = 2000;

}  // namespace

std::string ProgramRun::Describe(const std::string& name) const {
  std::string text = name + (status < 0 ? " could not be started" : " exited with " + std::to_string(status));
  if (!output.empty()) text += ": " + output.substr(0, kQuotedOutput);
  return text;
}

ProgramRun RunProgram(const std::vector<std::string>& argv, const std::filesystem::path& log,
                      const std::filesystem::path& dir) {
  ProgramRun run;
  if (argv.empty()) return run;
  std::vector<std::string> args = argv;
  std::vector<char*> c_args;
  for (std::string& a : args) c_args.push_back(a.data());
  c_args.push_back(nullptr);
  const std::string log_path = std::filesystem::absolute(log).string();
  const std::string dir_path = dir.string();

  const pid_t pid = ::fork();
  if (pid == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || (!dir_path.empty() && ::chdir(dir_path.c_str()) != 0)) ::_exit(126);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(out, 2);
    ::execvp(c_args[0], c_args.data());
    ::_exit(127);
  }
  if (pid < 0) return run;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return run;
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::ifstream in(log, std::ios::binary);
  run.output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return run;
}

}  // namespace pclspool::render
