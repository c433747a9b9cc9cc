// The copiers' state, kept for every printer: a poller thread for each
// copier (each socket:// address, shared by the printers on it: presets
// are printers of their own on one copier) asks its SNMP agent, and its
// print port when there is no agent, at a pace of its own; a watch thread
// makes each printer's view of it (printer_view.h) once a second, and hands
// it to PAPPL: reason bits and supplies for PAPPL's own web pages, a state
// change event for clients that subscribed. Clients' requests read the view
// (printer_state_hooks.cc); a job adds what its copier says on its own
// connection (copier_link.h). Nothing here waits on a job, nor a job on it.
//
// The pace: every 10 seconds while the copier is idle and well; every 2
// while it reports a condition, cannot be reached or prints; at once when a
// client asks for the printer's attributes and the last poll is older than
// 2 seconds. The print port is asked only without an SNMP agent, never
// while a job of the copier is queued or printing, and only while the
// copier is not known to be reachable, reports a condition, a client asks
// or 5 minutes have passed: a copier takes one connection at a time.
#pragma once

#include <pappl/pappl.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "printer-app/copier_address.h"
#include "printer-app/printer_turns.h"
#include "printer-app/printer_view.h"

namespace pclspool::app {

struct CopierPoll;  // one copier's poller

class CopierWatch {
 public:
  explicit CopierWatch(PrinterTurns& turns) : turns_(turns) {}
  ~CopierWatch() { Stop(); }
  CopierWatch(const CopierWatch&) = delete;
  CopierWatch& operator=(const CopierWatch&) = delete;

  void Start(pappl_system_t* system);
  // Before PAPPL deletes the system: the watch thread ends, the pollers are
  // told to.
  void Stop();

  // The printer's view; nothing before the first look at it.
  std::optional<PrinterView> View(int printer_id) const;
  // A client looks at the printer: its copier is asked again soon.
  void Wake(int printer_id);

  // What the copier of `address` reports now.
  CopierReport Report(const CopierAddress& address) const;
  // A job prints on the copier of `address`, or has ended: its print port
  // is not asked meanwhile.
  void JobPrints(const CopierAddress& address, bool prints);
  // What the copier said on a job's connection; nothing once the job has
  // ended.
  void JobSaid(const CopierAddress& address, const std::optional<CopierStatus>& status);

 private:
  void Run();
  void Tick();
  std::shared_ptr<CopierPoll> PollOf(const CopierAddress& address) const;

  PrinterTurns& turns_;
  pappl_system_t* system_ = nullptr;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::condition_variable stop_;
  bool stopping_ = false;
  std::map<std::string, std::shared_ptr<CopierPoll>> polls_;  // by the copier's address
  std::map<int, std::string> keys_;                            // printer id: its copier's
  std::map<int, PrinterView> views_;                           // by printer id
  // The watch thread's own, by printer id: a job PAPPL started and when
  // it was first seen not handed over; the supplies last given to PAPPL.
  std::map<int, std::pair<int, std::chrono::steady_clock::time_point>> unhanded_;
  std::map<int, std::vector<pappl_supply_t>> supplies_set_;
};

}  // namespace pclspool::app
