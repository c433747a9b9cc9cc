// The real jobs the render tests print: the bundled sample job, and the
// numbered-pages document made by each of Ghostscript's PCL devices.
#pragma once

#include <string>
#include <vector>

#include "support/render/real_jobs.h"

namespace pclspool::render {

// "sample" and the device names.
std::vector<std::string> RealJobNames();

// The job of that name; the devices' jobs have `pages` pages.
JobFile RealJob(const std::string& name, int pages = 3);

}  // namespace pclspool::render
