// The printer stand-in: gpcl6 (GhostPCL) renders a printer stream into the
// pages a PCL printer would print.
//
// Where gpcl6 is looked for: support/gpcl6.h. Tests that render skip when
// gpcl6 or Ghostscript is missing, and fail instead when the environment
// variable CI is set.
#pragma once

#include <filesystem>
#include <string>

#include "support/render/page_image.h"
#include "support/required.h"

namespace pclspool::render {

// Empty when gpcl6 and Ghostscript (`gs` on PATH, which makes the real
// jobs) can run; otherwise what is missing.
std::string MissingRenderTools();

// Every page gpcl6 prints for `job`, at `dpi` dots per inch, in grey.
PageImages RenderPages(const std::filesystem::path& job, int dpi);

}  // namespace pclspool::render

// For the start of a test (or its fixture's SetUp) that renders.
#define PCLSPOOL_REQUIRE_RENDER_TOOLS() PCLSPOOL_REQUIRE(::pclspool::render::MissingRenderTools())
