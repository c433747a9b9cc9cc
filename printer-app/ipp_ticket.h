// A job's IPP attributes as the copier's job ticket: copies and
// multiple-document-handling, sides, media, orientation-requested,
// page-ranges and print-scaling (PAPPL's, with the printer's defaults in
// place), and the vendor attributes (vendor_attributes.h), the job's own
// value or else the printer's default. Each is read once, here; the runner
// applies the ticket.
#pragma once

#include <pappl/pappl.h>

#include <functional>
#include <string>
#include <vector>

#include "printer-app/job_command.h"
#include "runner/job_ticket.h"

namespace pclspool::app {

// Where the values come from.
struct JobAttributes {
  // What PAPPL made of the job's standard attributes and the printer's
  // defaults (papplJobCreatePrintOptions).
  int copies = 1;
  std::string media;  // PWG media size name
  ipp_orient_t orientation = IPP_ORIENT_PORTRAIT;
  pappl_sides_t sides = PAPPL_SIDES_ONE_SIDED;
  pappl_scaling_t scaling = PAPPL_SCALING_AUTO;
  // The job's own attribute of a name, or null.
  std::function<ipp_attribute_t*(const char* name)> job;
  // The printer's "NAME-default" attribute for a name, or null.
  std::function<ipp_attribute_t*(const char* name)> printer_default;
};

// Fills *ticket and *scaling. False with *error, one line naming the
// attribute and its value, when a value is not one the copier takes.
bool ReadJobTicket(const JobAttributes& attributes,
                   const std::vector<std::string>& watermark_keywords,
                   runner::JobTicket* ticket, Scaling* scaling, std::string* error);

}  // namespace pclspool::app
