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

// A job asking for finishings booklet-maker (13), as CUPS's driverless
// queues send their Booklet choice, prints a booklet. The printer cannot
// offer it: PAPPL 1.3.1 writes finishings-supported from its own
// finishings, which have no booklet-maker, ahead of the driver's
// attributes, so a driverless queue shows no Booklet choice
// (docs/printer-app.md).
inline constexpr bool kBookletFinishings = true;
inline constexpr char kNoBookletFinishings[] = "the copier takes no finishings booklet-maker (13)";
inline constexpr bool kBookletOffered = false;
inline constexpr char kNoBookletOffered[] =
    "PAPPL 1.3.1 lists no booklet-maker in finishings-supported, and a driver's own "
    "finishings-supported would come after its own";

}  // namespace pclspool::apptest
