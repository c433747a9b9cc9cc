// How a CUPS job's request becomes the job runner's options: the [SETTING]
// keys the module reads at the first page, the watermark, the page ranges,
// and which copies the module makes and which the printer makes.
//
// Every option is applied once, here: no filter before this one places
// pages or makes copies, and the PPD tells the backends that the copies are
// made (cupsManualCopies), so that an IPP printer is not asked for more.
#pragma once

#include <string>

#include "job_request.h"
#include "options.h"

namespace pclspool::filter {

// The module's settings for the job's layout, copies, paper and sides, on
// top of the INI file at `ini`.
cli::PrintOptions MapRequest(const JobRequest& request, const std::string& ini);

// Whether the job's pages are placed by the rendering side: PDF and
// PostScript are; a PCL job comes placed already and prints one page to a
// side, whole and in its own order.
bool PlacesPages(const JobRequest& request);

// Whether the job prints as a booklet (only a job whose pages are placed).
bool PrintsBooklet(const JobRequest& request);

// Who makes the copies. Collated copies are the module's: the document is
// stored once and replayed. A booklet is always collated (its sheets are
// folded and stapled together). Uncollated copies are the printer's: each
// sheet is printed that many times as it comes. One of the two is 1.
struct CopyPlan {
  int collated;    // documents the module sends
  int uncollated;  // times the printer prints each sheet
};
CopyPlan PlanCopies(const JobRequest& request);

}  // namespace pclspool::filter
