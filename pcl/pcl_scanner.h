// Splits a PJL/PCL job into its header, its pages and its closing segment,
// the way a printer reads it.
//
// A page ends where a printer ejects it:
// - at a form feed that the printer would act on: one in PCL text, outside
//   the binary data of a command that carries a byte count (ESC * b # W
//   raster rows, ESC ( s # W characters, ESC & p # X transparent data, ...),
//   outside HP-GL/2 (ESC % # B up to ESC % # A, a reset or a UEL), outside
//   PJL (a UEL up to "@PJL ENTER LANGUAGE"), outside a macro definition
//   (ESC & f 0 X up to ESC & f 1 X) and outside display functions (ESC Y up
//   to ESC Z). Those form feeds are dropped: whoever plays the pages writes
//   its own sheet separators.
// - before a command that ejects a page with something on it: a reset
//   (ESC E), a UEL, or a new page size, paper source, media type, duplex
//   mode or duplex side (ESC & l # A, H, M, S; ESC & a # G). The command
//   opens the next segment.
//
// A segment is a page only if it can put something on paper: printable
// text, raster graphics, a rectangle fill, HP-GL/2 drawing, a macro call or
// execution, transparent print data, display functions, or another printer
// language. Cursor moves, page setup, font selection and downloads, macro
// definitions, resets, PJL and UELs put nothing there: after the last page
// they are the job's closing segment, not a page of their own (a printer
// would print no sheet for them). A segment that a form feed ends is a page
// whatever it holds: the form feed ejects a sheet.
//
// The scanner is a state machine fed chunks of any size; where the chunks
// are cut never changes the split. Data events point into the chunk being
// fed or into the scanner's own buffer and are valid for the call only.
// Memory is fixed: at most kMaxHeldBytes are held back, while it is not yet
// known whether they open a page or end one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pclspool::pcl {

enum class PclEventKind : uint8_t {
  // One piece of the job header: a UEL, or one PJL line with its line end.
  // The header is the UELs and PJL lines at the start of the job, up to and
  // including the "@PJL ENTER LANGUAGE" line.
  kHeader,
  // Bytes of the current page.
  kPageData,
  // The current page is complete; form_feed tells whether a form feed (not
  // part of any data event) ended it. A page that ends without one is the
  // job's last, or the next segment begins with the command that ejects it.
  kPageEnd,
  // The closing segment: what follows the last page when it can put
  // nothing on paper.
  kTrailer,
};

struct PclEvent {
  PclEventKind kind;
  const uint8_t* data;  // null for kPageEnd
  std::size_t size;
  bool form_feed;  // kPageEnd only
};

class PclEventSink {
 public:
  virtual void OnPclEvent(const PclEvent& event) = 0;

 protected:
  ~PclEventSink() = default;
};

// Events come in this order:
//   kHeader* ( kPageData* kPageEnd )* kTrailer?
// and the job is given back exactly by their bytes, each kPageEnd with
// form_feed standing for one 0x0C byte.
class PclScanner {
 public:
  // The largest data event.
  static constexpr std::size_t kMaxEventBytes = 1024 * 1024;
  // The most bytes held back: the header piece in progress, or a segment
  // that has shown no page content yet. A longer PJL line comes out as
  // several header pieces; a longer segment counts as a page.
  static constexpr std::size_t kMaxHeldBytes = 64 * 1024;
  // The longest escape sequence that can end a page before it; a longer one
  // (only stray digits make one so long) stays with the page. A page holds
  // back at most this much at the end of a chunk.
  static constexpr std::size_t kMaxEjectSequence = 256;

  explicit PclScanner(PclEventSink& sink);

  void Feed(const uint8_t* data, std::size_t size);
  // The end of the job: completes its last page or gives its closing
  // segment. Call once, after the last Feed.
  void Finish();

 private:
  enum class Mode : uint8_t {
    kPcl,      // PCL text and commands
    kPjl,      // after a UEL: PJL lines
    kHpgl,     // HP-GL/2: only ESC % # A and the UEL are commands
    kForeign,  // another language entered through PJL: only the UEL counts
    kDisplay,  // display functions: everything is printed up to ESC Z
  };
  enum class Esc : uint8_t {
    kNone,
    kStart,     // after ESC, in PCL
    kClass,     // after ESC and a parameterized character
    kParam,     // in the value fields
    kData,      // in a command's binary data
    kAltStart,  // after ESC, in HP-GL/2, display functions or another language
    kAltValue,  // after ESC %, likewise
  };
  enum class Phase : uint8_t {
    kHeader,   // at the start, while only UELs and PJL lines came
    kSegment,  // a new segment that has shown no page content yet: held
    kPage,     // the segment is a page: its bytes stream out
  };
  enum class Effect : uint8_t { kNone, kUel, kHpgl, kMacroStart, kMacroEnd };
  // Where an HP-GL/2 instruction stream is, read in a segment that has shown
  // no page content yet.
  enum class HpglScan : uint8_t {
    kBetween,    // parameters, separators
    kLetter,     // after the first letter of a mnemonic
    kCharParam,  // DT and SM: one character of any value follows
    kQuoted,     // a quoted string parameter (CO, BP ...)
  };

  const uint8_t* ScanText(const uint8_t* p, const uint8_t* end);
  const uint8_t* ScanPcl(const uint8_t* p, const uint8_t* end);
  const uint8_t* ScanPjl(const uint8_t* p, const uint8_t* end);
  const uint8_t* ScanOther(const uint8_t* p, const uint8_t* end);
  const uint8_t* ScanHpgl(const uint8_t* p, const uint8_t* end);
  bool HpglDraws(uint8_t first, uint8_t second);
  const uint8_t* StepEscape(const uint8_t* p);
  const uint8_t* AfterEsc(const uint8_t* p);
  const uint8_t* AfterClass(const uint8_t* p);
  const uint8_t* InValue(const uint8_t* p);
  const uint8_t* AfterAltEsc(const uint8_t* p);
  const uint8_t* InAltValue(const uint8_t* p);
  void AddDigit(uint8_t digit);
  const uint8_t* Parameter(const uint8_t* p);
  const uint8_t* SkipData(const uint8_t* p, const uint8_t* end);
  void EndSequence(const uint8_t* at);
  void EnterPjl(const uint8_t* at);
  void EndPjlLine(const uint8_t* at);
  void ResetValue();

  // Where the bytes go.
  void Route(const uint8_t* to);
  void EndChunk(const uint8_t* end);
  bool MayEndPage() const;
  void EndPageBefore(const uint8_t* after);
  void StartSegment();
  void MarkContent(const uint8_t* at);
  void MarkQuiet();
  void HeaderPiece(const uint8_t* at);
  void FormFeed(const uint8_t* at);
  void EmitHeld(PclEventKind kind);
  void Emit(PclEventKind kind, const uint8_t* data, std::size_t size);

  const uint8_t* NextEsc(const uint8_t* p, const uint8_t* end);
  const uint8_t* ScanSimpleSequence(const uint8_t* esc, const uint8_t* end);
  const uint8_t* ScanSequenceRun(const uint8_t* p, const uint8_t* end);

  PclEventSink& sink_;
  Mode mode_ = Mode::kPcl;
  Esc esc_ = Esc::kNone;
  Phase phase_ = Phase::kHeader;

  // The escape sequence in progress.
  uint8_t class_ = 0;
  uint8_t group_ = 0;
  uint64_t value_ = 0;  // integer part, saturating
  bool negative_ = false;
  bool fraction_ = false;
  Effect effect_ = Effect::kNone;
  uint64_t data_left_ = 0;
  bool data_ends_sequence_ = false;

  bool defining_macro_ = false;
  // The ESC of the sequence in progress, when it is in the chunk being fed.
  const uint8_t* seq_start_ = nullptr;

  HpglScan hpgl_scan_ = HpglScan::kBetween;
  uint8_t hpgl_first_ = 0;
  // IN or PU came in this segment and no PD or SM since: PA, PR, arcs and
  // curves only move the pen. Unknown counts as down.
  bool hpgl_pen_up_ = false;

  // The PJL line in progress: its first bytes, enough to recognise
  // "@PJL ENTER LANGUAGE = name".
  static constexpr std::size_t kLineHead = 80;
  bool in_pjl_line_ = false;
  uint8_t line_head_[kLineHead] = {};
  std::size_t line_head_size_ = 0;

  std::vector<uint8_t> held_;       // capacity kMaxHeldBytes, reserved once
  const uint8_t* run_ = nullptr;    // first byte of the chunk not yet routed
  const uint8_t* next_esc_ = nullptr;  // cached search in the chunk
};

}  // namespace pclspool::pcl
