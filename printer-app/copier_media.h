// The papers the copier prints on, by their IPP (PWG) media names and by
// the paper names of the module's table: the catalogue's media entry
// (runner/job_catalogue.h).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pclspool::app {

// The PWG media names, the default first.
std::vector<std::string> CopierMediaNames();

// The paper for a PWG media name; empty when the copier has none.
std::string PaperOfMedia(std::string_view pwg);

// The PWG media name of a paper.
std::string MediaOfPaper(std::string_view paper);

}  // namespace pclspool::app
