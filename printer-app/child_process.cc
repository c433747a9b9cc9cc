#include "printer-app/child_process.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

extern char** environ;

namespace pclspool::app {

namespace {

ChildEnd EndOf(int wstatus) {
  ChildEnd end;
  if (WIFEXITED(wstatus)) {
    end.status = WEXITSTATUS(wstatus);
  } else if (WIFSIGNALED(wstatus)) {
    end.signal = WTERMSIG(wstatus);
  }
  return end;
}

// The child's status once it has ended; nothing while it runs.
bool Reaped(pid_t pid, ChildEnd* end) {
  int wstatus = 0;
  pid_t r;
  do {
    r = ::waitpid(pid, &wstatus, WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == 0) return false;
  *end = r == pid ? EndOf(wstatus) : ChildEnd{};
  return true;
}

void Signal(pid_t pid, bool group, int sig) { ::kill(group ? -pid : pid, sig); }

}  // namespace

pid_t StartChild(const ChildStart& child, std::string* error) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attr);
  bool stdin_mapped = false;
  for (const auto& [from, to] : child.fds) stdin_mapped = stdin_mapped || to == STDIN_FILENO;
  if (!stdin_mapped) {
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }
  // dup2 clears close-on-exec on the copy; every other descriptor the
  // server holds is close-on-exec (PAPPL's, and every one made here).
  for (const auto& [from, to] : child.fds) posix_spawn_file_actions_adddup2(&actions, from, to);

  // The child starts with default signal handling and nothing blocked,
  // whatever the thread that starts it has set.
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

  std::vector<char*> argv;
  for (const std::string& a : child.argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    *error = child.argv[0] + ": " + strerror(rc);
    return -1;
  }
  return pid;
}

bool ChildEnded(pid_t pid, ChildEnd* end) { return Reaped(pid, end); }

ChildEnd WaitChild(pid_t pid, bool group, const std::function<bool()>& stop, int poll_ms,
                   int grace_ms) {
  ChildEnd end;
  while (!Reaped(pid, &end)) {
    if (stop && stop()) return StopChild(pid, group, grace_ms);
    std::this_thread::sleep_for(std::chrono::milliseconds(poll_ms));
  }
  return end;
}

ChildEnd StopChild(pid_t pid, bool group, int grace_ms) {
  ChildEnd end;
  if (Reaped(pid, &end)) {
    // Whatever it started may still run.
    if (group) Signal(pid, true, SIGKILL);
    return end;
  }
  Signal(pid, group, SIGTERM);
  constexpr int kStepMs = 10;
  for (int waited = 0; waited < grace_ms; waited += kStepMs) {
    if (Reaped(pid, &end)) {
      if (group) Signal(pid, true, SIGKILL);
      return end;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
  }
  Signal(pid, group, SIGKILL);
  int wstatus = 0;
  while (::waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
  }
  return EndOf(wstatus);
}

std::string DescribeEnd(const ChildEnd& end) {
  if (end.signal != 0) return "killed by signal " + std::to_string(end.signal);
  return "exited with " + std::to_string(end.status);
}

}  // namespace pclspool::app
