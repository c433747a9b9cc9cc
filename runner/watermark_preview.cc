#include "runner/watermark_preview.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "host/host.h"
#include "pcl/label_glyphs.h"
#include "runner/job_runner.h"

namespace pclspool::runner {

namespace {

// The resolution the runner prints at (its job ticket's), and the stream's.
constexpr int kStreamDpi = 600;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

bool WatermarkPreview(const PreviewRequest& request, GreyPicture* picture, std::string* error) {
  host::PaperPage paper;
  if (!host::PaperPageOf(request.paper, kStreamDpi, &paper)) {
    *error = "no paper named " + request.paper;
    return false;
  }
  const std::string blank = request.work_dir + "/blank.pcl";
  const std::string stream = request.work_dir + "/preview.prn";
  // A page of the paper with nothing on it: the watermark alone.
  std::ofstream(blank, std::ios::binary) << "\x1b" "E\x1b&l" << paper.pcl_size << "A\f";
  const int out = ::open(stream.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (out < 0) {
    *error = "cannot write " + stream;
    return false;
  }
  JobOptions options;
  options.inputs = {blank};
  options.ini = request.ini;
  options.spool_dir = request.work_dir;
  JobTicket ticket;
  ticket.paper = request.paper;
  ticket.watermark = request.watermark;
  options.ticket = ticket;
  JobEvents events;
  std::string failed;
  events.on_error = [&failed](const std::string& line) { failed = line; };
  const int status = RunPrintJob(options, {out, stream, {}}, events);
  ::close(out);
  if (status != kExitOk) {
    *error = failed.empty() ? "the preview job failed" : failed;
    return false;
  }

  const int width = paper.width;
  const int height = paper.height;
  const pcl::LabelPages labels =
      pcl::ReadLabelGlyphs(ReadFile(stream), {kStreamDpi, paper.offset});
  if (!labels.error.empty()) {
    *error = "the preview's printer stream: " + labels.error;
    return false;
  }

  // The dots the labels print, glyphs that overlap printing a dot once.
  const std::size_t row_bits = static_cast<std::size_t>(width);
  std::vector<bool> dots_inked(row_bits * static_cast<std::size_t>(height), false);
  int shading = 100;
  for (const pcl::LabelBlock& block : labels.blocks) {
    shading = block.shading;
    for (const pcl::PlacedGlyph& g : block.glyphs) {
      const pcl::GlyphBitmap& b = *g.bitmap;
      const std::size_t row_bytes = (static_cast<std::size_t>(b.width) + 7) / 8;
      for (int y = 0; y < b.height; ++y) {
        if (g.y + y < 0 || g.y + y >= height) continue;
        for (int x = 0; x < b.width; ++x) {
          if (g.x + x < 0 || g.x + x >= width) continue;
          if (b.rows[static_cast<std::size_t>(y) * row_bytes + x / 8] & (0x80 >> (x % 8))) {
            dots_inked[static_cast<std::size_t>(g.y + y) * row_bits + (g.x + x)] = true;
          }
        }
      }
    }
  }
  // Each pixel of the picture is the share of its dots that print, in the
  // labels' shade.
  GreyPicture p;
  p.width = width * request.dpi / kStreamDpi;
  p.height = height * request.dpi / kStreamDpi;
  std::vector<uint32_t> ink(static_cast<std::size_t>(p.width) * p.height, 0);
  for (int y = 0; y < height; ++y) {
    const int py = y * request.dpi / kStreamDpi;
    if (py >= p.height) break;
    for (int x = 0; x < width; ++x) {
      const int px = x * request.dpi / kStreamDpi;
      if (px < p.width && dots_inked[static_cast<std::size_t>(y) * row_bits + x]) {
        ++ink[static_cast<std::size_t>(py) * p.width + px];
      }
    }
  }
  const double dots = static_cast<double>(kStreamDpi) * kStreamDpi / (request.dpi * request.dpi);
  p.pixels.resize(ink.size());
  for (std::size_t i = 0; i < ink.size(); ++i) {
    const double cover = std::min(1.0, ink[i] / dots) * shading / 100.0;
    p.pixels[i] = static_cast<uint8_t>(255 - static_cast<int>(cover * 255 + 0.5));
  }
  *picture = std::move(p);
  return true;
}

}  // namespace pclspool::runner
