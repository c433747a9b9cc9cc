// A job ticket as the words of its line (runner::WriteTicket) that differ
// from the default ticket's, so that a table row names only what a request
// changed ("copies=2", "booklet=left").
#pragma once

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "runner/job_catalogue.h"

namespace pclspool::testing {

inline std::vector<std::string> ChangedTicketWords(const runner::JobTicket& t) {
  const auto words = [](const std::string& line) {
    std::vector<std::string> w;
    std::istringstream in(line);
    for (std::string word; in >> word;) w.push_back(word);
    return w;
  };
  const std::vector<std::string> defaults = words(runner::WriteTicket({}));
  std::vector<std::string> changed;
  for (const std::string& w : words(runner::WriteTicket(t))) {
    if (std::find(defaults.begin(), defaults.end(), w) == defaults.end()) changed.push_back(w);
  }
  return changed;
}

}  // namespace pclspool::testing
