// How a job ticket becomes the module's settings: the [SETTING] keys read
// at the first page, the watermark, the page ranges, and which copies the
// module makes and which the printer makes.
#pragma once

#include <string>

#include "runner/input_kind.h"
#include "runner/job_options.h"
#include "runner/job_ticket.h"

namespace pclspool::runner {

// Whether the pages of a job of this kind are placed by the rendering
// side: PDF and PostScript are; a PCL job comes placed already and prints
// one page to a side, whole and in its own order.
inline bool PlacesPages(InputKind kind) { return IsRendered(kind); }

// Who makes the copies. Collated copies are the module's: the document is
// stored once and replayed. A booklet is always collated (its sheets are
// folded and stapled together). Uncollated copies are the printer's: each
// sheet is printed that many times as it comes. One of the two is 1.
struct CopyPlan {
  int collated;    // documents the module sends
  int uncollated;  // times the printer prints each sheet
};
CopyPlan PlanCopies(const JobTicket& ticket, InputKind kind);

// Sets the settings, watermark, page ranges and uncollated copies of *o
// for the ticket and a job of this kind. What the ticket asks that the
// kind cannot have (n-up, booklet, page ranges of a PCL job) is left out,
// and *left_out says so in a line (empty when nothing is).
void ApplyTicket(const JobTicket& ticket, InputKind kind, JobOptions* o, std::string* left_out);

// What the job prints, in a line: "Printing 3 collated copies as a
// booklet, watermark 2".
std::string DescribeTicket(const JobTicket& ticket, InputKind kind);

}  // namespace pclspool::runner
