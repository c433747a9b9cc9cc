// Starting a program with chosen descriptors, and waiting for it with a
// way to stop it: the job process the server runs for every job, and the
// cups-filters programs a job process runs to turn raster and images into
// PDF.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace pclspool::app {

struct ChildStart {
  std::vector<std::string> argv;  // argv[0] is the program's path
  // Descriptors the child gets: (descriptor here, number in the child).
  // Standard input is /dev/null unless mapped; nothing else is inherited.
  std::vector<std::pair<int, int>> fds;
  // The child leads a process group of its own, so that it and whatever it
  // starts can be stopped together.
  bool own_group = false;
};

// Returns the child's pid, or -1 with *error set.
pid_t StartChild(const ChildStart& child, std::string* error);

// How a child ended: its exit status, or the signal that killed it.
struct ChildEnd {
  int status = -1;  // exit status, -1 when killed
  int signal = 0;   // the signal that killed it, 0 when it exited
};

// Waits for the child; `stop` is asked every `poll_ms` and, once true, the
// child (its group when it leads one) gets SIGTERM, and SIGKILL when it
// has not ended `grace_ms` later.
ChildEnd WaitChild(pid_t pid, bool group, const std::function<bool()>& stop, int poll_ms,
                   int grace_ms);

// Reaps the child if it has ended; false while it runs.
bool ChildEnded(pid_t pid, ChildEnd* end);

// Stops a child that has not ended yet: SIGTERM, then SIGKILL after
// `grace_ms`; reaps it.
ChildEnd StopChild(pid_t pid, bool group, int grace_ms);

// "exited with 2", "killed by signal 9".
std::string DescribeEnd(const ChildEnd& end);

}  // namespace pclspool::app
