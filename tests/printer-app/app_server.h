// A printer application server of the test's own: started on 127.0.0.1 at
// a free port with a private state directory, DNS-SD off and file://
// devices, run under a name of its own (so that its domain socket is its
// own too), and stopped by its pid.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/required.h"

namespace pclspool::apptest {

class AppServer {
 public:
  // Everything under `dir`: the state directory, the log, the devices.
  explicit AppServer(std::filesystem::path dir);
  ~AppServer();
  AppServer(const AppServer&) = delete;
  AppServer& operator=(const AppServer&) = delete;

  // Starts the server and waits until it takes connections; false with
  // *error (its log) when it does not. Again after Stop: the same state
  // directory and port.
  bool Start(std::string* error);
  // SIGTERM, then waits for the process to end and its port to be free.
  void Stop();
  // SIGKILL: a server that dies without saving anything.
  void Kill();
  bool Running() const { return server_.started(); }
  bool Ended() const { return server_.Ended(); }
  // -o NAME=VALUE server options for the next Start.
  void AddOption(const std::string& option) { options_.push_back(option); }
  pid_t pid() const { return server_.pid(); }

  int port() const { return port_; }
  const std::filesystem::path& state_dir() const { return state_; }
  // The server's TMPDIR, and so its jobs' and their Ghostscripts'.
  std::filesystem::path temp_dir() const { return dir_ / "tmp"; }
  std::filesystem::path log() const { return dir_ / "server.log"; }
  // Its domain socket (the server runs as root).
  std::filesystem::path socket() const;
  // A directory a printer's file:// device writes its jobs into.
  std::filesystem::path DeviceDir(const std::string& printer) const;
  std::string PrinterUri(const std::string& printer) const;

  // Adds a printer of the copier driver whose device is DeviceDir(name),
  // or `device` when given; `defaults` are -o NAME-default=VALUE options
  // set afterwards.
  bool AddPrinter(const std::string& name, const std::vector<std::string>& defaults,
                  std::string* error, const std::string& device = "");
  // The processes a job started that are still there (job processes,
  // Ghostscript, cups-filters), by their command lines: those naming this
  // server's state directory, and their children.
  std::vector<std::string> JobProcesses() const;
  // The process of the job while it runs; 0 when there is none.
  // Job ids are a printer's own; printers are numbered from 1 in the
  // order they were added. The job's process is told by its work
  // directory, named for both.
  pid_t JobProcess(int printer_id, int job_id) const;
  // The server's resident memory, in KiB.
  long ResidentKib() const;
  // The program's client sub-commands against this server.
  testing::ProgramRun Command(const std::vector<std::string>& args) const;

 private:
  std::filesystem::path dir_;
  std::filesystem::path state_;
  std::filesystem::path program_;  // a link to the app under a name of its own
  int port_ = 0;
  std::vector<std::string> options_;
  testing::ChildProcess server_;
};

// The app's path as built.
std::string AppPath();

// Empty when ipptool can run; else what is missing.
std::string MissingIppTools();

}  // namespace pclspool::apptest

// For a test that needs ipptool (and gpcl6, Ghostscript): skips with the
// reason, or fails under CI.
#define PCLSPOOL_REQUIRE_APP_TOOLS() PCLSPOOL_REQUIRE(::pclspool::apptest::MissingIppTools())
