// pclspool as a CUPS driver, end to end: jobs go into a private cupsd with
// lp, through the filter under test to an IPP printer that keeps what it
// receives; each stream is printed with gpcl6 and every sheet checked: the
// pages it shows (the numbered-pages document tells them apart however they
// are placed), the page it should be pixel for pixel, the watermark.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/cups/cups_sandbox.h"
#include "support/render/numbered_pages.h"
#include "support/render/page_compare.h"
#include "support/render/page_image.h"
#include "support/render/print_job.h"
#include "support/render/real_jobs.h"
#include "support/render/renderer.h"
#include "support/test_files.h"

namespace pclspool::cups_test {
namespace {

namespace fs = std::filesystem;
using render::PageImage;
using std::chrono::seconds;
using testing::Count;
using Pages = std::vector<int>;  // the pages a sheet shows

// Enough to tell the numbered pages apart and to see the watermark's dots.
constexpr int kDpi = 50;
constexpr auto kJobTimeout = seconds(30);
constexpr int kJobCompleted = 9;
constexpr int kJobCanceled = 7;
constexpr int kJobStopped = 6;
// The watermark texts of examples/OrvWater.INI.
const std::string kText1 = "CONFIDENTIAL";
const std::string kText2 = "DRAFT";
const std::string kIni = std::string(PCLSPOOL_EXAMPLES) + "/OrvWater.INI";

// Process ids whose environment holds `entry` ("NAME=value"): a job's
// filters, backend and their children, by the TMPDIR cupsd gives them
// (cupsd starts them itself, so they are looked up, never by name).
std::vector<pid_t> ProcessesWith(const std::string& entry) {
  std::vector<pid_t> pids;
  std::error_code ec;
  for (const auto& proc : fs::directory_iterator("/proc", ec)) {
    const std::string name = proc.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    // NUL-separated entries.
    const std::string env = '\0' + testing::ReadFile(proc.path() / "environ") + '\0';
    if (env.find('\0' + entry + '\0') != std::string::npos) pids.push_back(std::stoi(name));
  }
  return pids;
}

// What the machine lacks for the test; empty when nothing.
std::string Missing() {
  if (::geteuid() != 0) {
    return "not root: only a cupsd started as root runs its filters as lp, as CUPS does";
  }
  for (const char* p : {"cupsd", "lp", "lpadmin", "cancel", "ippeveprinter", "dbus-daemon"}) {
    if (!testing::OnPath(p)) {
      return std::string(p) +
             " is missing (packages cups-daemon, cups-client, cups-ipp-utils, cups-filters, "
             "dbus-daemon)";
    }
  }
  if (!fs::exists("/usr/lib/cups/backend/ipp")) return "the CUPS ipp backend is missing";
  return render::MissingRenderTools();
}

std::vector<PageImage> Render(const fs::path& stream) {
  render::PageImages r = render::RenderPages(stream, kDpi);
  EXPECT_EQ(r.error, "");
  return std::move(r.pages);
}

// How a printed sheet differs from the page it should show: ink the page
// has and the sheet lacks, and ink the sheet adds (a watermark).
struct InkDifference {
  long missing = 0;
  long extra = 0;
  render::Box extra_box;
  // The share of the extra box that is inked: a shaded watermark is
  // dotted, so well below 1.
  double ExtraDensity() const {
    return extra_box.Empty() ? 0.0
                             : static_cast<double>(extra) /
                                   (static_cast<double>(extra_box.Width()) * extra_box.Height());
  }
};

InkDifference CompareInk(const PageImage& page, const PageImage& printed) {
  InkDifference d;
  if (page.width != printed.width || page.height != printed.height) {
    d.missing = static_cast<long>(page.pixels.size());
    return d;
  }
  d.extra_box = {page.width, page.height, 0, 0};
  for (int y = 0; y < page.height; ++y) {
    for (int x = 0; x < page.width; ++x) {
      const bool want = page.At(x, y) <= render::kInkLevel;
      const bool got = printed.At(x, y) <= render::kInkLevel;
      if (want && !got) ++d.missing;
      if (got && !want) {
        ++d.extra;
        d.extra_box.left = std::min(d.extra_box.left, x);
        d.extra_box.top = std::min(d.extra_box.top, y);
        d.extra_box.right = std::max(d.extra_box.right, x + 1);
        d.extra_box.bottom = std::max(d.extra_box.bottom, y + 1);
      }
    }
  }
  return d;
}

// The watermark's HP-GL/2 labels: "PA<x>,<y>;LB<one character>!;".
std::size_t CountLabels(const std::string& text) {
  std::size_t n = 0;
  for (std::size_t at = text.find("PA"); at != std::string::npos; at = text.find("PA", at + 1)) {
    std::size_t i = at + 2;
    bool ok = true;
    for (int number = 0; number < 2 && ok; ++number) {
      if (i < text.size() && text[i] == '-') ++i;
      const std::size_t digits = i;
      while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
      ok = i > digits && i < text.size() && text[i] == (number == 0 ? ',' : ';');
      ++i;
    }
    if (ok && text.compare(i, 2, "LB") == 0 && i + 4 < text.size() && text[i + 3] == '!' &&
        text[i + 4] == ';') {
      ++n;
    }
  }
  return n;
}

// A printer that takes the first bytes of a stream and then nothing more
// until it is let go: a FIFO that a file: queue writes into. The job stays
// in the middle of printing, its filter blocked on a full pipe.
class StalledPrinter {
 public:
  explicit StalledPrinter(const std::string& path) : path_(path) {
    if (::mkfifo(path.c_str(), 0600) != 0) return;
    // Open before the job, so that cupsd's open for writing does not wait.
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ >= 0) thread_ = std::thread([this] { Serve(); });
  }
  ~StalledPrinter() {
    release_ = true;
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) ::close(fd_);
    ::unlink(path_.c_str());
  }
  bool ok() const { return fd_ >= 0; }
  long received() const { return received_; }
  void Release() { release_ = true; }

 private:
  void Serve() {
    char buf[4096];
    while (true) {
      if (received_ > 0 && !release_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        continue;
      }
      const ssize_t n = ::read(fd_, buf, sizeof(buf));
      if (n > 0) {
        received_ += n;
      } else if (n == 0 && received_ > 0) {
        return;  // the writer has closed it
      } else {
        if (release_ && received_ == 0) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    }
  }

  std::string path_;
  int fd_ = -1;
  std::atomic<long> received_{0};
  std::atomic<bool> release_{false};
  std::thread thread_;
};

class CupsEndToEnd : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    missing_ = Missing();
    if (!missing_.empty()) return;
    sandbox_ = new CupsSandbox;
    std::string error;
    const SandboxFiles files = {PCLSPOOL_FILTER, PCLSPOOL_PPD, PCLSPOOL_TYPES, kIni};
    if (!sandbox_->Start(files, &error) ||
        !sandbox_->AddQueue("copier", sandbox_->PrinterUri(), &error)) {
      start_error_ = error;
      return;
    }
    // The documents: the bundled sample, and the numbered pages as
    // Ghostscript writes them in PCL 5 and in PDF.
    documents_["sample"] = std::string(PCLSPOOL_EXAMPLES) + "/sample.pcl";
    for (const auto& [name, device, pages] :
         {std::tuple<const char*, const char*, int>{"numbered", "ljet4", 5},
          {"numbered-pdf", "pdfwrite", 5},
          {"long", "ljet4", 9}}) {
      const render::JobFile job = render::GhostscriptJob(device, pages);
      if (!job.error.empty()) {
        start_error_ = job.error;
        return;
      }
      documents_[name] = job.path.string();
    }
    // A long PDF, for Ghostscript to be busy with: the numbered pages over
    // and over.
    const std::string long_pdf = sandbox_->dir() + "/long.pdf";
    std::vector<std::string> gs = {"gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER",
                                   "-sDEVICE=pdfwrite", "-dPageCount=9",
                                   "-sOutputFile=" + long_pdf};
    gs.insert(gs.end(), 30, PCLSPOOL_NUMBERED_PAGES);
    const testing::ProgramRun made = testing::RunProgram({.argv = gs});
    if (!made.Ok()) {
      start_error_ = made.Describe("gs");
      return;
    }
    documents_["long-pdf"] = long_pdf;
    for (const char* name : {"sample", "numbered"}) references_[name] = Render(documents_[name]);
  }

  static void TearDownTestSuite() {
    delete sandbox_;
    sandbox_ = nullptr;
  }

  void SetUp() override {
    PCLSPOOL_REQUIRE(missing_);
    ASSERT_TRUE(start_error_.empty()) << start_error_;
    ASSERT_EQ(references_["sample"].size(), 3u) << "gpcl6 did not print the sample";
  }

  // Submits a document; PCL is named as such for the queue's filter (CUPS
  // would type it raw), PDF goes as CUPS types it.
  int Submit(const std::string& queue, const std::string& title, const std::string& document,
             std::vector<std::string> options) {
    if (documents_[document].ends_with(".pcl")) {
      options.push_back("document-format=application/vnd.cups-pcl");
    }
    std::string error;
    const int id = sandbox_->Submit(queue, title, documents_[document], options, &error);
    EXPECT_GT(id, 0) << error;
    return id;
  }

  // The job's stream as the printer received it, kept in a file.
  fs::path Received(const std::string& title) const {
    const fs::path file = sandbox_->dir() + "/" + title + ".prn";
    std::ofstream(file, std::ios::binary) << sandbox_->Received(title);
    return file;
  }

  std::string Log() const {
    return testing::RunProgram({.argv = {"tail", "-n", "40", sandbox_->error_log()}}).out;
  }

  static inline std::string missing_;
  static inline std::string start_error_;
  static inline CupsSandbox* sandbox_ = nullptr;
  static inline std::map<std::string, std::string> documents_;
  static inline std::map<std::string, std::vector<PageImage>> references_;
};

TEST_F(CupsEndToEnd, JobsPrintAsAsked) {
  struct Case {
    const char* title;
    const char* document;
    std::vector<std::string> options;
    std::vector<int> pages;   // the page each printed sheet shows
    const std::string* text;  // the watermark text, or none
    int pages_in_stream;      // page images the stream holds
  } cases[] = {
      {"plain", "sample", {}, {1, 2, 3}, nullptr, 3},
      {"watermark", "numbered", {"Watermark=1"}, {1, 2, 3, 4, 5}, &kText1, 5},
      // The sample chooses its font once, at its top: the watermark of a
      // page must leave it chosen for the next.
      {"text-and-watermark", "sample", {"Watermark=1"}, {1, 2, 3}, &kText1, 3},
      {"collated",
       "numbered",
       {"-n3", "collate=true", "Watermark=2"},
       {1, 2, 3, 4, 5, 1, 2, 3, 4, 5, 1, 2, 3, 4, 5},
       &kText2,
       15},
      {"collated-by-default", "numbered", {"-n2"}, {1, 2, 3, 4, 5, 1, 2, 3, 4, 5}, nullptr, 10},
      {"uncollated",
       "numbered",
       {"-n2", "collate=false", "Watermark=1"},
       {1, 1, 2, 2, 3, 3, 4, 4, 5, 5},
       &kText1,
       5},
      {"pcl-is-not-placed-again",
       "numbered",
       {"number-up=2", "booklet=on"},
       {1, 2, 3, 4, 5},
       nullptr,
       5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    const int id = Submit("copier", c.title, c.document, c.options);
    const JobStatus status = sandbox_->WaitFinished(id, kJobTimeout);
    ASSERT_EQ(status.state, kJobCompleted) << status.message << "\n" << Log();
    // One PAGE line for each printed side, copies included.
    EXPECT_EQ(status.impressions, static_cast<int>(c.pages.size()));
    // The filter made the copies: the printer was asked for none.
    EXPECT_LE(sandbox_->PrinterCopies(c.title), 1);

    const std::string stream = sandbox_->Received(c.title);
    ASSERT_FALSE(stream.empty()) << "the printer received nothing";
    // The watermark: one HP-GL/2 block with the soft font for every page
    // image, one label for every character.
    const std::size_t blocks = Count(stream, "SP1;DT!;FI16300;SS;");
    const std::size_t labels = CountLabels(stream);
    EXPECT_EQ(blocks, c.text ? static_cast<std::size_t>(c.pages_in_stream) : 0u);
    EXPECT_EQ(labels, c.text ? c.pages_in_stream * c.text->size() : 0u);

    const std::vector<PageImage> sheets = Render(Received(c.title));
    const std::vector<PageImage>& pages = references_[c.document];
    ASSERT_EQ(sheets.size(), c.pages.size());
    for (std::size_t i = 0; i < sheets.size(); ++i) {
      SCOPED_TRACE("sheet " + std::to_string(i + 1));
      if (std::string(c.document) == "numbered") {
        EXPECT_EQ(render::PagesOnSheet(sheets[i]), Pages{c.pages[i]});
      }
      // The page as it prints alone, and the watermark on top of it.
      const InkDifference d = CompareInk(pages[c.pages[i] - 1], sheets[i]);
      EXPECT_EQ(d.missing, 0) << "the sheet does not show page " << c.pages[i];
      if (!c.text) {
        EXPECT_EQ(d.extra, 0);
        continue;
      }
      // Grey glyphs across the middle of the sheet: dotted, not solid (and
      // where they cross a page's own ink, not seen).
      EXPECT_GT(d.extra_box.Width(), sheets[i].width / 5);
      EXPECT_GT(d.extra_box.Height(), sheets[i].height / 8);
      EXPECT_GT(d.ExtraDensity(), 0.01);
      EXPECT_LT(d.ExtraDensity(), 0.5);
    }
  }
}

// What `pclspool print` prints of a document with the given arguments and
// the queue's settings file.
std::vector<PageImage> PrintedByTheCommand(const std::string& document,
                                           std::vector<std::string> args, const fs::path& out) {
  args.insert(args.begin(), {"--ini", kIni});
  render::PageImages r = render::PrintAndRender(args, document, out, kDpi);
  EXPECT_EQ(r.error, "");
  return std::move(r.pages);
}

// PDF through the rendering side: each of lp's options reaches the filter
// and is applied once (CUPS's own filters neither place nor pick pages
// first): every sheet shows the pages it should, the watermark is the text
// asked for. Where pages land on a sheet is the render tests' concern
// (render/rendered_pdf_test.cc); for the options whose effect the pages a
// sheet shows cannot tell (the paper, the orientation, the binding edge),
// the queue prints what the command prints with the settings they stand for.
TEST_F(CupsEndToEnd, PdfJobsPrintAsAsked) {
  struct Case {
    const char* title;
    std::vector<std::string> options;  // lp's
    const std::string* text;           // the watermark text, or none
    std::vector<Pages> sheets;         // the pages each printed sheet shows
    std::vector<std::string> command;  // pclspool print's for the same job; none: not compared
  } cases[] = {
      {"pdf-one-up", {"Watermark=1"}, &kText1, {{1}, {2}, {3}, {4}, {5}}, {}},
      {"pdf-two-up-collated",
       {"-n3", "collate=true", "number-up=2", "Watermark=2"},
       &kText2,
       {{1, 2}, {3, 4}, {5}, {1, 2}, {3, 4}, {5}, {1, 2}, {3, 4}, {5}},
       {}},
      {"pdf-two-up-uncollated",
       {"-n2", "collate=false", "number-up=2"},
       nullptr,
       {{1, 2}, {1, 2}, {3, 4}, {3, 4}, {5}, {5}},
       {}},
      {"pdf-four-up", {"number-up=4", "Watermark=1"}, &kText1, {{1, 2, 3, 4}, {5}}, {}},
      // Five pages on two sheets, the places of pages 6 to 8 blank: the
      // front of the outer sheet 1, its back 2, the inner sheet 3, and 4 5.
      {"pdf-booklet", {"booklet=on", "Watermark=1"}, &kText1, {{1}, {2}, {3}, {4, 5}}, {}},
      {"pdf-booklet-bound-right",
       {"booklet=on", "BindEdge=Right"},
       nullptr,
       {{1}, {2}, {3}, {4, 5}},
       {"--set", "PAPER CODE=1033", "--set", "BOOKLET_STYLE=1"}},
      {"pdf-page-ranges", {"page-ranges=2-3,5"}, nullptr, {{2}, {3}, {5}}, {}},
      {"pdf-letter-landscape",
       {"media=Letter", "orientation-requested=4"},
       nullptr,
       {{1}, {2}, {3}, {4}, {5}},
       {"--set", "PAPER CODE=1", "--set", "XDIMENSION=5100", "--set", "YDIMENSION=6600", "--set",
        "ORIENTATION=2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    const int id = Submit("copier", c.title, "numbered-pdf", c.options);
    const JobStatus status = sandbox_->WaitFinished(id, kJobTimeout);
    ASSERT_EQ(status.state, kJobCompleted) << status.message << "\n" << Log();
    EXPECT_EQ(status.impressions, static_cast<int>(c.sheets.size()));
    EXPECT_LE(sandbox_->PrinterCopies(c.title), 1);
    // Every page's watermark block labels each character of the text once.
    const std::string stream = sandbox_->Received(c.title);
    const std::size_t blocks = Count(stream, "SP1;DT!;FI16300;SS;");
    EXPECT_EQ(blocks > 0, c.text != nullptr);
    EXPECT_EQ(CountLabels(stream), c.text ? blocks * c.text->size() : 0u);

    const std::vector<PageImage> sheets = Render(Received(c.title));
    ASSERT_EQ(sheets.size(), c.sheets.size());
    for (std::size_t i = 0; i < sheets.size(); ++i) {
      EXPECT_EQ(render::PagesOnSheet(sheets[i]), c.sheets[i]) << "sheet " << i + 1;
    }
    if (c.command.empty()) continue;
    const std::vector<PageImage> want = PrintedByTheCommand(
        documents_["numbered-pdf"], c.command, sandbox_->dir() + "/" + c.title + ".command.prn");
    ASSERT_EQ(sheets.size(), want.size());
    for (std::size_t i = 0; i < sheets.size(); ++i) {
      EXPECT_EQ(render::ComparePages(want[i], sheets[i]).pixels, 0u)
          << "sheet " << i + 1 << " is not what the command prints";
    }
  }
}

TEST_F(CupsEndToEnd, AJobForAMissingWatermarkTextFails) {
  // The sample settings file has two texts.
  const int id = Submit("copier", "no-such-text", "sample", {"Watermark=3"});
  const JobStatus status = sandbox_->WaitFinished(id, kJobTimeout);
  // CUPS stops a job whose filter fails.
  EXPECT_EQ(status.state, kJobStopped);
  EXPECT_NE(status.message.find("watermark=3:"), std::string::npos) << status.message;
  EXPECT_NE(status.message.find("has no such text"), std::string::npos) << status.message;
  EXPECT_EQ(sandbox_->Received("no-such-text"), "");
  sandbox_->Client({"cancel", std::to_string(id)});
}

TEST_F(CupsEndToEnd, ACancelledJobLeavesNothingBehind) {
  const std::string fifo = sandbox_->dir() + "/stalled.fifo";
  std::string error;
  ASSERT_TRUE(sandbox_->AddQueue("stalled", "file://" + fifo, &error)) << error;
  const std::string job_env = "TMPDIR=" + sandbox_->temp_dir();
  struct Case {
    const char* title;
    const char* document;
    std::vector<std::string> options;
    bool page_files;  // whether the job is sending copies from page files when cancelled
  } cases[] = {
      // Every page is stored first, then the copies are sent from the page
      // files until the printer stops taking them.
      {"cancelled-copies", "long", {"-n99", "collate=true", "Watermark=1"}, true},
      // Ghostscript renders page after page while the printer takes no more.
      {"cancelled-rendering", "long-pdf", {"Watermark=1"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    StalledPrinter printer(fifo);
    ASSERT_TRUE(printer.ok());
    const int id = Submit("stalled", c.title, c.document, c.options);
    const auto deadline = std::chrono::steady_clock::now() + kJobTimeout;
    while (printer.received() == 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_GT(printer.received(), 0) << Log();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_FALSE(ProcessesWith(job_env).empty()) << "the job is not printing";
    bool page_files = false;
    for (const auto& e : fs::recursive_directory_iterator(sandbox_->temp_dir())) {
      page_files |= e.path().filename().string().rfind("Orv", 0) == 0;
    }
    EXPECT_EQ(page_files, c.page_files);

    const testing::ProgramRun cancel = sandbox_->Client({"cancel", std::to_string(id)});
    ASSERT_EQ(cancel.status, 0) << cancel.out;
    EXPECT_EQ(sandbox_->WaitFinished(id, kJobTimeout).state, kJobCanceled);
    // No filter, no Ghostscript, nothing of the job runs on.
    const auto gone = std::chrono::steady_clock::now() + seconds(10);
    while (!ProcessesWith(job_env).empty() && std::chrono::steady_clock::now() < gone) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(ProcessesWith(job_env).empty()) << "a process of the job still runs";
    for (const auto& e : fs::recursive_directory_iterator(sandbox_->temp_dir())) {
      ADD_FAILURE() << "left behind: " << e.path();
    }
    printer.Release();
  }

  // The queue goes on with the next job.
  const int next = Submit("copier", "after-cancel", "sample", {"Watermark=2"});
  EXPECT_EQ(sandbox_->WaitFinished(next, kJobTimeout).state, kJobCompleted) << Log();
  EXPECT_EQ(Count(sandbox_->Received("after-cancel"), "SP1;DT!;FI16300;SS;"), 3u);
}

// Everyday jobs: what CUPS turns into PDF before the filter (text, banner
// pages, images), orientation, sides chosen and ordered, several
// documents, and a document that cannot be printed. Where CUPS's own chain
// (pdftopdf with the queue's PPD, then Ghostscript's ljet4) prints the job
// right, every sheet shows the pages where and how that chain does: the
// reverse orientations, the sides chosen and ordered, the layouts.
TEST_F(CupsEndToEnd, EverydayJobs) {
  const std::string dir = sandbox_->dir();
  std::ofstream(dir + "/notes.txt") << "Notes\n\nfirst line\nsecond line\n";
  std::ofstream(dir + "/broken.pdf") << "%PDF-1.4\n1 0 obj << /Type /Catalog >>\n";
  const std::string pdf = documents_["numbered-pdf"];
  const auto gs = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE"});
    args.push_back(PCLSPOOL_NUMBERED_PAGES);
    ASSERT_EQ(testing::RunProgram({.argv = args}).status, 0);
  };
  gs({"-sDEVICE=pdfwrite", "-dPageCount=3", "-sOutputFile=" + dir + "/a.pdf"});
  gs({"-sDEVICE=pdfwrite", "-dPageCount=2", "-sOutputFile=" + dir + "/b.pdf"});
  gs({"-sDEVICE=png16m", "-r30", "-dPageCount=1", "-sOutputFile=" + dir + "/photo.png"});
  // Landscape pages, the numbered pages lying on them with their tops at
  // the right.
  gs({"-sDEVICE=pdfwrite", "-dPageCount=2", "-dAutoRotatePages=/None",
      "-sOutputFile=" + dir + "/wide.pdf", "-c",
      "<</PageSize [842 595] /Install {0 595 translate -90 rotate}>> setpagedevice", "-f"});

  struct Case {
    const char* title;
    std::vector<std::string> files;  // under the sandbox's directory, or the numbered PDF
    std::vector<std::string> options;
    std::vector<std::string> sheets;  // LayoutOfSheet of each, "*" for one with ink but no page
    const char* message;              // the job fails with this, or completes (null)
  } cases[] = {
      {"text", {"notes.txt"}, {}, {"*"}, nullptr},
      {"banner", {""}, {"job-sheets=standard"}, {"*", "1@0", "2@0", "3@0", "4@0", "5@0"}, nullptr},
      {"png-copies", {"photo.png"}, {"-n2"}, {"1@0", "1@0"}, nullptr},
      // Portrait pages printed landscape stand upright (CUPS's chain prints
      // them upside down).
      {"landscape", {""}, {"orientation-requested=4"}, {"1@0", "2@0", "3@0", "4@0", "5@0"}, nullptr},
      {"reverse-portrait", {""}, {"orientation-requested=6"}, {"1@2", "2@2", "3@2", "4@2", "5@2"}, nullptr},
      {"wide-landscape", {"wide.pdf"}, {"orientation-requested=4"}, {"1@0", "2@0"}, nullptr},
      {"wide-reverse-landscape", {"wide.pdf"}, {"orientation-requested=5"}, {"1@2", "2@2"}, nullptr},
      {"odd-sides-two-up", {""}, {"number-up=2", "page-set=odd"}, {"2@1 1@1", "5@1"}, nullptr},
      {"reversed-two-up", {""}, {"number-up=2", "outputorder=reverse"}, {"5@1", "4@1 3@1", "2@1 1@1"}, nullptr},
      {"four-up-columns", {""}, {"number-up=4", "number-up-layout=tblr", "page-border=single"}, {"1@0 3@0 2@0 4@0", "5@0"}, nullptr},
      {"documents-collated", {"a.pdf", "b.pdf"}, {"-n2", "collate=true"},
       {"1@0", "2@0", "3@0", "1@0", "2@0", "1@0", "2@0", "3@0", "1@0", "2@0"}, nullptr},
      // Uncollated documents are uncollated copies, as CUPS sends Collate
      // off; with collated copies asked, each document's whole copies.
      {"documents-uncollated", {"a.pdf", "b.pdf"}, {"-n2", "multiple-document-handling=separate-documents-uncollated-copies"},
       {"1@0", "1@0", "2@0", "2@0", "3@0", "3@0", "1@0", "1@0", "2@0", "2@0"}, nullptr},
      {"documents-uncollated-collated", {"a.pdf", "b.pdf"}, {"-n2", "collate=true", "multiple-document-handling=separate-documents-uncollated-copies"},
       {"1@0", "2@0", "3@0", "1@0", "2@0", "3@0", "1@0", "2@0", "1@0", "2@0"}, nullptr},
      {"damaged", {"broken.pdf"}, {}, {}, "damaged: the PDF is damaged or cut short"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    std::vector<std::string> files;
    for (const std::string& f : c.files) files.push_back(f.empty() ? pdf : dir + "/" + f);
    std::string error;
    const int id = sandbox_->Submit("copier", c.title, files, c.options, &error);
    ASSERT_GT(id, 0) << error;
    const JobStatus status = sandbox_->WaitFinished(id, kJobTimeout);
    if (c.message) {
      EXPECT_EQ(status.state, kJobStopped);
      EXPECT_NE(status.message.find(c.message), std::string::npos) << status.message;
      EXPECT_EQ(status.message.find("/d0"), std::string::npos) << "names the spool file";
      sandbox_->Client({"cancel", std::to_string(id)});
      continue;
    }
    ASSERT_EQ(status.state, kJobCompleted) << status.message << "\n" << Log();
    const std::vector<PageImage> sheets = Render(Received(c.title));
    ASSERT_EQ(sheets.size(), c.sheets.size());
    for (std::size_t i = 0; i < sheets.size(); ++i) {
      SCOPED_TRACE("sheet " + std::to_string(i + 1));
      const std::string layout = render::LayoutOfSheet(sheets[i]);
      if (c.sheets[i] == "*") {
        EXPECT_EQ(layout, "");
        EXPECT_FALSE(render::InkBox(sheets[i]).Empty()) << "a blank sheet";
      } else {
        EXPECT_EQ(layout, c.sheets[i]);
      }
    }
  }
}

}  // namespace
}  // namespace pclspool::cups_test
