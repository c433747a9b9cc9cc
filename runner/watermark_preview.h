// A picture of a page with a watermark of the settings file, as the
// printer prints it: a blank page with the watermark goes through the
// runner like any job, and the labels of its printer stream are placed as
// a PCL printer places them (pcl/label_glyphs.h), in the shade the stream
// gives them. The runner is one job per process: a front end makes the
// picture in a process of its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pclspool::runner {

struct PreviewRequest {
  std::string ini;         // the settings file
  uint16_t watermark = 1;  // its n-th text
  std::string paper = "a4";
  int dpi = 75;            // the picture's resolution
  std::string work_dir;    // where the job's files go for the while
};

// 8-bit grey, 0 black, rows from the top.
struct GreyPicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;
};

// False with *error (one line) when the job or its stream fails.
bool WatermarkPreview(const PreviewRequest& request, GreyPicture* picture, std::string* error);

}  // namespace pclspool::runner
