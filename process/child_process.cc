#include "process/child_process.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

extern char** environ;

namespace pclspool::process {

namespace {

constexpr int kStepMs = 10;

ChildEnd EndOf(int wstatus) {
  ChildEnd end;
  if (WIFEXITED(wstatus)) {
    end.status = WEXITSTATUS(wstatus);
  } else if (WIFSIGNALED(wstatus)) {
    end.signal = WTERMSIG(wstatus);
  }
  return end;
}

void Signal(pid_t pid, bool group, int sig) { ::kill(group ? -pid : pid, sig); }

// The environment the child gets, as strings.
std::vector<std::string> Environment(const ChildStart& c) {
  std::vector<std::string> env;
  for (char** e = c.inherit_env ? environ : nullptr; e && *e; ++e) {
    const std::string_view entry = *e;
    const std::string_view name = entry.substr(0, entry.find('=') + 1);
    const bool replaced = std::any_of(c.env.begin(), c.env.end(), [&](const std::string& x) {
      return std::string_view(x).substr(0, name.size()) == name;
    });
    if (!replaced) env.emplace_back(entry);
  }
  env.insert(env.end(), c.env.begin(), c.env.end());
  return env;
}

// The strings as exec takes them: pointers, then a null.
std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> p;
  for (std::string& s : strings) p.push_back(s.data());
  p.push_back(nullptr);
  return p;
}

}  // namespace

std::string FindProgram(const std::string& name, const std::string& more_dirs, int* error) {
  int err = ENOENT;
  std::string found;
  if (name.find('/') != std::string::npos) {
    if (::access(name.c_str(), X_OK) == 0) found = name;
    err = errno;
  } else if (!name.empty()) {
    const char* path = ::getenv("PATH");
    std::string dirs = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    if (!more_dirs.empty()) dirs += ":" + more_dirs;
    for (std::size_t from = 0; from <= dirs.size() && found.empty();) {
      const std::size_t colon = std::min(dirs.find(':', from), dirs.size());
      const std::string dir = colon > from ? dirs.substr(from, colon - from) : ".";
      const std::string candidate = dir + "/" + name;
      if (::access(candidate.c_str(), X_OK) == 0) found = candidate;
      if (errno == EACCES) err = EACCES;
      from = colon + 1;
    }
  }
  if (found.empty() && error) *error = err;
  return found;
}

pid_t StartChild(const ChildStart& child, std::string* error) {
  const std::string name = child.argv.empty() ? "" : child.argv[0];
  int lookup = 0;
  const std::string program = FindProgram(name, "", &lookup);
  if (program.empty()) {
    *error = name + ": " + strerror(lookup);
    return -1;
  }
  // posix_spawn cannot say which of its steps failed: the one a caller
  // names most often is told here.
  struct stat st {};
  if (!child.dir.empty() && (::stat(child.dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) {
    *error = name + ": cannot change to " + child.dir + ": " + strerror(errno ? errno : ENOTDIR);
    return -1;
  }

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  const bool stdin_given = std::any_of(child.fds.begin(), child.fds.end(),
                                       [](const ChildFd& f) { return f.number == STDIN_FILENO; });
  if (!stdin_given) {
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }
  // dup2 clears close-on-exec on the copy (a descriptor copied to its own
  // number too).
  for (const ChildFd& f : child.fds) {
    if (!f.path.empty()) {
      posix_spawn_file_actions_addopen(&actions, f.number, f.path.c_str(), f.flags & ~O_CLOEXEC,
                                       0644);
    } else {
      posix_spawn_file_actions_adddup2(&actions, f.from, f.number);
    }
  }
  if (!child.dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, child.dir.c_str());

  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
  if (child.own_group) {
    flags |= POSIX_SPAWN_SETPGROUP;
    posix_spawnattr_setpgroup(&attr, 0);
  }
  posix_spawnattr_setflags(&attr, flags);

  std::vector<std::string> args = child.argv;
  args[0] = program;
  std::vector<std::string> env = Environment(child);
  const std::vector<char*> argv = Pointers(args);
  const std::vector<char*> envp = Pointers(env);
  pid_t pid = -1;
  const int rc = ::posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    *error = name + ": " + strerror(rc);
    return -1;
  }
  return pid;
}

bool ChildEnded(pid_t pid, ChildEnd* end) {
  int wstatus = 0;
  pid_t r;
  do {
    r = ::waitpid(pid, &wstatus, WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == 0) return false;
  *end = r == pid ? EndOf(wstatus) : ChildEnd{};
  return true;
}

bool ChildHasEnded(pid_t pid) {
  siginfo_t info{};
  return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 ||
         info.si_pid == pid;
}

ChildEnd WaitChild(pid_t pid, bool group, const std::function<bool()>& stop, int poll_ms,
                   int grace_ms) {
  ChildEnd end;
  if (!stop) {
    int wstatus = 0;
    while (::waitpid(pid, &wstatus, 0) < 0) {
      if (errno != EINTR) return end;
    }
    return EndOf(wstatus);
  }
  while (!ChildEnded(pid, &end)) {
    if (stop()) return StopChild(pid, group, grace_ms);
    std::this_thread::sleep_for(std::chrono::milliseconds(poll_ms));
  }
  return end;
}

ChildEnd StopChild(pid_t pid, bool group, int grace_ms) {
  ChildEnd end;
  if (ChildEnded(pid, &end)) {
    // Whatever it started may still run.
    if (group) Signal(pid, true, SIGKILL);
    return end;
  }
  if (grace_ms > 0) {
    Signal(pid, group, SIGTERM);
    for (int waited = 0; waited < grace_ms; waited += kStepMs) {
      if (ChildEnded(pid, &end)) {
        if (group) Signal(pid, true, SIGKILL);
        return end;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
    }
  }
  Signal(pid, group, SIGKILL);
  if (group) Signal(pid, false, SIGKILL);
  int wstatus = 0;
  while (::waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
  }
  return EndOf(wstatus);
}

std::string DescribeEnd(const ChildEnd& end) {
  if (end.signal != 0) return "killed by signal " + std::to_string(end.signal);
  return "exited with " + std::to_string(end.status);
}

}  // namespace pclspool::process
