#include "printer-app/preview_process.h"

#include <unistd.h>

#include <charconv>
#include <string>

#include "printer-app/png_image.h"
#include "runner/watermark_preview.h"
#include "runner/write_all.h"

namespace pclspool::app {

namespace {

bool Number(std::string_view text, int* value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return ec == std::errc() && end == text.data() + text.size();
}

int Fail(const std::string& why) {
  runner::WriteAll(STDERR_FILENO, "watermark preview: " + why + "\n");
  return 1;
}

}  // namespace

int PreviewProcessMain(int argc, char** argv) {
  runner::PreviewRequest request;
  for (int i = 2; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const std::size_t eq = arg.find('=');
    const std::string_view name = arg.substr(0, eq);
    const std::string_view value = eq == std::string_view::npos ? "" : arg.substr(eq + 1);
    int n = 0;
    if (name == "--ini") {
      request.ini = value;
    } else if (name == "--paper") {
      request.paper = value;
    } else if (name == "--work-dir") {
      request.work_dir = value;
    } else if (name == "--watermark" && Number(value, &n) && n >= 0 && n < 65536) {
      request.watermark = static_cast<uint16_t>(n);
    } else if (name == "--dpi" && Number(value, &n) && n >= 10 && n <= 300) {
      request.dpi = n;
    } else {
      return Fail("bad argument " + std::string(arg));
    }
  }
  runner::GreyPicture picture;
  std::string error;
  if (!runner::WatermarkPreview(request, &picture, &error)) return Fail(error);
  const std::string png = EncodeGreyPng(picture.width, picture.height, picture.pixels);
  return runner::WriteAll(STDOUT_FILENO, png) ? 0 : 1;
}

}  // namespace pclspool::app
