// What the server's callbacks share: where its files are, and the lock
// around the settings file, which the web pages rewrite while jobs and
// printers read it.
#pragma once

#include <mutex>
#include <string>

#include "printer-app/copier_watch.h"
#include "printer-app/printer_turns.h"

namespace pclspool::app {

struct AppContext {
  std::string state_dir;      // everything the app keeps: state, settings, spool
  std::string state_file;     // PAPPL's state: printers, defaults, jobs
  std::string settings_file;  // the administrator's OrvWater.INI
  std::string spool_dir;      // PAPPL's job documents
  std::string jobs_dir;       // one directory for each job being printed
  bool dnssd = true;          // announce printers with DNS-SD
  // `drivers`: the system only lists the driver, in the command's own
  // process, while a server may be running on the same state.
  bool listing_only = false;
  // Held while the settings file is read or replaced; the runner's
  // settings reader is process-wide.
  std::mutex settings_mutex;
  PrinterTurns turns;
  CopierWatch copiers{turns};  // the copiers' state, while the system runs
};

// The settings file a job or a page reads: the file, or an empty profile
// while the administrator has none.
std::string SettingsFileToRead(const AppContext& app);

}  // namespace pclspool::app
