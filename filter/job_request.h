// What a CUPS job asks of the copier: read from the filter's arguments, the
// job's options and the queue's PPD (request_reader), turned into the job
// runner's options (print_mapping).
#pragma once

#include <cstdint>
#include <string>

namespace pclspool::filter {

// The content of the job's document. PDF and PostScript are rendered;
// PCL is a printer-ready stream and printed as it is.
enum class InputKind { kPdf, kPostScript, kPcl };

enum class Sides { kOneSided, kLongEdge, kShortEdge };

// The paper sizes the PPD offers, by their DEVMODE paper codes.
inline constexpr int16_t kPaperLetter = 1;
inline constexpr int16_t kPaperLegal = 5;
inline constexpr int16_t kPaperA3 = 8;
inline constexpr int16_t kPaperA4 = 9;

// The module makes at most this many copies (its COPIES setting stops
// there), and the filter asks no more of the printer either.
inline constexpr int kMaxCopies = 99;

struct JobRequest {
  uint32_t job_id = 0;
  std::string input;  // the document's file; empty: standard input
  InputKind kind = InputKind::kPcl;
  int copies = 1;  // 1 to kMaxCopies
  bool collate = true;
  int number_up = 1;  // 1, 2 or 4
  bool booklet = false;
  uint16_t booklet_style = 0;  // 0 odd pages on the right, 1 on the left
  int16_t paper_code = kPaperA4;
  bool landscape = false;
  Sides sides = Sides::kOneSided;
  uint16_t watermark = 0;   // 0 none, else the n-th text of the INI file
  std::string page_ranges;  // Ghostscript's PageList ("1-3,7,10-"); empty: all pages
};

}  // namespace pclspool::filter
