// A private CUPS for the end-to-end tests: its own server root, spool,
// cache, state and log directories in a fresh temporary directory, its own
// server bin (the system's filters, drivers and backends, plus the filter
// under test), listening on 127.0.0.1 at a free port and on a domain
// socket. The printer is ippeveprinter on localhost, keeping what it
// receives, with a private D-Bus daemon for it; or, with no filter under
// test, CUPS is a client of a printer the test runs. Every process is
// started and stopped by its own pid; the system's cupsd is never touched.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/scratch_dir.h"

namespace pclspool::cups_test {

// What the filter under test needs. Without a filter, the sandbox is
// CUPS alone, a client of some other printer: no IPP printer of its own.
struct SandboxFiles {
  std::string filter;  // the built filter program
  std::string ppd;
  std::string types;  // the MIME type file
  std::string ini;    // the settings file, installed under the server root
};

struct JobStatus {
  int state = 0;        // IPP job-state: 3 pending ... 7 canceled, 8 aborted, 9 completed
  int impressions = 0;  // job-impressions-completed: the PAGE lines' count
  std::string message;  // job-printer-state-message
};

class CupsSandbox {
 public:
  CupsSandbox() = default;
  CupsSandbox(const CupsSandbox&) = delete;
  CupsSandbox& operator=(const CupsSandbox&) = delete;
  ~CupsSandbox() { Stop(); }

  bool Start(const SandboxFiles& files, std::string* error);
  void Stop();

  // A queue with the PPD (the one Start was given, when empty), printing
  // to `uri`; "-m MODEL" for the PPD makes it of that model instead
  // ("-m everywhere": CUPS asks the printer at `uri`).
  bool AddQueue(const std::string& name, const std::string& uri, std::string* error,
                const std::string& ppd = "");
  // Puts another filter program beside the one under test.
  bool AddFilter(const std::string& program, std::string* error);
  // The device URI of the IPP printer.
  std::string PrinterUri() const;

  // lp, cancel, lpadmin ... against this server; standard error is in
  // `out` with standard output.
  testing::ProgramRun Client(const std::vector<std::string>& argv) const;
  // Submits a file with lp; the job id, or -1 with *error.
  int Submit(const std::string& queue, const std::string& title, const std::string& file,
             const std::vector<std::string>& options, std::string* error) const {
    return Submit(queue, title, std::vector<std::string>{file}, options, error);
  }
  // A job of several documents.
  int Submit(const std::string& queue, const std::string& title,
             const std::vector<std::string>& files, const std::vector<std::string>& options,
             std::string* error) const;
  JobStatus Job(int id) const;
  // Waits until the job is completed, cancelled or aborted, or has stayed
  // stopped (its filter failed) for half a second.
  JobStatus WaitFinished(int id, std::chrono::seconds timeout) const;

  // The stream the IPP printer received for the job of that title ("" when
  // none), and the copies it was asked to make (0 when not asked).
  std::string Received(const std::string& title) const;
  int PrinterCopies(const std::string& title) const;

  const std::string& dir() const { return dir_; }
  std::string temp_dir() const { return dir_ + "/spool/tmp"; }  // the filters' TMPDIR
  std::string filter() const { return dir_ + "/serverbin/filter/pclspool-filter"; }
  std::string error_log() const { return dir_ + "/log/error_log"; }

 private:
  bool Configure(const SandboxFiles& files, std::string* error);
  bool StartPrinter(std::string* error);

  std::optional<testing::ScratchDir> scratch_;
  std::string dir_;
  std::string ppd_;
  int cups_port_ = 0;
  int printer_port_ = 0;
  testing::ChildProcess dbus_;
  testing::ChildProcess printer_;
  testing::ChildProcess cupsd_;
};

}  // namespace pclspool::cups_test
