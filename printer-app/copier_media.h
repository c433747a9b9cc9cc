// The papers the copier prints on, by their IPP (PWG) media names and by
// the paper names of the module's table.
#pragma once

#include <string>
#include <string_view>

namespace pclspool::app {

struct CopierMedia {
  const char* pwg;    // "iso_a4_210x297mm"
  const char* paper;  // "a4": runner::JobTicket's paper
};

inline constexpr CopierMedia kCopierMedia[] = {
    {"iso_a4_210x297mm", "a4"},
    {"na_letter_8.5x11in", "letter"},
    {"na_legal_8.5x14in", "legal"},
    {"iso_a3_297x420mm", "a3"},
};

// The paper for a PWG media name; empty when the copier has none.
std::string PaperOfMedia(std::string_view pwg);

// The PWG media name of a paper; empty when unknown.
std::string MediaOfPaper(std::string_view paper);

}  // namespace pclspool::app
