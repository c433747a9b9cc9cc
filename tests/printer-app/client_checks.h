// What the client tests check: a job's device stream, side by side, as
// gpcl6 prints it (the pages of the numbered-pages document each side
// shows, on A4), and which of the copier's options this build offers.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pclspool::apptest {

// The pages each printed side shows: {{1}, {2}} is pages 1 and 2 on a
// side each; {{1, 4}, {2, 3}} a four-page booklet.
using Sides = std::vector<std::vector<int>>;

// Empty when `stream` prints exactly `sides`, each on an A4 side with ink
// on it; else how it differs.
std::string SidesDiffer(const std::filesystem::path& stream, const Sides& sides);

// Booklets through finishings (booklet-maker), which CUPS's driverless
// queues send for their Booklet option, come with the job options'
// catalogue. Until this build has it, the cases that ask for a booklet are
// skipped with this message.
inline constexpr bool kBookletFinishings = false;
inline constexpr char kNoBookletFinishings[] =
    "the copier does not offer finishings booklet-maker (13) yet: that comes with the job "
    "options' catalogue";

}  // namespace pclspool::apptest
