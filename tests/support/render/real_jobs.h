// Real jobs from a real producer: the numbered-pages document
// (tests/data/numbered_pages.ps) converted by Ghostscript, at 600 dpi on
// A4, with one of its PCL devices or to PDF. Each job is made once and kept
// in the build tree; a change to the document or to the command makes a
// new one.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pclspool::render {

// Ghostscript's devices that write PCL 5 (and its PCL 3/4 forebears) for
// HP LaserJets, and for an HP-GL/2 plotter (oce9050).
const std::vector<std::string>& GhostscriptPclDevices();

struct JobFile {
  std::filesystem::path path;
  std::string error;  // empty when path holds the job
};

// `pages` pages (1 to 9) of the document through `device` (a PCL device,
// or "pdfwrite"; another with its `options`, which stand for -r600).
JobFile GhostscriptJob(const std::string& device, int pages,
                       const std::vector<std::string>& options = {});

}  // namespace pclspool::render
