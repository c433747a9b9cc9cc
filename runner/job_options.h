// A print job as the job runner takes it from any front end: its
// documents, its settings, the choices of its pages and copies, and the
// printer it plays.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "runner/job_limits.h"
#include "runner/job_ticket.h"

namespace pclspool::runner {

struct JobOptions {
  std::vector<std::string> inputs;  // none, or "-", is standard input
  bool page_files = false;          // every input is one page, sent as it is
  // The settings file. Empty: "OrvWater.INI" in the working directory, the
  // name in any case, and all defaults when there is none; a file named
  // here must exist.
  std::string ini;
  std::vector<std::pair<std::string, std::string>> settings;  // [SETTING] keys on top of the INI
  std::optional<uint16_t> watermark;  // waterIdx in the job's DriverExtra
  std::string devmode;                // file with the job's 278-byte DEVMODEW and DriverExtra
  std::string spool_dir;              // empty: a private temporary directory
  uintptr_t printer_handle = 1;
  uint32_t job_id = 1;
  std::vector<std::pair<std::string, std::string>> fonts;  // face name, font file
  int dpi = 0;  // LOGPIXELSX of the screen; 0 leaves the platform's
  bool trace = false;  // every trace line of the module to standard error
  // PDF and PostScript input: the Ghostscript program, and the pages to
  // print (Ghostscript's PageList, as ParsePageRanges leaves it; empty for
  // every page).
  std::string ghostscript = "gs";
  std::string page_ranges;
  // PDF and PostScript: which sides print and in what order, the order of
  // the pages on a sheet of several, frames around them, and the sheet
  // turned upside down (reverse portrait and reverse landscape).
  PageSet page_set = PageSet::kAll;
  bool reverse_order = false;
  NupLayout number_up_layout = NupLayout::kLrtb;
  bool page_border = false;
  bool upside_down = false;
  // Several inputs with collated copies: each copy of all the documents in
  // turn (A B A B), or each document's copies together (A A B B).
  DocumentCopies documents = DocumentCopies::kCollated;
  // What messages call the job's document (a job title); empty: its file's
  // name, or "standard input".
  std::string title;
  // Uncollated copies, made by the printer: above 1, every page ends with
  // the PCL number of copies, so that each sheet comes out this many times.
  uint16_t uncollated_copies = 1;
  // What a print dialog asks for (copies, n-up, booklet, paper, sides, ...),
  // applied once the documents' kind is known: on top of `settings`, and
  // setting `watermark`, `page_ranges` and `uncollated_copies`.
  std::optional<JobTicket> ticket;
  // What the job may take of the machine: time without a page, pages, a
  // PDF on standard input.
  JobLimits limits;
};

}  // namespace pclspool::runner
