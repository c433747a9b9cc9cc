// The printer application's benchmark, both measurements in one run:
//
// 1. 10 collated copies of a 20-page PDF (bench/cups/report.ps) submitted
//    over IPP to the app, from Print-Job to the job's completion, against
//    the same job through CUPS's standard chain for a PCL 5 printer
//    (pdftopdf making the copies, Ghostscript's ljet4 rendering each; the
//    queue of bench/cups) in a private cupsd; ours and the baseline's in
//    turn, best of n. Goal: at least 5 times faster.
// 2. For a 100-page PDF, the time from Print-Job to the first byte at the
//    app's device (a socket the benchmark listens on), against Ghostscript
//    alone making the first page (ljet4 at 600 dpi, -dLastPage=1).
//
//   pclspool_app_bench [--runs=N] [--copies=N] [--pages=N]
//
// Needs root for the private cupsd (it runs its filters as lp only then).
#include <arpa/inet.h>
#include <cups/cups.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/cups/cups_sandbox.h"
#include "support/child_process.h"
#include "support/gpcl6.h"
#include "support/loopback_port.h"

namespace pclspool::bench {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using cups_test::CupsSandbox;

struct Options {
  int runs = 3;
  int copies = 10;
  int pages = 20;
  int long_pages = 100;
};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The app as a server of the benchmark's own.
class App {
 public:
  bool Start(const fs::path& dir, std::string* error) {
    port_ = testing::FreeLoopbackPort();
    fs::create_directories(dir / "state");
    fs::copy_file(PCLSPOOL_INI, dir / "state" / "OrvWater.INI", fs::copy_options::overwrite_existing);
    // Its own name, so that its domain socket is its own too.
    program_ = dir / "pclspool-app-bench";
    fs::create_symlink(PCLSPOOL_PRINTER_APP, program_);
    server_ = testing::ChildProcess(
        {.argv = {program_.string(), "server", "-o", "state-directory=" + (dir / "state").string(),
                  "-o", "listen-hostname=127.0.0.1", "-o", "server-port=" + std::to_string(port_),
                  "-o", "dnssd=off", "-o", "log-level=warn", "-o",
                  "log-file=" + (dir / "app.log").string()},
         .out = testing::Output::File(dir / "app.out"),
         .err = testing::Output::Stdout()});
    for (int i = 0; i < 300; ++i) {
      if (http_t* h = httpConnect2("127.0.0.1", port_, nullptr, AF_INET, HTTP_ENCRYPTION_IF_REQUESTED,
                                   1, 1000, nullptr)) {
        httpClose(h);
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    *error = "the app did not start (" + (dir / "app.out").string() + ")";
    return false;
  }
  ~App() {
    server_.Stop(std::chrono::seconds(90));
    std::error_code ec;
    fs::remove("/run/" + program_.filename().string() + ".sock", ec);
  }
  bool AddPrinter(const std::string& name, const std::string& device, std::string* error) const {
    const testing::ProgramRun r = testing::RunProgram(
        {.argv = {program_.string(), "add", "-d", name, "-m", "pclspool", "-v", device},
         .err = testing::Output::Stdout()});
    if (r.status != 0) *error = r.out;
    return r.status == 0;
  }
  // Print-Job; the job id, or -1.
  int Submit(const std::string& printer, const std::string& pdf, int copies) const {
    http_t* http = httpConnect2("127.0.0.1", port_, nullptr, AF_INET, HTTP_ENCRYPTION_IF_REQUESTED, 1,
                                30000, nullptr);
    if (!http) return -1;
    const std::string uri = Uri(printer);
    ipp_t* req = ippNewRequest(IPP_OP_PRINT_JOB);
    ippAddString(req, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    ippAddString(req, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, "bench");
    ippAddString(req, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, "application/pdf");
    ippAddInteger(req, IPP_TAG_JOB, IPP_TAG_INTEGER, "copies", copies);
    ippAddString(req, IPP_TAG_JOB, IPP_TAG_KEYWORD, "multiple-document-handling", nullptr,
                 "separate-documents-collated-copies");
    ippAddString(req, IPP_TAG_JOB, IPP_TAG_KEYWORD, "watermark", nullptr, "confidential");
    ipp_t* resp = cupsDoFileRequest(http, req, ("/ipp/print/" + printer).c_str(), pdf.c_str());
    const int id = ippGetInteger(ippFindAttribute(resp, "job-id", IPP_TAG_INTEGER), 0);
    ippDelete(resp);
    httpClose(http);
    return id > 0 ? id : -1;
  }
  // Polls the job until it has ended; its job-state.
  int Wait(const std::string& printer, int id) const {
    http_t* http = httpConnect2("127.0.0.1", port_, nullptr, AF_INET, HTTP_ENCRYPTION_IF_REQUESTED, 1,
                                30000, nullptr);
    int state = 0;
    for (const auto until = Clock::now() + std::chrono::minutes(10); http && Clock::now() < until;) {
      ipp_t* req = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
      ippAddString(req, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, Uri(printer).c_str());
      ippAddInteger(req, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", id);
      ippAddString(req, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, "bench");
      ipp_t* resp = cupsDoRequest(http, req, ("/ipp/print/" + printer).c_str());
      state = ippGetInteger(ippFindAttribute(resp, "job-state", IPP_TAG_ENUM), 0);
      ippDelete(resp);
      if (state >= IPP_JSTATE_CANCELED) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (http) httpClose(http);
    return state;
  }

 private:
  std::string Uri(const std::string& printer) const {
    return "ipp://127.0.0.1:" + std::to_string(port_) + "/ipp/print/" + printer;
  }
  fs::path program_;
  int port_ = 0;
  testing::ChildProcess server_;
};

// A printer on a socket that notes when the first byte of each
// connection comes.
class FirstByte {
 public:
  FirstByte() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(a);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    ::listen(fd_, 4);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~FirstByte() {
    done_ = true;
    thread_.join();
    ::close(fd_);
  }
  std::string Uri() const { return "socket://127.0.0.1:" + std::to_string(port_); }
  // Forgets the last first byte.
  void Reset() { first_ = 0; }
  // When the first byte came since Reset, as steady_clock ticks; 0: none.
  Clock::rep First() const { return first_; }

 private:
  void Run() {
    int conn = -1;
    char block[65536];
    while (!done_) {
      pollfd p{conn >= 0 ? conn : fd_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      if (conn < 0) {
        conn = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        continue;
      }
      const ssize_t n = ::read(conn, block, sizeof(block));
      if (n > 0 && first_ == 0) first_ = Clock::now().time_since_epoch().count();
      if (n <= 0) {
        ::close(conn);
        conn = -1;
      }
    }
  }
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> done_{false};
  std::atomic<Clock::rep> first_{0};
  std::thread thread_;
};

bool MakePdf(const std::string& pdf, int pages) {
  const testing::ProgramRun gs = testing::RunProgram(
      {.argv = {"gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=pdfwrite",
       "-dPAGES=" + std::to_string(pages), "-sOutputFile=" + pdf, PCLSPOOL_REPORT}});
  if (gs.status != 0) std::fprintf(stderr, "gs: %s\n", gs.err.c_str());
  return gs.status == 0;
}

int Sheets(const std::string& stream) {
  const std::string gpcl6 = testing::Gpcl6Path();
  if (gpcl6.empty()) return -1;
  const fs::path dir = stream + ".sheets";
  fs::create_directories(dir);
  const testing::ProgramRun r = testing::RunProgram(
      {.argv = {gpcl6, "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=pbmraw", "-r10",
       "-sOutputFile=" + (dir / "%05d.pbm").string(), stream}});
  const auto n = r.status == 0 ? std::distance(fs::directory_iterator(dir), fs::directory_iterator()) : -1;
  fs::remove_all(dir);
  return static_cast<int>(n);
}

double Best(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }
double Worst(const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); }

int Run(const Options& o) {
  if (::geteuid() != 0) {
    std::fprintf(stderr, "pclspool_app_bench: run it as root (the private cupsd needs it)\n");
    return 2;
  }
  CupsSandbox cups;
  std::string error;
  if (!cups.Start({PCLSPOOL_FILTER, PCLSPOOL_PPD, PCLSPOOL_TYPES, PCLSPOOL_INI}, &error) ||
      !cups.AddFilter(PCLSPOOL_BASELINE_FILTER, &error) ||
      !cups.AddQueue("baseline", "file://" + cups.dir() + "/baseline.prn", &error,
                     PCLSPOOL_BASELINE_PPD)) {
    std::fprintf(stderr, "pclspool_app_bench: cupsd: %s\n", error.c_str());
    return 1;
  }
  const fs::path dir = fs::path(cups.dir()) / "app";
  App app;
  FirstByte socket_printer;
  fs::create_directories(dir / "out");
  if (!app.Start(dir, &error) || !app.AddPrinter("copier", "file://" + (dir / "out").string(), &error) ||
      !app.AddPrinter("socket", socket_printer.Uri(), &error)) {
    std::fprintf(stderr, "pclspool_app_bench: %s\n", error.c_str());
    return 1;
  }
  const std::string pdf = cups.dir() + "/report.pdf";
  const std::string long_pdf = cups.dir() + "/long.pdf";
  if (!MakePdf(pdf, o.pages) || !MakePdf(long_pdf, o.long_pages)) return 1;

  // 1. Collated copies, in turn.
  std::vector<double> ours, base;
  for (int run = 0; run < o.runs; ++run) {
    auto start = Clock::now();
    const int id = app.Submit("copier", pdf, o.copies);
    if (id < 0 || app.Wait("copier", id) != IPP_JSTATE_COMPLETED) {
      std::fprintf(stderr, "the app's job failed (%s)\n", (dir / "app.log").c_str());
      return 1;
    }
    ours.push_back(Seconds(Clock::now() - start));
    start = Clock::now();
    const int bid = cups.Submit("baseline", "baseline-" + std::to_string(run), pdf,
                                {"-n" + std::to_string(o.copies), "collate=true"}, &error);
    if (bid < 0 || cups.WaitFinished(bid, std::chrono::seconds(600)).state != IPP_JSTATE_COMPLETED) {
      std::fprintf(stderr, "the baseline's job failed: %s\n", error.c_str());
      return 1;
    }
    base.push_back(Seconds(Clock::now() - start));
  }
  std::string last_ours;
  for (const auto& e : fs::directory_iterator(dir / "out")) last_ours = e.path().string();
  const int sheets_ours = Sheets(last_ours);
  const int sheets_base = Sheets(cups.dir() + "/baseline.prn");

  // 2. The first byte of a long job, against Ghostscript's first page.
  std::vector<double> first, gs_first;
  for (int run = 0; run < o.runs; ++run) {
    socket_printer.Reset();
    const auto start = Clock::now();
    const int id = app.Submit("socket", long_pdf, 1);
    if (id < 0 || app.Wait("socket", id) != IPP_JSTATE_COMPLETED || socket_printer.First() == 0) {
      std::fprintf(stderr, "the app's long job failed\n");
      return 1;
    }
    first.push_back(Seconds(Clock::duration(socket_printer.First()) - start.time_since_epoch()));
    const auto gs_start = Clock::now();
    const testing::ProgramRun gs = testing::RunProgram(
        {.argv = {"gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=ljet4", "-r600", "-dFirstPage=1",
         "-dLastPage=1", "-sOutputFile=/dev/null", long_pdf}});
    if (gs.status != 0) return 1;
    gs_first.push_back(Seconds(Clock::now() - gs_start));
  }

  std::printf("| measurement (best of %d)                                 | ours     | baseline | ratio | goal   |\n", o.runs);
  std::printf("|----------------------------------------------------------|----------|----------|-------|--------|\n");
  std::printf("| %2d collated copies of a %d-page PDF, Print-Job to done   | %6.2f s | %6.2f s | %5.2f | >= 5   |\n",
              o.copies, o.pages, Best(ours), Best(base), Best(base) / Best(ours));
  std::printf("| %d-page PDF: first byte at the device / gs first page   | %6.3f s | %6.3f s | %5.2f | -      |\n",
              o.long_pages, Best(first), Best(gs_first), Best(gs_first) / Best(first));
  std::printf("\nworst: copies ours %.2f s, baseline %.2f s; first byte %.3f s, gs first page %.3f s\n",
              Worst(ours), Worst(base), Worst(first), Worst(gs_first));
  std::printf("sheets printed by the last copies job: ours %d, baseline %d (of %d)\n", sheets_ours,
              sheets_base, o.copies * o.pages);
  return sheets_ours >= 0 && sheets_ours != o.copies * o.pages ? 1 : 0;
}

}  // namespace
}  // namespace pclspool::bench

int main(int argc, char** argv) {
  pclspool::bench::Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--runs=", 0) == 0) o.runs = std::atoi(a.c_str() + 7);
    else if (a.rfind("--copies=", 0) == 0) o.copies = std::atoi(a.c_str() + 9);
    else if (a.rfind("--pages=", 0) == 0) o.pages = std::atoi(a.c_str() + 8);
    else {
      std::fprintf(stderr, "usage: pclspool_app_bench [--runs=N] [--copies=1..99] [--pages=N]\n");
      return 2;
    }
  }
  if (o.runs < 1 || o.copies < 1 || o.copies > 99 || o.pages < 1) return 2;
  return pclspool::bench::Run(o);
}
