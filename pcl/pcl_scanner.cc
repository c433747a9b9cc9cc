#include "pcl/pcl_scanner.h"

#include <algorithm>
#include <cstring>

namespace pclspool::pcl {

namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kFormFeed = 0x0C;

// Value fields saturate here: a byte count this large outlasts any job.
constexpr uint64_t kValueLimit = uint64_t{1} << 48;

// Bytes of PCL text that mark nothing on a page: blanks, and the control
// codes that only move the cursor or shift between fonts (BS, SO, SI).
// Other control codes print where the symbol set has a glyph for them.
bool IsBlank(uint8_t b) {
  return b == ' ' || b == '\t' || b == '\r' || b == '\n' || b == 0 || b == 0x08 || b == 0x0E ||
         b == 0x0F;
}

bool IsLetter(uint8_t b) { return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'); }

uint8_t Upper(uint8_t b) { return b >= 'a' && b <= 'z' ? static_cast<uint8_t>(b - 32) : b; }

bool IsDigit(uint8_t b) { return b >= '0' && b <= '9'; }

// The commands that are followed by as many bytes of binary data as their
// value says: W in every group (raster rows, characters, font headers,
// patterns, palettes, dither matrices, alphanumeric IDs, logical pages ...),
// ESC * b # V (one raster plane) and ESC & p # X (transparent print data).
// Elsewhere V and X take no data (ESC * p # X is a cursor move).
bool CarriesData(uint8_t cls, uint8_t group, uint8_t command) {
  switch (command) {
    case 'W': return true;
    case 'V': return cls == '*' && group == 'b';
    case 'X': return cls == '&' && group == 'p';
    default: return false;
  }
}

// The PCL commands that put something on paper: raster graphics (its start
// marks the page, as do its rows, empty ones too), rectangle fills,
// transparent print data, and a macro's execution or call (ESC & f 2 X,
// ESC & f 3 X). Downloads (fonts, patterns, palettes) and settings do not.
bool Draws(uint8_t cls, uint8_t group, uint8_t command, uint64_t value) {
  if (cls == '*' && group == 'b') return command == 'W' || command == 'V';
  if (cls == '*' && group == 'r') return command == 'A';
  if (cls == '*' && group == 'c') return command == 'P';
  if (cls == '&' && group == 'p') return command == 'X';
  if (cls == '&' && group == 'f') return command == 'X' && (value == 2 || value == 3);
  return false;
}

// The PCL commands after which a printer ejects a page that has something
// on it, whatever their value: page size, paper source, media type,
// simplex/duplex and duplex side. (A new orientation ejects only when it
// differs from the current one, which the scanner does not follow.)
bool EjectsPage(uint8_t cls, uint8_t group, uint8_t command) {
  if (cls != '&') return false;
  if (group == 'l') return command == 'A' || command == 'H' || command == 'M' || command == 'S';
  if (group == 'a') return command == 'G';
  return false;
}

enum class Language { kNone, kPcl, kOther };

// Recognises "@PJL ENTER LANGUAGE = name" at the start of a PJL line: the
// prefix in capitals as PJL requires, the words and the name in any case,
// blanks where PJL allows them.
Language EnterLanguage(const uint8_t* s, std::size_t n) {
  std::size_t i = 0;
  auto blanks = [&] {
    const std::size_t from = i;
    while (i < n && (s[i] == ' ' || s[i] == '\t')) ++i;
    return i > from;
  };
  auto word = [&](const char* w, bool any_case) {
    for (; *w; ++w, ++i) {
      if (i >= n) return false;
      const uint8_t c = any_case && s[i] >= 'a' && s[i] <= 'z' ? s[i] - 32 : s[i];
      if (c != static_cast<uint8_t>(*w)) return false;
    }
    return true;
  };
  blanks();
  if (!word("@PJL", false) || !blanks() || !word("ENTER", true) || !blanks() ||
      !word("LANGUAGE", true)) {
    return Language::kNone;
  }
  blanks();
  if (!word("=", false)) return Language::kNone;
  blanks();
  if (!word("PCL", true)) return Language::kOther;
  // "PCL" and not "PCLXL": the name ends here.
  if (i < n && s[i] != ' ' && s[i] != '\t' && s[i] != '\r' && s[i] != '\n') return Language::kOther;
  return Language::kPcl;
}

}  // namespace

PclScanner::PclScanner(PclEventSink& sink) : sink_(sink) { held_.reserve(kMaxHeldBytes); }

void PclScanner::Feed(const uint8_t* data, std::size_t size) {
  if (size == 0) return;
  const uint8_t* p = data;
  const uint8_t* const end = data + size;
  run_ = p;
  next_esc_ = nullptr;
  while (p < end) {
    switch (esc_) {
      case Esc::kNone: p = ScanText(p, end); break;
      case Esc::kData: p = SkipData(p, end); break;
      default: p = StepEscape(p); break;
    }
  }
  EndChunk(end);
  run_ = nullptr;
  seq_start_ = nullptr;
}

void PclScanner::Finish() {
  // A sequence cut short by the end of the job ends nothing: what a page
  // kept back of it goes out with the page.
  switch (phase_) {
    case Phase::kHeader: EmitHeld(PclEventKind::kHeader); break;
    case Phase::kSegment: EmitHeld(PclEventKind::kTrailer); break;
    case Phase::kPage:
      EmitHeld(PclEventKind::kPageData);
      sink_.OnPclEvent({PclEventKind::kPageEnd, nullptr, 0, false});
      break;
  }
  phase_ = Phase::kSegment;
}

// --- text ---

const uint8_t* PclScanner::ScanText(const uint8_t* p, const uint8_t* end) {
  switch (mode_) {
    case Mode::kPcl: return ScanPcl(p, end);
    case Mode::kPjl: return ScanPjl(p, end);
    default: return ScanOther(p, end);
  }
}

const uint8_t* PclScanner::ScanPcl(const uint8_t* p, const uint8_t* end) {
  if (phase_ == Phase::kPage) {
    if (*p == kEsc) {
      const uint8_t* after = ScanSequenceRun(p, end);
      if (after != p) return after;
    }
    // Page text: only ESC and the form feed matter. A macro being defined
    // stores its form feeds for later; they end no page now.
    // The form feed is looked for only up to the next ESC: in raster jobs
    // the text between two escape sequences is short, and a search to the
    // end of the block after every row would cost more than the row.
    const uint8_t* esc = NextEsc(p, end);
    const uint8_t* ff = end;
    if (!defining_macro_ && esc != p) {
      const void* q = std::memchr(p, kFormFeed, static_cast<std::size_t>(esc - p));
      if (q) ff = static_cast<const uint8_t*>(q);
    }
    if (ff < esc) {
      FormFeed(ff);
      return ff + 1;
    }
    if (esc == end) return end;
    if (const uint8_t* after = ScanSimpleSequence(esc, end)) return after;
    esc_ = Esc::kStart;
    seq_start_ = esc;
    return esc + 1;
  }
  // The segment has shown no page content yet: every byte counts.
  for (; p < end; ++p) {
    const uint8_t b = *p;
    if (b == kEsc) {
      esc_ = Esc::kStart;
      seq_start_ = p;
      return p + 1;
    }
    if (b == kFormFeed && !defining_macro_) {
      FormFeed(p);
      return p + 1;
    }
    if (!IsBlank(b)) {
      MarkContent(p);
      if (phase_ == Phase::kPage) return p;
      continue;  // text of a macro definition
    }
    MarkQuiet();
  }
  return end;
}

const uint8_t* PclScanner::ScanPjl(const uint8_t* p, const uint8_t* end) {
  if (!in_pjl_line_) {
    const uint8_t b = *p;
    if (b == kEsc) {
      // A UEL keeps PJL going; any other sequence is PCL.
      mode_ = Mode::kPcl;
      esc_ = Esc::kStart;
      seq_start_ = p;
      return p + 1;
    }
    if (b != '@' && !IsBlank(b)) {
      // Data that is not PJL goes to the printer language.
      mode_ = Mode::kPcl;
      return p;
    }
    in_pjl_line_ = true;
    line_head_size_ = 0;
  }
  // A PJL line runs to its line feed; an ESC (a UEL without a line end
  // before it) also closes it.
  const uint8_t* q = p;
  while (q < end && *q != '\n' && *q != kEsc) ++q;
  const std::size_t keep = std::min<std::size_t>(q - p, kLineHead - line_head_size_);
  std::memcpy(line_head_ + line_head_size_, p, keep);
  line_head_size_ += keep;
  if (q == end) return end;
  if (*q == '\n') ++q;
  EndPjlLine(q);
  return q;
}

const uint8_t* PclScanner::ScanOther(const uint8_t* p, const uint8_t* end) {
  if (mode_ == Mode::kHpgl && phase_ != Phase::kPage) return ScanHpgl(p, end);
  // HP-GL/2 labels, display functions and other languages may hold any
  // byte; only an escape sequence can end them.
  if (*p != kEsc) MarkContent(p);
  const uint8_t* esc = NextEsc(p, end);
  if (esc == end) return end;
  esc_ = Esc::kAltStart;
  seq_start_ = esc;
  return esc + 1;
}

// HP-GL/2 in a segment that has put nothing on paper yet: its instructions
// are read one by one until one draws (IN; SP1; PU; set up, PD and LB
// draw). A mnemonic is two letters; parameters are numbers and separators,
// quoted strings, or the single character of DT and SM.
const uint8_t* PclScanner::ScanHpgl(const uint8_t* p, const uint8_t* end) {
  for (; p < end; ++p) {
    const uint8_t b = *p;
    if (b == kEsc) {
      hpgl_scan_ = HpglScan::kBetween;
      esc_ = Esc::kAltStart;
      seq_start_ = p;
      return p + 1;
    }
    switch (hpgl_scan_) {
      case HpglScan::kQuoted:
        if (b == '"') hpgl_scan_ = HpglScan::kBetween;
        continue;
      case HpglScan::kCharParam:
        hpgl_scan_ = HpglScan::kBetween;
        continue;
      case HpglScan::kLetter:
        hpgl_scan_ = HpglScan::kBetween;
        if (IsLetter(b)) {
          if (HpglDraws(hpgl_first_, Upper(b))) {
            MarkContent(p);
            return p + 1;
          }
          continue;
        }
        break;  // a letter alone: b is read afresh
      case HpglScan::kBetween:
        break;
    }
    if (IsLetter(b)) {
      hpgl_first_ = Upper(b);
      hpgl_scan_ = HpglScan::kLetter;
    } else if (b == '"') {
      hpgl_scan_ = HpglScan::kQuoted;
    }
  }
  return end;
}

// Whether the HP-GL/2 instruction `first second` puts something on paper;
// follows the pen state and the parameter forms that matter for reading on.
bool PclScanner::HpglDraws(uint8_t first, uint8_t second) {
  const auto is = [&](const char* m) { return first == m[0] && second == m[1]; };
  // Shapes, labels and encoded polylines draw whatever the pen.
  for (const char* m : {"CI", "EA", "EP", "ER", "EW", "FP", "LB", "PE", "RA", "RR", "WG", "PB",
                        "BL", "PD"}) {
    if (is(m)) return true;
  }
  // Moves, arcs and curves draw with the pen down, or symbols in symbol mode.
  for (const char* m : {"PA", "PR", "AA", "AR", "AT", "RT", "BR", "BZ"}) {
    if (is(m)) return !hpgl_pen_up_;
  }
  if (is("IN") || is("PU")) hpgl_pen_up_ = true;
  if (is("SM")) hpgl_pen_up_ = false;
  if (is("DT") || is("SM")) hpgl_scan_ = HpglScan::kCharParam;
  return false;
}

void PclScanner::EndPjlLine(const uint8_t* at) {
  in_pjl_line_ = false;
  const Language language = EnterLanguage(line_head_, line_head_size_);
  HeaderPiece(at);
  if (language == Language::kNone) return;
  mode_ = language == Language::kPcl ? Mode::kPcl : Mode::kForeign;
  MarkQuiet();  // the job header ends with this line
}

// --- escape sequences ---

// One byte of an escape sequence, read by the state the sequence is in.
const uint8_t* PclScanner::StepEscape(const uint8_t* p) {
  switch (esc_) {
    case Esc::kStart: return AfterEsc(p);
    case Esc::kClass: return AfterClass(p);
    case Esc::kParam: return InValue(p);
    case Esc::kAltStart: return AfterAltEsc(p);
    case Esc::kAltValue: return InAltValue(p);
    case Esc::kNone:
    case Esc::kData: break;
  }
  return p + 1;  // not reached: Feed dispatches those two elsewhere
}

// After ESC in PCL: whether the byte opens a parameterized sequence, is a
// two-character command, or leaves the ESC standing alone.
const uint8_t* PclScanner::AfterEsc(const uint8_t* p) {
  const uint8_t b = *p;
  if (b >= 0x21 && b <= 0x2F) {
    class_ = b;
    group_ = 0;
    effect_ = Effect::kNone;
    ResetValue();
    esc_ = Esc::kClass;
    // ESC % may be a UEL, which leaves the header open; any other
    // sequence ends it. Whether it draws, its command tells.
    if (b != '%') MarkQuiet();
    return p + 1;
  }
  esc_ = Esc::kNone;
  if (b >= 0x30 && b <= 0x7E) {
    if (b == 'Y' || b == 'z') {
      // Display functions print every byte; ESC z prints a self-test.
      MarkContent(p);
      if (b == 'Y') mode_ = Mode::kDisplay;
    } else {
      MarkQuiet();
      // A macro definition keeps its reset for later.
      if (b == 'E' && !defining_macro_) EndPageBefore(p + 1);
    }
    return p + 1;
  }
  // An ESC before a byte that begins no command stands alone; the byte
  // is read afresh (it may be a form feed or another ESC).
  MarkQuiet();
  return p;
}

// After the class character: whether a group character follows it.
const uint8_t* PclScanner::AfterClass(const uint8_t* p) {
  const uint8_t b = *p;
  esc_ = Esc::kParam;
  if (b >= 0x60 && b <= 0x7E) {
    group_ = b;
    return p + 1;
  }
  return p;  // no group character: ESC ( 8 U, ESC % 1 B ...
}

// In the value fields of a PCL sequence: whether the byte adds to the value,
// is read over, ends a command, or cuts the sequence short.
const uint8_t* PclScanner::InValue(const uint8_t* p) {
  const uint8_t b = *p;
  if (IsDigit(b)) {
    AddDigit(b);
    return p + 1;
  }
  if (b == '-') negative_ = true;
  if (b == '.') fraction_ = true;
  // Signs, the decimal point and stray bytes of that range inside a
  // value are read over, as printers do.
  if (b >= 0x20 && b <= 0x3F) return p + 1;
  if ((b >= 0x40 && b <= 0x5E) || (b >= 0x60 && b <= 0x7E)) return Parameter(p);
  // Anything else cuts the sequence short and is read afresh.
  EndSequence(p);
  return p;
}

// After ESC in HP-GL/2, display functions or another language: whether it
// opens ESC %, is a reset back to PCL, ends display functions, or prints.
const uint8_t* PclScanner::AfterAltEsc(const uint8_t* p) {
  const uint8_t b = *p;
  esc_ = Esc::kNone;
  if (b == '%') {
    ResetValue();
    esc_ = Esc::kAltValue;
    return p + 1;
  }
  if (mode_ == Mode::kHpgl) {
    // HP-GL/2 reads a reset (back to PCL); any other escape sequence
    // is nothing to it, and the byte is read afresh.
    if (b != 'E') return p;
    mode_ = Mode::kPcl;
    MarkQuiet();
    if (!defining_macro_) EndPageBefore(p + 1);
    return p + 1;
  }
  MarkContent(p);
  if (b == 'Z' && mode_ == Mode::kDisplay) {
    mode_ = Mode::kPcl;
    return p + 1;
  }
  return p;
}

// After ESC % outside PCL text: whether the sequence is a UEL, the way back
// from HP-GL/2 to PCL (ESC % # A), or bytes that print.
const uint8_t* PclScanner::InAltValue(const uint8_t* p) {
  const uint8_t b = *p;
  if (IsDigit(b)) {
    AddDigit(b);
    return p + 1;
  }
  if (b == '-' || b == '+' || b == '.') {
    if (b == '-') negative_ = true;
    if (b == '.') fraction_ = true;
    return p + 1;
  }
  esc_ = Esc::kNone;
  if (b == 'X' && negative_ && value_ == 12345) {
    EndPageBefore(p + 1);
    EnterPjl(p + 1);
    return p + 1;
  }
  if (mode_ != Mode::kHpgl) {
    MarkContent(p);
    return p;
  }
  if (b == 'A') {
    mode_ = Mode::kPcl;
    return p + 1;
  }
  return p;
}

// A digit of a value field: counts in its integer part only, up to the limit.
void PclScanner::AddDigit(uint8_t digit) {
  if (!fraction_) value_ = std::min(value_ * 10 + (digit - '0'), kValueLimit);
}

// A whole sequence of the commonest form, ESC class group digits Command
// (ESC * b 620 W before every raster row), read in one step when it lies
// complete in the chunk and the page has begun. Everything else (signs,
// fractions, combined sequences, ESC %, macro control ESC & f, page setup
// ESC & l and ESC & a, a sequence cut by the chunk's end) takes the
// byte-by-byte path, which reads these sequences the same way: this only
// saves the per-byte steps.
const uint8_t* PclScanner::ScanSimpleSequence(const uint8_t* esc, const uint8_t* end) {
  constexpr std::ptrdiff_t kMaxDigits = 12;  // far below kValueLimit
  const uint8_t* p = esc + 1;
  if (end - p < 4) return nullptr;
  const uint8_t cls = p[0];
  const uint8_t group = p[1];
  if (cls < 0x21 || cls > 0x2F || cls == '%' || group < 0x60 || group > 0x7E) return nullptr;
  // Macro control, and the page setup that may end the page.
  if (cls == '&' && (group == 'f' || group == 'l' || group == 'a')) return nullptr;
  p += 2;
  const uint8_t* const digits = p;
  uint64_t value = 0;
  while (p < end && IsDigit(*p) && p - digits < kMaxDigits) value = value * 10 + (*p++ - '0');
  if (p == digits || p == end || p - digits >= kMaxDigits) return nullptr;
  const uint8_t command = *p;
  if (command < 0x40 || command > 0x5E) return nullptr;
  class_ = cls;
  group_ = group;
  effect_ = Effect::kNone;
  ResetValue();
  if (value > 0 && CarriesData(cls, group, command)) {
    data_left_ = value;
    data_ends_sequence_ = true;
    esc_ = Esc::kData;
  } else {
    esc_ = Esc::kNone;
  }
  return p + 1;
}

// Simple sequences back to back, each with its data (the rows of a raster
// image), read in one loop instead of a round through Feed, the text search
// and SkipData per row. Stops before the first sequence it cannot read whole
// and leaves data cut by the chunk's end to SkipData.
const uint8_t* PclScanner::ScanSequenceRun(const uint8_t* p, const uint8_t* end) {
  while (p < end && *p == kEsc) {
    const uint8_t* after = ScanSimpleSequence(p, end);
    if (!after) break;
    p = after;
    if (esc_ != Esc::kData) continue;
    if (data_left_ > static_cast<uint64_t>(end - p)) break;
    p += data_left_;
    data_left_ = 0;
    // What EndSequence does for a simple sequence: no effect, not ESC %.
    esc_ = Esc::kNone;
  }
  return p;
}

// One parameter character: upper case ends the sequence, lower case goes on
// with another value field (ESC * b 2 m 1000 W: compression mode, then a
// raster row). A lower-case data command carries its data too, and the
// sequence goes on after it.
const uint8_t* PclScanner::Parameter(const uint8_t* p) {
  const uint8_t b = *p;
  const uint8_t command = b >= 0x60 ? static_cast<uint8_t>(b - 0x20) : b;
  const bool last = b <= 0x5E;
  if (class_ == '%' && group_ == 0) {
    if (command == 'X' && negative_ && value_ == 12345) {
      effect_ = Effect::kUel;
    } else if (command == 'B') {
      effect_ = Effect::kHpgl;
    } else if (command == 'A') {
      effect_ = Effect::kNone;  // back to PCL: already there
    }
  } else if (class_ == '&' && group_ == 'f' && command == 'X' && !negative_) {
    if (value_ == 0) effect_ = Effect::kMacroStart;
    if (value_ == 1) effect_ = Effect::kMacroEnd;
  }
  if (phase_ != Phase::kPage) {
    if (Draws(class_, group_, command, value_)) MarkContent(p);
  } else if (!defining_macro_ && EjectsPage(class_, group_, command)) {
    EndPageBefore(p + 1);
  }
  // A negative count is out of range: the printer takes no data for it.
  const uint64_t count = CarriesData(class_, group_, command) && !negative_ ? value_ : 0;
  ResetValue();
  if (count > 0) {
    data_left_ = count;
    data_ends_sequence_ = last;
    esc_ = Esc::kData;
  } else if (last) {
    EndSequence(p + 1);
  }
  return p + 1;
}

const uint8_t* PclScanner::SkipData(const uint8_t* p, const uint8_t* end) {
  const uint64_t n = std::min<uint64_t>(data_left_, static_cast<uint64_t>(end - p));
  p += n;
  data_left_ -= n;
  if (data_left_ == 0) {
    if (data_ends_sequence_) {
      EndSequence(p);
    } else {
      esc_ = Esc::kParam;
    }
  }
  return p;
}

void PclScanner::EndSequence(const uint8_t* at) {
  esc_ = Esc::kNone;
  switch (effect_) {
    case Effect::kUel:
      EndPageBefore(at);
      EnterPjl(at);
      return;
    case Effect::kHpgl:
      mode_ = Mode::kHpgl;
      hpgl_scan_ = HpglScan::kBetween;
      break;
    case Effect::kMacroStart: defining_macro_ = true; break;
    case Effect::kMacroEnd: defining_macro_ = false; break;
    case Effect::kNone: break;
  }
  // ESC % that is no UEL (a change of language) ends the header.
  if (class_ == '%') MarkQuiet();
}

// The UEL ends whatever the printer was doing (a language, a macro
// definition) and hands the stream to PJL.
void PclScanner::EnterPjl(const uint8_t* at) {
  esc_ = Esc::kNone;
  mode_ = Mode::kPjl;
  in_pjl_line_ = false;
  defining_macro_ = false;
  HeaderPiece(at);
}

void PclScanner::ResetValue() {
  value_ = 0;
  negative_ = false;
  fraction_ = false;
}

// --- routing ---

// Sends the bytes from run_ up to `to` where the phase says: out as page
// data, or into the held buffer (the header piece in progress, or a
// segment still undecided).
void PclScanner::Route(const uint8_t* to) {
  const uint8_t* from = run_;
  run_ = to;
  if (phase_ == Phase::kPage) {
    // A sequence kept back at the last chunk's end that did not end the
    // page goes first.
    EmitHeld(PclEventKind::kPageData);
    Emit(PclEventKind::kPageData, from, static_cast<std::size_t>(to - from));
    return;
  }
  while (from < to) {
    if (held_.size() == kMaxHeldBytes) {
      // An overlong PJL line goes out in pieces; an overlong segment
      // counts as a page.
      if (phase_ == Phase::kHeader) {
        EmitHeld(PclEventKind::kHeader);
      } else {
        EmitHeld(PclEventKind::kPageData);
        phase_ = Phase::kPage;
      }
      continue;
    }
    const std::size_t take =
        std::min(static_cast<std::size_t>(to - from), kMaxHeldBytes - held_.size());
    held_.insert(held_.end(), from, from + take);
    from += take;
  }
}

// At the end of a chunk a page keeps back the escape sequence in progress
// if it may yet end the page (ESC, ESC &, ESC % ...): the page would end
// before its ESC, which must not have gone out with the page's data.
void PclScanner::EndChunk(const uint8_t* end) {
  if (phase_ == Phase::kPage && MayEndPage()) {
    // Without its ESC in this chunk, the sequence is in held_ already, or
    // it was too long to keep.
    const std::size_t so_far = seq_start_ ? static_cast<std::size_t>(end - seq_start_)
                               : held_.empty() ? kMaxEjectSequence + 1
                                               : held_.size() + static_cast<std::size_t>(end - run_);
    if (so_far <= kMaxEjectSequence) {
      if (seq_start_) Route(seq_start_);
      held_.insert(held_.end(), run_, end);
      run_ = end;
      return;
    }
  }
  Route(end);
}

// The sequence in progress could still be one that ends a page.
bool PclScanner::MayEndPage() const {
  switch (esc_) {
    case Esc::kStart: return true;     // ESC E, ESC &, a UEL
    case Esc::kAltStart: return true;  // ESC E in HP-GL/2, a UEL
    case Esc::kAltValue: return true;  // a UEL
    case Esc::kClass: return class_ == '%' || class_ == '&';
    case Esc::kParam:
    case Esc::kData:  // a lower-case w carries data and the sequence goes on
      return (class_ == '%' && group_ == 0) || (class_ == '&' && (group_ == 'l' || group_ == 'a'));
    case Esc::kNone: return false;
  }
  return false;
}

// The sequence in progress, its last byte just before `after`, ejects a
// page with something on it: the page ends before the sequence's ESC, and
// the sequence opens the next segment.
void PclScanner::EndPageBefore(const uint8_t* after) {
  if (phase_ != Phase::kPage) return;
  const std::size_t length = seq_start_ ? static_cast<std::size_t>(after - seq_start_)
                             : held_.empty() ? kMaxEjectSequence + 1
                                             : held_.size() + static_cast<std::size_t>(after - run_);
  if (length > kMaxEjectSequence) return;
  // Its ESC in this chunk: the page's bytes up to it go out. Otherwise the
  // sequence's start is what held_ holds, and it stays for the segment.
  if (seq_start_) Route(seq_start_);
  sink_.OnPclEvent({PclEventKind::kPageEnd, nullptr, 0, false});
  StartSegment();
}

void PclScanner::StartSegment() {
  phase_ = Phase::kSegment;
  hpgl_pen_up_ = false;
}

// The token in progress (begun at or before `at`) puts something on the
// page: the segment is a page, and so is a header cut short. What a macro
// definition holds is stored, not printed.
void PclScanner::MarkContent(const uint8_t* at) {
  if (phase_ == Phase::kPage || defining_macro_) return;
  Route(at);
  if (phase_ == Phase::kPage) return;  // Route found the segment overlong
  EmitHeld(PclEventKind::kPageData);
  phase_ = Phase::kPage;
}

// The token in progress puts nothing on the page but is no header piece
// either (ESC E, blanks): the header, if still open, is over.
void PclScanner::MarkQuiet() {
  if (phase_ == Phase::kHeader) phase_ = Phase::kSegment;
}

// A UEL or PJL line ends at `at`: in the header it is a piece of its own.
void PclScanner::HeaderPiece(const uint8_t* at) {
  if (phase_ != Phase::kHeader) return;
  Route(at);
  EmitHeld(PclEventKind::kHeader);
}

void PclScanner::FormFeed(const uint8_t* at) {
  Route(at);
  if (phase_ != Phase::kPage) EmitHeld(PclEventKind::kPageData);
  sink_.OnPclEvent({PclEventKind::kPageEnd, nullptr, 0, true});
  StartSegment();
  run_ = at + 1;  // the form feed itself is dropped
}

void PclScanner::EmitHeld(PclEventKind kind) {
  if (held_.empty()) return;
  Emit(kind, held_.data(), held_.size());
  held_.clear();
}

void PclScanner::Emit(PclEventKind kind, const uint8_t* data, std::size_t size) {
  while (size > 0) {
    const std::size_t n = std::min(size, kMaxEventBytes);
    sink_.OnPclEvent({kind, data, n, false});
    data += n;
    size -= n;
  }
}

const uint8_t* PclScanner::NextEsc(const uint8_t* p, const uint8_t* end) {
  if (!next_esc_ || next_esc_ < p) {
    const void* q = std::memchr(p, kEsc, static_cast<std::size_t>(end - p));
    next_esc_ = q ? static_cast<const uint8_t*>(q) : end;
  }
  return next_esc_;
}

}  // namespace pclspool::pcl
