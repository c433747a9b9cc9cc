// A job's IPP attributes as the copier's job ticket, each read through its
// entry of the catalogue (runner/job_catalogue.h): PAPPL's own (copies,
// media, sides, orientation-requested, print-scaling, with the printer's
// defaults in place), the job attributes PAPPL lets through
// (multiple-document-handling, page-ranges, finishings), and the vendor
// attributes (vendor_attributes.h), the job's own value or else the
// printer's default. The runner applies the ticket.
#pragma once

#include <pappl/pappl.h>

#include <functional>
#include <string>
#include <vector>

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

// Fills *ticket. False with *error, one line naming the attribute and its
// value, when a value is not one the copier takes.
bool ReadJobTicket(const JobAttributes& attributes,
                   const std::vector<std::string>& watermark_keywords,
                   runner::JobTicket* ticket, std::string* error);

}  // namespace pclspool::app
