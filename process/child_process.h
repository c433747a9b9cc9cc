// Starting a program in a child process, and waiting for it with a way to
// stop it: the one way pclspool runs a program, whoever runs it (the
// rendering side's Ghostscript, the printer application's job processes
// and its cups-filters conversions, the tests' tools).
//
// The child gets the descriptors it is given and nothing else (every
// descriptor of ours is close-on-exec), /dev/null as standard input unless
// it is given one, default handling of every signal and none blocked,
// whatever the thread that starts it has set.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace pclspool::process {

// One of the child's descriptors: a copy of one of ours, or a file the
// child opens for itself (so that a FIFO waits for its other end there,
// not here). Applied in order: a later one may copy an earlier one's
// (standard error where standard output goes: {2, 1}).
struct ChildFd {
  int number = -1;   // in the child
  int from = -1;     // ours, or the child's own when it was set up before
  std::string path;  // instead of `from`: the file to open
  int flags = 0;     // for `path`, as open(2) takes them (O_CLOEXEC is dropped)

  static ChildFd Copy(int number, int from) { return {number, from, {}, 0}; }
  static ChildFd Open(int number, std::string path, int flags) {
    return {number, -1, std::move(path), flags};
  }
};

struct ChildStart {
  // argv[0] is the program: a path, or a name looked up on PATH.
  std::vector<std::string> argv;
  std::vector<ChildFd> fds;
  // "NAME=value": over this process's environment, each replacing the
  // variable of its name, or the whole of it without `inherit_env`.
  std::vector<std::string> env;
  bool inherit_env = true;
  std::string dir;  // its working directory; empty: ours
  // The child leads a process group of its own, so that it and whatever it
  // starts can be stopped together.
  bool own_group = false;
};

// Returns the child's pid, or -1 with *error set ("gs: No such file or
// directory", "cannot change to DIR: ...").
pid_t StartChild(const ChildStart& child, std::string* error);

// The program as exec would find it: a name with a '/' as it is, any
// other on PATH (else /usr/local/bin:/usr/bin:/bin), then in `more_dirs`
// (colon-separated). Empty, with *error an errno value when given, when
// there is none to run.
std::string FindProgram(const std::string& name, const std::string& more_dirs = "",
                        int* error = nullptr);

// How a child ended: its exit status, or the signal that killed it.
struct ChildEnd {
  int status = -1;  // exit status, -1 when killed
  int signal = 0;   // the signal that killed it, 0 when it exited
};

// Reaps the child if it has ended; false while it runs.
bool ChildEnded(pid_t pid, ChildEnd* end);

// Whether the child has ended, leaving it to be reaped.
bool ChildHasEnded(pid_t pid);

// Waits for the child; `stop` (when given) is asked every `poll_ms` and,
// once true, the child (its group when it leads one) gets SIGTERM, and
// SIGKILL when it has not ended `grace_ms` later.
ChildEnd WaitChild(pid_t pid, bool group, const std::function<bool()>& stop, int poll_ms,
                   int grace_ms);

// Stops a child that may not have ended yet: SIGTERM, then SIGKILL after
// `grace_ms` (at once when 0); reaps it. What else runs in the group it
// leads is killed.
ChildEnd StopChild(pid_t pid, bool group, int grace_ms);

// "exited with 2", "killed by signal 9".
std::string DescribeEnd(const ChildEnd& end);

}  // namespace pclspool::process
