#include "pcl/pcl_scanner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/scratch_dir.h"

namespace pclspool::pcl {
namespace {

struct Event {
  PclEventKind kind;
  std::string bytes;
  bool form_feed = false;
  bool operator==(const Event&) const = default;
};

class Recorder final : public PclEventSink {
 public:
  void OnPclEvent(const PclEvent& e) override {
    EXPECT_LE(e.size, PclScanner::kMaxEventBytes);
    events.push_back({e.kind, std::string(reinterpret_cast<const char*>(e.data), e.size),
                      e.form_feed});
  }
  std::vector<Event> events;
};

// Feeds the input in chunks of the given sizes (repeated), then finishes.
std::vector<Event> Scan(const std::string& input, const std::vector<std::size_t>& chunks = {}) {
  Recorder rec;
  PclScanner scanner(rec);
  const auto* p = reinterpret_cast<const uint8_t*>(input.data());
  std::size_t at = 0;
  for (std::size_t i = 0; at < input.size(); ++i) {
    const std::size_t n =
        chunks.empty() ? input.size() : std::min(chunks[i % chunks.size()], input.size() - at);
    scanner.Feed(p + at, n);
    at += n;
  }
  scanner.Finish();
  return rec.events;
}

// Page data cut differently is the same page data.
std::vector<Event> Merged(const std::vector<Event>& events) {
  std::vector<Event> out;
  for (const Event& e : events) {
    if (e.kind == PclEventKind::kPageData && !out.empty() &&
        out.back().kind == PclEventKind::kPageData) {
      out.back().bytes += e.bytes;
    } else {
      out.push_back(e);
    }
  }
  return out;
}

std::string Visible(const std::string& bytes) {
  std::string s;
  for (unsigned char c : bytes) {
    switch (c) {
      case 0x1B: s += "\\e"; break;
      case 0x0C: s += "\\f"; break;
      case '\r': s += "\\r"; break;
      case '\n': s += "\\n"; break;
      default:
        if (c >= 0x20 && c < 0x7F) {
          s += static_cast<char>(c);
        } else {
          char hex[8];
          std::snprintf(hex, sizeof(hex), "\\x%02X", c);
          s += hex;
        }
    }
  }
  return s;
}

// H{header piece} P{page data} | (page ended by a form feed) . (page ended
// by the end of the job) T{trailer}.
std::string Render(const std::vector<Event>& events) {
  std::string s;
  for (const Event& e : Merged(events)) {
    switch (e.kind) {
      case PclEventKind::kHeader: s += "H{" + Visible(e.bytes) + "}"; break;
      case PclEventKind::kPageData: s += "P{" + Visible(e.bytes) + "}"; break;
      case PclEventKind::kPageEnd: s += e.form_feed ? "|" : "."; break;
      case PclEventKind::kTrailer: s += "T{" + Visible(e.bytes) + "}"; break;
    }
  }
  return s;
}

// The bytes the events stand for: the job as it came in.
std::string Reassemble(const std::vector<Event>& events) {
  std::string s;
  for (const Event& e : events) s += e.kind == PclEventKind::kPageEnd ? (e.form_feed ? "\f" : "") : e.bytes;
  return s;
}

// Header* (PageData* PageEnd)* Trailer?, a page ending without a form feed
// only at the end or before the escape sequence that ejects it.
::testing::AssertionResult InOrder(const std::vector<Event>& events) {
  enum { kHead, kPages, kInPage, kTail } state = kHead;
  for (std::size_t i = 0; i < events.size(); ++i) {
    const PclEventKind k = events[i].kind;
    const bool ok = (k == PclEventKind::kHeader && state == kHead) ||
                    (k == PclEventKind::kPageData && state != kTail) ||
                    (k == PclEventKind::kPageEnd && state != kTail) ||
                    (k == PclEventKind::kTrailer && state != kInPage && state != kTail);
    if (!ok) return ::testing::AssertionFailure() << "event " << i << " out of order";
    if (k == PclEventKind::kPageData) state = kInPage;
    if (k == PclEventKind::kPageEnd) {
      if (!events[i].form_feed && i + 1 != events.size() &&
          (events[i + 1].kind == PclEventKind::kPageEnd || events[i + 1].bytes[0] != '\x1B')) {
        return ::testing::AssertionFailure() << "page without form feed before the end";
      }
      state = kPages;
    }
    if (k == PclEventKind::kTrailer) state = kTail;
  }
  return ::testing::AssertionSuccess();
}

const std::string kUel = "\x1B%-12345X";

struct SplitCase {
  const char* name;
  std::string input;
  std::string expected;
};

void RunSplitCases(const std::vector<SplitCase>& cases) {
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto whole = Scan(c.input);
    EXPECT_EQ(Render(whole), c.expected);
    // Byte by byte gives the same split: every chunk boundary is covered.
    EXPECT_EQ(Render(Scan(c.input, {1})), c.expected);
    EXPECT_EQ(Reassemble(whole), c.input);
  }
}

TEST(PclScanner, FormFeedsInText) {
  RunSplitCases({
      {"pages end at form feeds", "A\fB\fC", "P{A}|P{B}|P{C}."},
      {"a form feed at the end closes the last page", "A\fB\f", "P{A}|P{B}|"},
      {"two form feeds make an empty page", "A\f\fB", "P{A}||P{B}."},
      {"a form feed first makes an empty first page", "\fA", "|P{A}."},
      {"no form feed: one page", "\x1B&l0OA", "P{\\e&l0OA}."},
      {"empty input: nothing", "", ""},
  });
}

TEST(PclScanner, FormFeedsInsideBinaryData) {
  RunSplitCases({
      {"raster row ESC*b#W", "\x1B*b3W\f\x1B\fA\f", "P{\\e*b3W\\f\\e\\fA}|"},
      {"combined ESC*b2m#W carries the count on W", "\x1B*b2m3W\f\f\fA\f",
       "P{\\e*b2m3W\\f\\f\\fA}|"},
      {"lower-case w carries data and the sequence goes on",
       "\x1B*b2w\f\f0M\fA", "P{\\e*b2w\\f\\f0M}|P{A}."},
      {"raster plane ESC*b#V", "\x1B*b2V\f\fA\f", "P{\\e*b2V\\f\\fA}|"},
      {"character ESC(s#W and font header ESC)s#W", "\x1B)s2W\f\f\x1B(s1W\fA\f",
       "P{\\e)s2W\\f\\f\\e(s1W\\fA}|"},
      {"pattern ESC*c#W", "\x1B*c1W\fA\fB", "P{\\e*c1W\\fA}|P{B}."},
      {"transparent data ESC&p#X", "\x1B&p2X\f\fA\f", "P{\\e&p2X\\f\\fA}|"},
      {"cursor move ESC*p#X takes no data", "\x1B*p100X\fB", "P{\\e*p100X}|P{B}."},
      {"a decimal count is cut to its whole part", "\x1B*b2.5W\f\fA\f",
       "P{\\e*b2.5W\\f\\fA}|"},
      {"a negative count takes no data", "\x1B*b-2W\fA", "P{\\e*b-2W}|P{A}."},
      {"a zero count takes no data", "\x1B*b0W\fA", "P{\\e*b0W}|P{A}."},
      {"raster rows back to back", "\x1B*b2W\f\x1B\x1B*b1W\f\x1B*b0W\fA",
       "P{\\e*b2W\\f\\e\\e*b1W\\f\\e*b0W}|P{A}."},
      {"a run of rows ends at a sequence of another form", "\x1B*b1W\f\x1B*b2m1W\f\fA",
       "P{\\e*b1W\\f\\e*b2m1W\\f}|P{A}."},
  });
}

TEST(PclScanner, FormFeedsInOtherModes) {
  RunSplitCases({
      {"HP-GL/2 label", "A\x1B%1BLBx\fy\x03;\x1B%0A\fB",
       "P{A\\e%1BLBx\\fy\\x03;\\e%0A}|P{B}."},
      {"HP-GL/2 reads no other escape", "\x1B%1BIN;\x1B*p1X\f\x1B" "E\fB",
       "P{\\e%1BIN;\\e*p1X\\f\\eE}|P{B}."},
      {"a reset ends HP-GL/2", "\x1B%1B\x1B" "E\f\x1B*b1W\x1B%0A\fB",
       "P{\\e%1B\\eE}|P{\\e*b1W\\e%0A}|P{B}."},
      {"HP-GL/2 ends at a UEL, which ends the page",
       "A\x1B%1B\f" + kUel + "@PJL ENTER LANGUAGE=PCL\nB\fC",
       "P{A\\e%1B\\f}.P{\\e%-12345X@PJL ENTER LANGUAGE=PCL\\nB}|P{C}."},
      {"PJL line", "A\f" + kUel + "@PJL COMMENT \f\r\n@PJL ENTER LANGUAGE=PCL\r\nB\fC",
       "P{A}|P{\\e%-12345X@PJL COMMENT \\f\\r\\n@PJL ENTER LANGUAGE=PCL\\r\\nB}|P{C}."},
      {"macro definition", "\x1B&f0XA\fB\x1B&f1XC\fD", "P{\\e&f0XA\\fB\\e&f1XC}|P{D}."},
      {"display functions", "\x1BYA\f\x1B*b1WB\x1BZC\fD", "P{\\eYA\\f\\e*b1WB\\eZC}|P{D}."},
      {"another language up to the UEL",
       kUel + "@PJL ENTER LANGUAGE=POSTSCRIPT\n%!\f" + kUel + "@PJL ENTER LANGUAGE=PCL\nA\fB",
       "H{\\e%-12345X}H{@PJL ENTER LANGUAGE=POSTSCRIPT\\n}"
       "P{%!\\f}.P{\\e%-12345X@PJL ENTER LANGUAGE=PCL\\nA}|P{B}."},
      {"PCLXL is another language", kUel + "@PJL ENTER LANGUAGE=PCLXL\n\f",
       "H{\\e%-12345X}H{@PJL ENTER LANGUAGE=PCLXL\\n}P{\\f}."},
  });
}

TEST(PclScanner, MalformedAndTruncated) {
  RunSplitCases({
      {"a lone ESC before a form feed", "A\x1B\fB", "P{A\\e}|P{B}."},
      {"a sequence cut by a form feed", "A\x1B*b\fB", "P{A\\e*b}|P{B}."},
      {"a sequence cut by another ESC", "A\x1B*b1\x1B*b1W\f\fB", "P{A\\e*b1\\e*b1W\\f}|P{B}."},
      {"a byte count that runs past the end", "A\x1B*b10W\f\f", "P{A\\e*b10W\\f\\f}."},
      {"a huge byte count", "A\x1B*b99999999999999999999W\f", "P{A\\e*b99999999999999999999W\\f}."},
      {"a sequence cut by the end draws nothing", "A\f\x1B*b", "P{A}|T{\\e*b}"},
      {"a UEL cut by the end closes the job", "A\f\x1B%-123", "P{A}|T{\\e%-123}"},
      {"a PJL line cut by the end", kUel + "@PJL JO", "H{\\e%-12345X}H{@PJL JO}"},
      {"ESC % with no command", "A\f\x1B%\r\n", "P{A}|T{\\e%\\r\\n}"},
      {"a page-ending sequence cut by the end stays with the page", "A\x1B&l", "P{A\\e&l}."},
  });
}

TEST(PclScanner, HeaderAndTrailer) {
  const std::string job = kUel + "@PJL JOB\r\n@PJL COMMENT XDIM=4960\r\n" +
                          "@PJL COMMENT YDIM=7014\r\n@PJL ENTER LANGUAGE=PCL\n" +
                          "\x1B" "E\x1B&l0OA\fB\f\x1B" "E" + kUel + "@PJL EOJ\r\n" + kUel;
  RunSplitCases({
      {"header lines one by one, closing segment as trailer", job,
       "H{\\e%-12345X}H{@PJL JOB\\r\\n}H{@PJL COMMENT XDIM=4960\\r\\n}"
       "H{@PJL COMMENT YDIM=7014\\r\\n}H{@PJL ENTER LANGUAGE=PCL\\n}"
       "P{\\eE\\e&l0OA}|P{B}|T{\\eE\\e%-12345X@PJL EOJ\\r\\n\\e%-12345X}"},
      {"two UELs open the header", kUel + kUel + "@PJL ENTER LANGUAGE=PCL\nA",
       "H{\\e%-12345X}H{\\e%-12345X}H{@PJL ENTER LANGUAGE=PCL\\n}P{A}."},
      {"enter language in any case and with blanks",
       kUel + "@PJL enter language = pcl\r\nA\fB",
       "H{\\e%-12345X}H{@PJL enter language = pcl\\r\\n}P{A}|P{B}."},
      {"PJL without ENTER LANGUAGE: the first command ends the header",
       kUel + "@PJL SET X=1\n\x1B" "EA\f",
       "H{\\e%-12345X}H{@PJL SET X=1\\n}P{\\eEA}|"},
      {"data that is not PJL goes to PCL", kUel + "A\fB", "H{\\e%-12345X}P{A}|P{B}."},
      {"a job that does not open with a UEL has no header",
       "@PJL ENTER LANGUAGE=PCL\nA", "P{@PJL ENTER LANGUAGE=PCL\\nA}."},
      {"ESC E before the UEL: no header", "\x1B" "E" + kUel + "@PJL ENTER LANGUAGE=PCL\nA",
       "P{\\eE\\e%-12345X@PJL ENTER LANGUAGE=PCL\\nA}."},
      {"a header and nothing else", kUel + "@PJL ENTER LANGUAGE=PCL\n",
       "H{\\e%-12345X}H{@PJL ENTER LANGUAGE=PCL\\n}"},
      {"a reset after the last form feed is a trailer", "A\f\x1B" "E", "P{A}|T{\\eE}"},
      {"blanks after the last form feed are a trailer", "A\f\r\n", "P{A}|T{\\r\\n}"},
      {"content after the last form feed is a page", "A\f\x1B" "EB", "P{A}|P{\\eEB}."},
      {"a reset ended by a form feed is a page", "A\f\x1B" "E\fB", "P{A}|P{\\eE}|P{B}."},
      {"a second job that prints is a page",
       "A\f" + kUel + "@PJL ENTER LANGUAGE=PCL\n\x1B" "EB\f" + kUel,
       "P{A}|P{\\e%-12345X@PJL ENTER LANGUAGE=PCL\\n\\eEB}|T{\\e%-12345X}"},
  });
}

// What follows the last page is a page only if it can put something on
// paper; otherwise it is the closing segment and prints no sheet.
TEST(PclScanner, TailIsAPageOnlyIfItDraws) {
  struct Tail {
    const char* name;
    std::string bytes;
    bool page;
  };
  const std::string pattern = "\x1B*c12W" + std::string("\x00\x00\x01\x00\x00\x08\x00\x08\xAA\x55\xAA\x55", 12);
  const std::vector<Tail> tails = {
      {"eject and reset", "\x1B&l0H\x1B" "E", false},
      {"paper source, size, orientation, duplex in one", "\x1B&l1h26a1o1S", false},
      {"margins and cursor moves", "\x1B&l0e0L\x1B&a10R\x1B*p300x400Y\x1B=\x1B" "9\r\n\b", false},
      {"font selection and shifts", "\x1B(8U\x1B(s1p12v0s3b4148T\x0E\x0F", false},
      {"font download", "\x1B*c5D\x1B)s4W\x01\x02\x03\x04\x1B*c65E\x1B(s2W\x0C\x1B", false},
      {"pattern download and selection", "\x1B*c7G" + pattern + "\x1B*v4T", false},
      {"macro definition with text and raster", "\x1B&f3y0Xtext\x1B*b1W\xFF\x1B&f1X", false},
      {"overlay enabled", "\x1B&f3y4X", false},
      {"raster end and compression", "\x1B*rB\x1B*b2M\x1B*rC", false},
      {"rectangle size and shading", "\x1B*c100a100b20G", false},
      {"HP-GL/2 set-up and pen-up moves",
       "\x1B%1BIN;SP1;PW0.5;DT*,1;SM;CO\"PD;LB\";PU10,10;PA20,20;\x1B%0A", false},
      {"HP-GL/2 ended by a reset", "\x1B%1BIN;\x1B" "E", false},
      {"PJL and UELs", "\x1B" "E" + kUel + "@PJL EOJ NAME=\"x\"\r\n" + kUel, false},
      {"blanks", std::string(" \t\r\n\0", 5), false},
      {"a cut sequence", "\x1B*b", false},
      {"text", "\x1B&l0Hx", true},
      {"a control code with a glyph", "\x01", true},
      {"raster start", "\x1B*r1A", true},
      {"an empty raster row", "\x1B*b0W", true},
      {"a raster plane", "\x1B*b1V\x0C", true},
      {"a rectangle fill", "\x1B*c100a100b0P", true},
      {"a macro call", "\x1B&f3y3X", true},
      {"a macro execution", "\x1B&f3y2X", true},
      {"transparent print data", "\x1B&p1X ", true},
      {"display functions", "\x1BY\r\x1BZ", true},
      {"self-test", "\x1Bz", true},
      {"HP-GL/2 pen down", "\x1B%1BIN;PD;\x1B%0A", true},
      {"HP-GL/2 label", "\x1B%1BIN;LBx\x03", true},
      {"HP-GL/2 move, the pen unknown", "\x1B%1Bpa10,10;\x1B%0A", true},
      {"HP-GL/2 move in symbol mode", "\x1B%1BIN;SM*;PA10,10", true},
      {"HP-GL/2 rectangle", "\x1B%1BRR10,10;", true},
      {"another language", kUel + "@PJL ENTER LANGUAGE=POSTSCRIPT\n%!", true},
  };
  std::vector<SplitCase> cases;
  for (const Tail& t : tails) {
    cases.push_back({t.name, "A\f" + t.bytes,
                     t.page ? "P{A}|P{" + Visible(t.bytes) + "}." : "P{A}|T{" + Visible(t.bytes) + "}"});
  }
  RunSplitCases(cases);
}

// A printer ejects a page with something on it at a reset, a UEL and a new
// page size, paper source, media type, duplex mode or side: the page ends
// before the command, which opens the next segment.
TEST(PclScanner, CommandsThatEjectAPrintedPageEndIt) {
  RunSplitCases({
      {"reset", "A\x1B" "EB", "P{A}.P{\\eEB}."},
      {"UEL", "A" + kUel + "B", "P{A}.P{\\e%-12345XB}."},
      {"paper source", "A\x1B&l0HB", "P{A}.P{\\e&l0HB}."},
      {"page size after copies in one sequence", "A\x1B&l1x26AB", "P{A}.P{\\e&l1x26AB}."},
      {"media type", "A\x1B&l3MB", "P{A}.P{\\e&l3MB}."},
      {"duplex", "A\x1B&l1SB", "P{A}.P{\\e&l1SB}."},
      {"duplex side", "A\x1B&a2GB", "P{A}.P{\\e&a2GB}."},
      {"paper source after data in one sequence", std::string("A\x1B&l2w\0\f0HB", 11),
       "P{A}.P{\\e&l2w\\x00\\f0HB}."},
      {"a reset in HP-GL/2", "A\x1B%1BPD;\x1B" "EB", "P{A\\e%1BPD;}.P{\\eEB}."},
      {"raster pages separated by resets, closed by an eject",
       "\x1B*r1A\x1B*b1W\f\x1B*rbC\x1B" "E\x1B*r1A\x1B*rbC\x1B" "E\x1B&l0H",
       "P{\\e*r1A\\e*b1W\\f\\e*rbC}.P{\\eE\\e*r1A\\e*rbC}.T{\\eE\\e&l0H}"},
      {"orientation, copies and margins stay in the page", "A\x1B&l1O\x1B&l2X\x1B&l0EB",
       "P{A\\e&l1O\\e&l2X\\e&l0EB}."},
      {"a macro definition keeps its reset", "A\x1B&f0X\x1B" "E\x1B&f1XB",
       "P{A\\e&f0X\\eE\\e&f1XB}."},
      {"display functions print the reset", "A\x1BY\x1B" "E\x1BZ", "P{A\\eY\\eE\\eZ}."},
      {"an overlong sequence stays in the page",
       "A\x1B&l" + std::string(PclScanner::kMaxEjectSequence, '0') + "HB",
       "P{A\\e&l" + std::string(PclScanner::kMaxEjectSequence, '0') + "HB}."},
      {"the longest that ends it", "A\x1B&l" + std::string(PclScanner::kMaxEjectSequence - 4, '0') + "HB",
       "P{A}.P{\\e&l" + std::string(PclScanner::kMaxEjectSequence - 4, '0') + "HB}."},
  });
}

TEST(PclScanner, OverlongHeldBytes) {
  // A PJL line longer than the held buffer comes out in pieces, the first
  // one carrying the line's start.
  const std::string line = "@PJL COMMENT " + std::string(PclScanner::kMaxHeldBytes, 'x') + "\n";
  const auto events = Scan(kUel + line + "@PJL ENTER LANGUAGE=PCL\nA", {4096});
  ASSERT_EQ(events.size(), 6u);
  EXPECT_EQ(events[1].kind, PclEventKind::kHeader);
  EXPECT_EQ(events[1].bytes.size(), PclScanner::kMaxHeldBytes);
  EXPECT_EQ(events[1].bytes.substr(0, 13), "@PJL COMMENT ");
  EXPECT_EQ(events[1].bytes + events[2].bytes, line);
  EXPECT_EQ(events[3].bytes, "@PJL ENTER LANGUAGE=PCL\n");

  // A blank segment too long to hold counts as a page.
  const std::string blanks(PclScanner::kMaxHeldBytes + 10, '\n');
  const auto tail = Merged(Scan("A\f" + blanks, {1000}));
  ASSERT_EQ(tail.size(), 4u);
  EXPECT_EQ(tail[2].bytes, blanks);
  EXPECT_EQ(tail[3].kind, PclEventKind::kPageEnd);
}

// Random jobs built from the constructs a printer reads, with the number of
// form feeds that end pages known.
struct Job {
  std::string bytes;
  int page_breaks = 0;
};

Job RandomJob(std::mt19937& rng) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  auto binary = [&](int n) {
    std::string s;
    // Data rich in the bytes that would mislead a careless scanner.
    const char special[] = {'\f', '\x1B', '%', '-', '1', 'X', 'A', 'B', '\n', '@'};
    for (int i = 0; i < n; ++i) {
      s += pick(2) ? special[pick(sizeof(special))] : static_cast<char>(rng());
    }
    return s;
  };
  auto text = [&](bool with_ff) {
    std::string s;
    const int n = pick(12);
    for (int i = 0; i < n; ++i) {
      const int k = pick(10);
      s += k == 0 ? '\r' : k == 1 ? '\n' : k == 2 && with_ff ? '\f' : static_cast<char>('a' + pick(26));
    }
    return s;
  };
  Job job;
  if (pick(2)) {
    job.bytes += kUel + "@PJL JOB\r\n@PJL COMMENT XDIM=4960\r\n@PJL ENTER LANGUAGE=PCL\n";
  }
  const int tokens = pick(60);
  for (int t = 0; t < tokens; ++t) {
    const int n = pick(120);
    switch (pick(13)) {
      case 0: job.bytes += text(false); break;
      case 1: job.bytes += '\f'; ++job.page_breaks; break;
      case 2: job.bytes += "\x1B" "E"; break;
      case 3: job.bytes += "\x1B*b" + std::to_string(n) + "W" + binary(n); break;
      case 4: job.bytes += "\x1B*b2m" + std::to_string(n) + "W" + binary(n); break;
      case 5: job.bytes += "\x1B&p" + std::to_string(n) + "X" + binary(n); break;
      case 6: job.bytes += "\x1B(s" + std::to_string(n) + "W" + binary(n); break;
      case 7: job.bytes += "\x1B%1BIN;LB" + text(true) + "\x03;\x1B" "E\x1B%0A"; break;
      case 8:
        job.bytes += kUel + "@PJL SET A=\f\r\n@PJL ENTER LANGUAGE=PCL\n";
        break;
      case 9: job.bytes += "\x1B&f0X" + text(true) + "\x1B&f1X"; break;
      case 10: job.bytes += "\x1BY" + text(true) + "\x1BZ"; break;
      case 11: job.bytes += "\x1B*p" + std::to_string(n) + "x300Y\x1B(8U\x1B(s1p12v0s3b4148T"; break;
      case 12: job.bytes += "\x1B*b-" + std::to_string(n) + "W"; break;
    }
  }
  if (pick(2)) job.bytes += "\x1B" "E" + kUel;
  return job;
}

// Bytes with no structure at all, heavy in the characters that drive the
// state machine.
std::string RandomBytes(std::mt19937& rng) {
  const char alphabet[] = "\x1B\x1B\f\f%&*()-.0123456789bpsWVXABEYZfw@PJL \r\n";
  std::string s(rng() % 300, '\0');
  for (char& c : s) c = rng() % 4 ? alphabet[rng() % (sizeof(alphabet) - 1)] : static_cast<char>(rng());
  return s;
}

// The invariants, for every input and every way of cutting it into chunks:
//  1. the events' bytes, with a 0x0C for each page ended by a form feed,
//     give back the input exactly;
//  2. the events, with adjacent page data merged, are the same;
//  3. they come in the order Header* (PageData* PageEnd)* Trailer?, and only
//     the last page may end without a form feed.
void CheckInvariants(const std::string& input, std::mt19937& rng) {
  const auto reference = Scan(input);
  ASSERT_TRUE(InOrder(reference));
  ASSERT_EQ(Reassemble(reference), input);
  const auto expected = Merged(reference);
  std::vector<std::vector<std::size_t>> chunkings = {{1}, {2}, {3}, {7}, {64}};
  std::vector<std::size_t> random_sizes;
  for (int i = 0; i < 16; ++i) random_sizes.push_back(1 + rng() % 40);
  chunkings.push_back(random_sizes);
  for (const auto& chunks : chunkings) {
    const auto events = Scan(input, chunks);
    ASSERT_TRUE(InOrder(events));
    ASSERT_EQ(Reassemble(events), input);
    ASSERT_EQ(Merged(events), expected) << "chunk size " << chunks[0];
  }
}

TEST(PclScanner, RandomJobsSplitAtTheirPageBreaksWhateverTheChunks) {
  std::mt19937 rng(20240611);
  for (int i = 0; i < 400; ++i) {
    const Job job = RandomJob(rng);
    SCOPED_TRACE(Visible(job.bytes));
    CheckInvariants(job.bytes, rng);
    int form_feeds = 0;
    for (const Event& e : Scan(job.bytes)) form_feeds += e.kind == PclEventKind::kPageEnd && e.form_feed;
    ASSERT_EQ(form_feeds, job.page_breaks);
  }
}

TEST(PclScanner, RandomBytesKeepTheInvariants) {
  std::mt19937 rng(7);
  for (int i = 0; i < 1000; ++i) {
    const std::string input = RandomBytes(rng);
    SCOPED_TRACE(Visible(input));
    CheckInvariants(input, rng);
  }
}

// A real raster job: Ghostscript's LaserJet 4 driver at 600 dpi. Its
// compressed rows are full of 0x0C bytes, and only four of the form feeds
// end pages.
TEST(PclScanner, GhostscriptRasterJob) {
  if (!testing::OnPath("gs")) GTEST_SKIP() << "gs (Ghostscript) is not on PATH";
  const testing::ScratchDir dir("gs");
  const auto ps = dir / "four.ps";
  const auto pcl = dir / "four.pcl";
  {
    std::ofstream out(ps);
    out << "%!PS\n/Helvetica findfont 60 scalefont setfont\n"
           "1 1 4 { /n exch def\n"
           "  72 700 moveto (Page ) show n 3 string cvs show\n"
           "  0.5 setgray 72 72 n 100 mul 400 rectfill 0 setgray\n"
           "  showpage } for\n";
  }
  const testing::ProgramRun gs = testing::RunProgram(
      {.argv = {"gs", "-q", "-dBATCH", "-dNOPAUSE", "-dSAFER", "-sDEVICE=ljet4", "-r600",
                "-sOutputFile=" + pcl.string(), ps.string()}});
  ASSERT_TRUE(gs.Ok()) << gs.Describe("gs");
  std::ifstream in(pcl, std::ios::binary);
  const std::string job((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

  ASSERT_GT(std::count(job.begin(), job.end(), '\f'), 4) << "the raster data holds form feeds";
  const auto events = Scan(job, {65536});
  std::vector<std::string> pages;
  std::string page;
  std::string trailer;
  for (const Event& e : events) {
    if (e.kind == PclEventKind::kPageData) page += e.bytes;
    if (e.kind == PclEventKind::kPageEnd) {
      pages.push_back(page);
      page.clear();
    }
    if (e.kind == PclEventKind::kTrailer) trailer += e.bytes;
  }
  ASSERT_EQ(pages.size(), 4u);
  std::string joined;
  for (const std::string& p : pages) joined += p + "\f";
  EXPECT_EQ(joined + trailer, job);
  EXPECT_EQ(trailer, "\x1B" "E");
  EXPECT_EQ(Merged(Scan(job, {1, 5, 4093})), Merged(events));
}

}  // namespace
}  // namespace pclspool::pcl
