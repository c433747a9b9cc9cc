#include "printer-app/copier_watch.h"

#include <algorithm>
#include <ctime>
#include <set>
#include <vector>

#include "printer-app/copier_probe.h"
#include "printer-app/printer_state_hooks.h"

namespace pclspool::app {

namespace {

using Clock = std::chrono::steady_clock;
using Reach = CopierReport::Reach;

constexpr auto kCalmEvery = std::chrono::seconds(10);
constexpr auto kBusyEvery = std::chrono::seconds(2);
constexpr auto kWakeAfter = std::chrono::seconds(2);
// Without an answer from its agent, the copier's agent is asked again
// after this (a copier without one would cost a wait at every poll).
constexpr auto kSnmpRetry = std::chrono::seconds(60);
constexpr auto kProbeEvery = std::chrono::minutes(5);
constexpr auto kTick = std::chrono::seconds(1);
// A job PAPPL has started but not handed over after this is waiting for
// its device (PAPPL opens it in between, which takes a moment).
constexpr auto kHandOver = std::chrono::seconds(2);

std::string KeyOf(const CopierAddress& a) {
  return a.host + "|" + std::to_string(a.port) + "|" + (a.snmp ? "snmp" : "") + "|" + a.community +
         "|" + std::to_string(a.snmp_port);
}

}  // namespace

struct CopierPoll {
  explicit CopierPoll(CopierAddress a) : address(std::move(a)) {}

  bool HasConditions() const {
    return (snmp && !snmp->conditions.empty()) || (pjl && !pjl->conditions.empty());
  }
  CopierReport Report() const {
    CopierReport r;
    r.reach = reach;
    r.heard = heard;
    if (snmp) {
      r.status = *snmp;
      r.sources = "SNMP";
    }
    if (pjl) {
      for (const CopierCondition& c : pjl->conditions) AddCondition(&r.status.conditions, c.what, c.detail);
      r.status.display = pjl->display;
      r.sources += r.sources.empty() ? "PJL" : " and PJL";
    }
    return r;
  }

  const CopierAddress address;
  std::mutex mutex;
  std::condition_variable wake;
  bool stop = false;
  bool woken = false;  // a client asked
  bool busy = false;   // a job of the copier is queued or printing
  int printing = 0;    // jobs printing on it now
  std::optional<CopierStatus> snmp, pjl;  // what each source said last
  bool pjl_of_job = false;
  Reach reach = Reach::kUnknown;
  time_t heard = 0;
  Clock::time_point polled{};
};

namespace {

void RunPoll(const std::shared_ptr<CopierPoll>& p) {
  const CopierAddress& address = p->address;
  // The print port is asked again after a while even when nothing calls
  // for it; the first time it is asked because nothing is known yet.
  Clock::time_point snmp_retry{}, probed_at = Clock::now();
  std::unique_lock<std::mutex> lock(p->mutex);
  while (!p->stop) {
    const bool asked = p->woken;
    p->woken = false;
    const bool doubtful = p->reach != Reach::kYes || p->HasConditions();
    lock.unlock();

    const auto now = Clock::now();
    CopierStatus mib;
    const bool try_snmp = address.snmp && now >= snmp_retry;
    const bool snmp_ok = try_snmp && AskSnmpAgent(address, &mib);
    if (try_snmp && !snmp_ok) snmp_retry = now + kSnmpRetry;
    lock.lock();
    const bool busy = p->busy || p->printing > 0;
    // An agent that answered and answers no more: the copier may be off.
    const bool lost = try_snmp && !snmp_ok && p->snmp.has_value();
    lock.unlock();
    const bool probe = !snmp_ok && !busy && (doubtful || lost || asked || now - probed_at >= kProbeEvery);
    const PjlProbe answer = probe ? AskPrintPort(address) : PjlProbe{};
    if (probe) probed_at = now;

    lock.lock();
    if (snmp_ok) {
      p->snmp = std::move(mib);
    } else if (try_snmp) {
      p->snmp.reset();
    }
    // A copier that took the connection but did not answer may be busy
    // with another host's job: what it said before stands.
    if (answer.answered) {
      p->pjl = answer.status;
      p->pjl_of_job = false;
    } else if (probe && !answer.connected) {
      p->pjl.reset();
    }
    const Reach before = p->reach;
    if (snmp_ok || answer.connected) {
      p->reach = Reach::kYes;
      p->heard = std::time(nullptr);
    } else if (probe) {
      p->reach = Reach::kNo;
    }
    // Back again: its agent is asked at once.
    if (before == Reach::kNo && p->reach == Reach::kYes) snmp_retry = {};
    p->polled = Clock::now();
    const bool calm = !p->busy && !p->printing && p->reach == Reach::kYes && !p->HasConditions();
    p->wake.wait_for(lock, calm ? kCalmEvery : kBusyEvery, [&] { return p->stop || p->woken; });
  }
}

struct Seen {
  int id = 0;
  CopierAddress address;
  ipp_pstate_t state = IPP_PSTATE_IDLE;
  int active_jobs = 0;
  int processing_job = 0;
};

void FindProcessing(pappl_job_t* job, void* data) {
  int& id = *static_cast<int*>(data);
  if (id == 0 && papplJobGetState(job) == IPP_JSTATE_PROCESSING) id = papplJobGetID(job);
}

void SeePrinter(pappl_printer_t* printer, void* data) {
  Seen s;
  s.id = papplPrinterGetID(printer);
  s.address = CopierAddressOf(papplPrinterGetDeviceURI(printer));
  s.state = RealPrinterState(printer);
  s.active_jobs = papplPrinterGetNumberOfActiveJobs(printer);
  papplPrinterIterateActiveJobs(printer, FindProcessing, &s.processing_job, 1, 0);
  static_cast<std::vector<Seen>*>(data)->push_back(std::move(s));
}

// What a tick hands to PAPPL, printer by printer.
struct Changes {
  pappl_system_t* system;
  std::map<int, std::pair<PrinterView, int>> views;  // changed: view, processing job
  std::map<int, std::vector<pappl_supply_t>> supplies;
};

void SetMessage(pappl_job_t* job, void* data) {
  const auto& [id, message] = *static_cast<std::pair<int, std::string>*>(data);
  if (papplJobGetID(job) == id) papplJobSetMessage(job, "%s", message.c_str());
}

void ApplyChanges(pappl_printer_t* printer, void* data) {
  Changes& c = *static_cast<Changes*>(data);
  const int id = papplPrinterGetID(printer);
  if (const auto s = c.supplies.find(id); s != c.supplies.end()) {
    papplPrinterSetSupplies(printer, static_cast<int>(s->second.size()), s->second.data());
  }
  const auto v = c.views.find(id);
  if (v == c.views.end()) return;
  const PrinterView& view = v->second.first;
  papplPrinterSetReasons(printer, view.bits,
                         static_cast<pappl_preason_t>(AllConditionBits() & ~view.bits));
  if (view.device_wait) {
    std::pair<int, std::string> message{v->second.second, DeviceWaitJobMessage(view.address)};
    papplPrinterIterateActiveJobs(printer, SetMessage, &message, 1, 0);
  }
  papplSystemAddEvent(c.system, printer, nullptr, PAPPL_EVENT_PRINTER_STATE_CHANGED, "%s",
                      view.message.empty() ? "The copier is ready." : view.message.c_str());
}

}  // namespace

void CopierWatch::Start(pappl_system_t* system) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (thread_.joinable()) return;
  system_ = system;
  stopping_ = false;
  thread_ = std::thread([this] { Run(); });
}

void CopierWatch::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    for (auto& [key, poll] : polls_) {
      std::lock_guard<std::mutex> l(poll->mutex);
      poll->stop = true;
      poll->wake.notify_all();
    }
    polls_.clear();
  }
  stop_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void CopierWatch::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stopping_) {
    lock.unlock();
    Tick();
    lock.lock();
    stop_.wait_for(lock, kTick, [this] { return stopping_; });
  }
}

std::shared_ptr<CopierPoll> CopierWatch::PollOf(const CopierAddress& address) const {
  const auto p = polls_.find(KeyOf(address));
  return p == polls_.end() ? nullptr : p->second;
}

void CopierWatch::Tick() {
  std::vector<Seen> seen;
  papplSystemIteratePrinters(system_, SeePrinter, &seen);
  const auto now = Clock::now();

  // One poller a copier; a copier is busy while any of its printers has a job.
  std::map<std::string, bool> busy;
  for (const Seen& s : seen) {
    if (s.address.network) busy[KeyOf(s.address)] |= s.active_jobs > 0;
  }
  std::map<int, CopierReport> reports;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) return;
    for (auto p = polls_.begin(); p != polls_.end();) {
      if (busy.count(p->first)) {
        ++p;
        continue;
      }
      std::lock_guard<std::mutex> l(p->second->mutex);
      p->second->stop = true;
      p->second->wake.notify_all();
      p = polls_.erase(p);
    }
    for (const Seen& s : seen) {
      if (!s.address.network) continue;
      std::shared_ptr<CopierPoll>& poll = polls_[KeyOf(s.address)];
      if (!poll) {
        poll = std::make_shared<CopierPoll>(s.address);
        std::thread([poll] { RunPoll(poll); }).detach();
      }
      keys_[s.id] = KeyOf(s.address);
      std::lock_guard<std::mutex> l(poll->mutex);
      poll->busy = busy[KeyOf(s.address)];
      reports[s.id] = poll->Report();
    }
  }

  Changes changes{system_, {}, {}};
  std::set<int> present;
  for (const Seen& s : seen) {
    present.insert(s.id);
    bool device_wait = false;
    if (s.processing_job > 0 && !turns_.Taken(s.id, s.processing_job)) {
      auto& first = unhanded_[s.id];
      if (first.first != s.processing_job) first = {s.processing_job, now};
      device_wait = s.state == IPP_PSTATE_STOPPED || now - first.second >= kHandOver;
    } else {
      unhanded_.erase(s.id);
    }
    PrinterView view = MakeView(s.address.Text(), reports[s.id], device_wait);
    const std::vector<pappl_supply_t>& supplies = view.report.status.supplies;
    if (!supplies.empty() && !SameSupplies(supplies_set_[s.id], supplies)) {
      changes.supplies[s.id] = supplies_set_[s.id] = supplies;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    const auto old = views_.find(s.id);
    if (old == views_.end() || !(old->second == view)) changes.views[s.id] = {view, s.processing_job};
    views_[s.id] = std::move(view);
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase_if(views_, [&](const auto& v) { return !present.count(v.first); });
    std::erase_if(keys_, [&](const auto& v) { return !present.count(v.first); });
  }
  std::erase_if(unhanded_, [&](const auto& v) { return !present.count(v.first); });
  std::erase_if(supplies_set_, [&](const auto& v) { return !present.count(v.first); });
  if (!changes.views.empty() || !changes.supplies.empty()) {
    papplSystemIteratePrinters(system_, ApplyChanges, &changes);
  }
}

std::optional<PrinterView> CopierWatch::View(int printer_id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto v = views_.find(printer_id);
  if (v == views_.end()) return std::nullopt;
  return v->second;
}

void CopierWatch::Wake(int printer_id) {
  std::shared_ptr<CopierPoll> poll;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto key = keys_.find(printer_id);
    const auto p = key == keys_.end() ? polls_.end() : polls_.find(key->second);
    if (p == polls_.end()) return;
    poll = p->second;
  }
  std::lock_guard<std::mutex> lock(poll->mutex);
  if (Clock::now() - poll->polled >= kWakeAfter) {
    poll->woken = true;
    poll->wake.notify_all();
  }
}

CopierReport CopierWatch::Report(const CopierAddress& address) const {
  std::shared_ptr<CopierPoll> poll;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    poll = PollOf(address);
  }
  if (!poll) return {};
  std::lock_guard<std::mutex> lock(poll->mutex);
  return poll->Report();
}

void CopierWatch::JobPrints(const CopierAddress& address, bool prints) {
  std::shared_ptr<CopierPoll> poll;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    poll = PollOf(address);
  }
  if (!poll) return;
  std::lock_guard<std::mutex> lock(poll->mutex);
  poll->printing = std::max(0, poll->printing + (prints ? 1 : -1));
}

void CopierWatch::JobSaid(const CopierAddress& address, const std::optional<CopierStatus>& status) {
  std::shared_ptr<CopierPoll> poll;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    poll = PollOf(address);
  }
  if (!poll) return;
  std::lock_guard<std::mutex> lock(poll->mutex);
  if (status) {
    poll->pjl = status;
    poll->pjl_of_job = true;
    poll->reach = Reach::kYes;
    poll->heard = std::time(nullptr);
  } else if (poll->pjl_of_job && poll->snmp) {
    // The agent watches the copier while no job does.
    poll->pjl.reset();
  }
}

}  // namespace pclspool::app
