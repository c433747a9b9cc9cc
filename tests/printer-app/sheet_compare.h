// What the app printed against what `pclspool print` makes of the same
// document and settings, sheet by sheet through gpcl6.
#pragma once

#include <filesystem>
#include <string>

#include "runner/job_ticket.h"

namespace pclspool::apptest {

// Empty when the device stream `printed` shows the same sheets, pixel for
// pixel at `dpi`, as `pclspool print` of `document` with the settings file
// `ini` and the settings the runner makes of `ticket` (uncollated copies,
// which the printer makes, repeat each of its sheets); else what differs.
std::string CompareWithCommand(const std::filesystem::path& printed,
                               const std::filesystem::path& document,
                               const std::filesystem::path& ini, const runner::JobTicket& ticket,
                               const std::filesystem::path& dir, int dpi);

}  // namespace pclspool::apptest
