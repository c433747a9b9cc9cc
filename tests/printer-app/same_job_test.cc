// The same job on every road: every option of the catalogue
// (runner/job_catalogue.h) and a few combinations, each in its own road's
// spelling, through the command (its flags), the CUPS filter as cupsd
// runs it (copies and options in its arguments, the queue's PPD, the
// administrator's settings file under CUPS_SERVERROOT) and the printer
// application (ipptool, on a printer of its own where a preset stands for
// the dialog). The printer streams are the same byte for byte; nothing in
// them is masked (Mask below names what would be, and why).
//
// Where a road cannot take a case, the case says so:
// - several documents: PAPPL 1.3.1 takes one document a job
//   (multiple-document-jobs-supported is false); cupsd runs the filter
//   once for each document, the first run printing collated copies of
//   them all.
// - an image: the command takes none, and CUPS makes a PDF of it
//   (imagetopdf) before the filter as the app does before the runner: the
//   command and the filter get the PDF made here as the app makes it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app_fixture.h"
#include "documents.h"
#include "runner/job_catalogue.h"
#include "support/child_process.h"

namespace pclspool::apptest {
namespace {

namespace fs = std::filesystem;

// The job's number on the filter's road, in its spool files' names.
constexpr char kCupsJob[] = "12";

struct Case {
  const char* name;
  std::vector<std::string> command;  // the command's flags
  std::string copies;                // the filter's copies argument
  std::string cups;                  // the filter's options argument
  std::vector<std::string> ipp;      // the job's attributes as ipptool's ATTR takes them
  const char* printer = "copier";    // the app's printer
};

// A field of a printer stream that may differ from road to road, and is
// replaced before the streams are compared. None has been needed: the
// module writes no job name or time, and the job's number (1 for the
// command, 12 for the filter, the app's own) names only its page files.
struct Mask {
  const char* field;
  std::string (*apply)(std::string stream);
};
constexpr Mask kMasks[] = {{"nothing", [](std::string s) { return s; }}};

std::string Masked(std::string stream) {
  for (const Mask& m : kMasks) stream = m.apply(std::move(stream));
  return stream;
}

// Where two streams first differ, for the message.
std::string Difference(const std::string& a, const std::string& b, const char* road) {
  if (a == b) return "";
  std::size_t at = 0;
  while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
  const auto show = [at](const std::string& s) {
    std::string out;
    for (const char c : s.substr(at, 40)) out += c >= ' ' && c < 127 ? c : '.';
    return out;
  };
  return std::string(road) + " differs from the command at byte " + std::to_string(at) + " of " +
         std::to_string(a.size()) + "/" + std::to_string(b.size()) + ": '" + show(a) +
         "' against '" + show(b) + "'";
}

class SameJobTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    std::string error;
    ASSERT_TRUE(server_.AddPrinter("copier-booklet", {"booklet-default=right"}, &error)) << error;
    ASSERT_TRUE(server_.AddPrinter("copier-confidential", {"watermark-default=confidential"},
                                   &error))
        << error;
    fs::create_directories(dir_ / "root" / "pclspool");
    fs::copy_file(ini_, dir_ / "root" / "pclspool" / "OrvWater.INI");
  }

  std::string Command(const std::string& name, const std::vector<std::string>& flags,
                      const std::vector<fs::path>& documents) {
    const fs::path out = dir_ / (name + "-command.prn");
    std::vector<std::string> argv = {PCLSPOOL_CLI_PATH, "print", "--ini", ini_.string()};
    argv.insert(argv.end(), flags.begin(), flags.end());
    for (const fs::path& d : documents) argv.push_back(d.string());
    argv.insert(argv.end(), {"-o", out.string()});
    const testing::ProgramRun run = testing::RunProgram({.argv = argv, .dir = dir_.path()});
    EXPECT_TRUE(run.Ok()) << run.Describe("pclspool print");
    return Read(out);
  }

  // cupsd's runs of the filter, one for each document, from its spool
  // files d<job>-<n>.
  std::string Filter(const std::string& name, const Case& c, const std::vector<fs::path>& documents,
                     const std::string& content_type) {
    const fs::path spool = dir_ / ("spool-" + name);
    fs::create_directories(spool);
    // cupsd holds a job until its last document has come.
    std::vector<std::string> files;
    for (std::size_t i = 0; i < documents.size(); ++i) {
      char file[32];
      std::snprintf(file, sizeof(file), "d%05d-%03zu", std::atoi(kCupsJob), i + 1);
      fs::copy_file(documents[i], spool / file);
      files.emplace_back(file);
    }
    std::string stream;
    for (const std::string& file : files) {
      const fs::path out = spool / (file + ".prn");
      const testing::ProgramRun run = testing::RunProgram(
          {.argv = {"copier", kCupsJob, "alice", name, c.copies.empty() ? "1" : c.copies, c.cups,
                    (spool / file).string()},
           .path = PCLSPOOL_FILTER_PATH,
           .env = {std::string("PPD=") + PCLSPOOL_PPD,
                   "CUPS_SERVERROOT=" + (dir_ / "root").string(), "CONTENT_TYPE=" + content_type},
           .out = testing::Output::File(out)});
      EXPECT_TRUE(run.Ok()) << run.Describe("pclspool-filter");
      stream += Read(out);
    }
    return stream;
  }

  std::string App(const std::string& name, const Case& c, const DocumentFile& document) {
    const IppJobResult r = Print({name, document.path, document.format, c.ipp, true}, c.printer);
    EXPECT_EQ(r.state, "completed") << r.output;
    return Read(Output(name, c.printer));
  }

  // Compares the roads' streams; `app` false leaves the app out. Returns
  // the command's.
  std::string Compare(const Case& c, const std::vector<fs::path>& documents, const DocumentFile& app_doc,
               bool app, const std::string& content_type = "application/pdf") {
    SCOPED_TRACE(c.name);
    const std::string command = Masked(Command(c.name, c.command, documents));
    EXPECT_GT(command.size(), 1000u);
    EXPECT_EQ(Difference(Masked(Filter(c.name, c, documents, content_type)), command, "the filter"),
              "");
    if (app) {
      EXPECT_EQ(Difference(Masked(App(c.name, c, app_doc)), command, "the app"), "");
    }
    return command;
  }
};

TEST_F(SameJobTest, EveryOptionOfTheCatalogue) {
  const Case cases[] = {
      // A job option makes the command's job a ticket's, as every job of
      // the filter and the app is (without one, the command prints as
      // the settings file says, a spooler's settings).
      {"defaults", {"--copies", "1"}, "", "", {}},
      {"copies", {"--copies", "2"}, "2", "", {"integer copies 2"}},
      {"uncollated-copies", {"--copies", "2", "--collate", "no"}, "2", "collate=false",
       {"integer copies 2",
        "keyword multiple-document-handling separate-documents-uncollated-copies"}},
      {"paper", {"--paper", "letter"}, "", "media=Letter", {"keyword media na_letter_8.5x11in"}},
      {"sides", {"--sides", "two-sided-long-edge"}, "", "sides=two-sided-long-edge",
       {"keyword sides two-sided-long-edge"}},
      {"landscape", {"--orientation", "landscape"}, "", "landscape",
       {"enum orientation-requested 4"}},
      {"reverse-portrait-a3", {"--orientation", "reverse-portrait", "--paper", "a3"}, "",
       "orientation-requested=6 PageSize=A3",
       {"enum orientation-requested 6", "keyword media iso_a3_297x420mm"}},
      {"four-up-columns-framed",
       {"--number-up", "4", "--number-up-layout", "tblr", "--page-border"}, "",
       "number-up=4 number-up-layout=tblr page-border=double",
       {"integer number-up 4", "keyword number-up-layout tblr", "keyword page-border single"}},
      {"even-sides", {"--page-set", "even"}, "", "page-set=even", {"keyword page-set even"}},
      {"reverse-order", {"--reverse-order"}, "", "outputorder=reverse",
       {"keyword output-order reverse"}},
      {"booklet-right", {"--booklet", "right"}, "", "Booklet=On BindEdge=Right", {},
       "copier-booklet"},
      {"booklet-maker", {"--booklet", "left"}, "", "finishings=13", {"enum finishings 13"}},
      {"watermark", {"--watermark", "2"}, "", "Watermark=2", {"keyword watermark draft"}},
      {"preset-watermark", {"--watermark", "1"}, "", "Watermark=1", {}, "copier-confidential"},
      {"page-ranges", {"--page-ranges", "2-3"}, "", "page-ranges=2-3",
       {"rangeOfInteger page-ranges 2-3"}},
      // Asked, and left out on every road.
      {"not-applied", {"--copies", "1"}, "", "mirror print-scaling=fill finishings=20,78",
       {"keyword print-scaling fill", "enum finishings 20,78"}},
  };
  const DocumentFile doc = Document(Kind::kPdf, 6);
  ASSERT_EQ(doc.error, "");
  // Every entry of the catalogue is asked for on some road.
  for (const runner::JobOption& o : runner::JobCatalogue()) {
    bool asked = false;
    for (const Case& c : cases) {
      std::string words = " " + c.cups + " ";
      for (const std::string& w : c.command) words += w + " ";
      for (const std::string& a : c.ipp) words += a + " ";
      for (std::string_view names : {o.name, o.cups, o.ppd, o.flag}) {
        for (std::size_t at = 0; at < names.size();) {
          const std::string_view name = names.substr(at, names.find(' ', at) - at);
          at += name.size() + 1;
          asked = asked || (!name.empty() && (words.find(" " + std::string(name) + " ") !=
                                                   std::string::npos ||
                                               words.find(" " + std::string(name) + "=") !=
                                                   std::string::npos));
        }
      }
    }
    EXPECT_TRUE(asked) << o.name << " is not asked for";
  }
  std::vector<std::string> streams;
  for (const Case& c : cases) streams.push_back(Compare(c, {doc.path}, doc, true));
  // Each option asked prints otherwise; what is left out prints nothing else.
  for (std::size_t i = 1; i + 1 < streams.size(); ++i) {
    EXPECT_NE(streams[i], streams[0]) << cases[i].name << " prints as the defaults";
  }
  EXPECT_EQ(streams.back(), streams[0]);
}

TEST_F(SameJobTest, Combinations) {
  const DocumentFile doc = Document(Kind::kPdf, 6);
  const DocumentFile other = Document(Kind::kPdf, 3);
  const DocumentFile image = Document(Kind::kJpeg, 1);
  ASSERT_EQ(doc.error + other.error + image.error, "");
  Compare({"two-up-odd-reversed-watermarked",
           {"--number-up", "2", "--page-set", "odd", "--reverse-order", "--watermark", "1"}, "",
           "number-up=2 page-set=odd OutputOrder=Reverse Watermark=1",
           {"integer number-up 2", "keyword page-set odd", "keyword output-order reverse",
            "keyword watermark confidential"}},
          {doc.path}, doc, true);
  Compare({"booklet-copies-watermarked", {"--booklet", "left", "--copies", "2", "--watermark", "2"},
           "2", "booklet=true Watermark=2",
           {"keyword booklet left", "integer copies 2", "keyword watermark draft"}},
          {doc.path}, doc, true);
  // Two documents: no app road (PAPPL 1.3.1 takes one document a job).
  Compare({"documents-collated", {"--copies", "2"}, "2", "", {}}, {doc.path, other.path}, doc,
          false);
  Compare({"documents-uncollated", {"--copies", "2", "--documents", "uncollated"}, "2",
           "multiple-document-handling=separate-documents-uncollated-copies", {}},
          {doc.path, other.path}, doc, false);

  // An image: its PDF as the app makes it (imagetopdf with the job's paper
  // and scaling), for the command and for the filter after CUPS's
  // imagetopdf.
  const fs::path pdf = dir_ / "image.pdf";
  const testing::ProgramRun made = testing::RunProgram(
      {.argv = {"/usr/lib/cups/filter/imagetopdf", "1", "ipp", "document", "1",
                "media=iso_a4_210x297mm print-scaling=fill", image.path.string()},
       .out = testing::Output::File(pdf)});
  ASSERT_TRUE(made.Ok()) << made.Describe("imagetopdf");
  const Case picture = {"image-filled-watermarked", {"--watermark", "1"}, "",
                        "print-scaling=fill Watermark=1",
                        {"keyword print-scaling fill", "keyword watermark confidential"}};
  const std::string command = Command(picture.name, picture.command, {pdf});
  EXPECT_EQ(Difference(Filter(picture.name, picture, {pdf}, "image/jpeg"), command, "the filter"),
            "");
  EXPECT_EQ(Difference(App(picture.name, picture, image), command, "the app"), "");
}

}  // namespace
}  // namespace pclspool::apptest
