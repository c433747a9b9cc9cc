// What the client tests check: the sides a job's device stream prints
// (gpcl6), and which of the copier's options this build offers.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pclspool::apptest {

// The numbered pages each printed side shows: {{1}, {2}} is pages 1 and 2
// on a side each; {{1, 4}, {2, 3}} a four-page booklet; {} no numbered
// page (text).
using Sides = std::vector<std::vector<int>>;

// Empty when `stream` prints exactly `sides`, each on an A4 side with ink
// on it; else how it differs.
std::string SidesDiffer(const std::filesystem::path& stream, const Sides& sides);

// Booklets through finishings (booklet-maker), which CUPS's driverless
// queues offer as their Booklet choice and send for it.
inline constexpr bool kBookletFinishings = true;
inline constexpr char kNoBookletFinishings[] = "the copier takes no finishings booklet-maker (13)";

}  // namespace pclspool::apptest
