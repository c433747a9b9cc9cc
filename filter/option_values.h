// The values of CUPS's standard job options, as the filter receives them in
// its options argument ("copies", "number-up", "page-ranges",
// "orientation-requested", on/off switches). Each parser takes the text of
// one value and gives false with a one-line reason when it cannot be used.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "runner/job_ticket.h"

namespace pclspool::filter {

// The copies argument: 1 to runner::MaxCopies().
bool ParseCopies(std::string_view text, int* copies, std::string* error);

// number-up: 1, 2 or 4, the layouts the copier's module prints.
bool ParseNumberUp(std::string_view text, int* number_up, std::string* error);

// page-ranges: "1-3,7,10-12" and "5-" (to the end), in increasing order
// without overlaps, as cupsd lets them through and Ghostscript takes them
// (the runner's page list, runner/page_ranges.h). An upper bound of
// 2147483647, which is how lp sends "5-", is the end of the document.
// *page_list gets the list as the runner takes it.
bool ParsePageRanges(std::string_view text, std::string* page_list, std::string* error);

// orientation-requested: 3 portrait, 4 landscape, 5 reverse landscape,
// 6 reverse portrait.
bool ParseOrientation(std::string_view text, runner::Orientation* orientation,
                      std::string* error);

// page-set: all, odd or even.
bool ParsePageSet(std::string_view text, runner::PageSet* set, std::string* error);

// outputorder: normal or reverse (the last sheet first).
bool ParseOutputOrder(std::string_view text, bool* reverse, std::string* error);

// page-border: none, or a frame (single, single-thick, double, double-thick
// are all printed as one thin frame).
bool ParsePageBorder(std::string_view text, bool* border, std::string* error);

// number-up-layout: lrtb, lrbt, rltb, rlbt, tblr, tbrl, btlr or btrl.
bool ParseNumberUpLayout(std::string_view text, runner::NupLayout* layout, std::string* error);

// multiple-document-handling: the separate documents' copies collated
// (A B A B; also single-document) or each document's copies together
// (A A B B).
bool ParseDocumentHandling(std::string_view text, runner::DocumentCopies* documents,
                           std::string* error);

// A switch named option: true/yes/on or false/no/off, in any case.
bool ParseSwitch(std::string_view option, std::string_view text, bool* on, std::string* error);

}  // namespace pclspool::filter
