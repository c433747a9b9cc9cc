// What a print dialog asks of the copier, in the terms of IPP's job
// attributes: copies and collation, pages a side, booklet, paper, sides,
// orientation, the watermark text and the pages to print. Every front end
// reads it through the catalogue (job_catalogue.h): the command from its
// flags, the CUPS filter from CUPS's options and the queue's PPD, the
// printer application from a job's IPP attributes; the runner turns it
// into the module's [SETTING] keys once the documents' kind is known
// (ApplyTicket), so that every option is applied once, the same way for
// every front end. Its defaults are the catalogue's.
#pragma once

#include <cstdint>
#include <string>

namespace pclspool::runner {

// The most copies the module makes (its COPIES setting stops there); no
// more are asked of the printer either.
int MaxCopies();

enum class Sides { kOneSided, kLongEdge, kShortEdge };

// IPP's orientation-requested values.
enum class Orientation {
  kPortrait = 3,
  kLandscape = 4,
  kReverseLandscape = 5,
  kReversePortrait = 6
};

// Landscape and reverse landscape print the page turned a quarter; the
// reverse orientations turn the sheet half a turn.
inline bool IsLandscape(Orientation o) {
  return o == Orientation::kLandscape || o == Orientation::kReverseLandscape;
}
inline bool IsUpsideDown(Orientation o) {
  return o == Orientation::kReverseLandscape || o == Orientation::kReversePortrait;
}

// page-set: every page, or only the odd or the even ones (duplex by hand).
enum class PageSet { kAll, kOdd, kEven };

// number-up-layout: the order of the pages on a sheet, as CUPS names it
// (lrtb: left to right, then top to bottom).
enum class NupLayout { kLrtb, kLrbt, kRltb, kRlbt, kTblr, kTbrl, kBtlr, kBtrl };

// multiple-document-handling, for a job of several documents with copies:
// each copy the documents one after another (A B A B), or each document's
// copies together (A A B B).
enum class DocumentCopies { kCollated, kUncollated };

// print-scaling: how an image is placed on its page (the pages of PDF and
// PostScript are always scaled to fit their place on the sheet).
enum class Scaling { kAuto, kAutoFit, kFit, kFill, kNone };

struct JobTicket {
  int copies = 1;  // 1 to MaxCopies()
  bool collate = true;
  int number_up = 1;  // 1, 2 or 4
  bool booklet = false;
  uint16_t booklet_style = 0;  // 0 bound on the left (odd pages on the right), 1 on the right
  std::string paper = "a4";    // a paper name of the module's table: a4, a3, letter, legal, ...
  Orientation orientation = Orientation::kPortrait;
  Sides sides = Sides::kOneSided;
  uint16_t watermark = 0;   // 0 none, else the n-th text of the settings file
  std::string page_ranges;  // as ParsePageRanges leaves it; empty: every page
  PageSet page_set = PageSet::kAll;
  bool reverse_order = false;  // outputorder=reverse: the last sheet first
  NupLayout number_up_layout = NupLayout::kLrtb;
  bool page_border = false;  // a thin frame around every page of an n-up sheet
  DocumentCopies documents = DocumentCopies::kCollated;
  Scaling scaling = Scaling::kAuto;
};

// Whether the paper is one the module knows by that name.
bool IsKnownPaper(const std::string& paper);

}  // namespace pclspool::runner
