#include "documents.h"

#include <vector>

#include "support/render/real_jobs.h"

namespace pclspool::apptest {

DocumentFile Document(Kind kind, int pages) {
  struct Recipe {
    const char* format;
    const char* device;  // Ghostscript's
    std::vector<std::string> options;
  };
  // By Kind. Raster in 8-bit grey (sGray), what the app asks of raster
  // clients; URF is Apple raster, as AirPrint clients send it.
  const Recipe recipes[] = {
      {"application/pdf", "pdfwrite", {}},
      {"application/postscript", "ps2write", {"-r600"}},
      {"application/vnd.hp-pcl", "ljet4", {}},
      {"image/pwg-raster", "pwgraster", {"-r150", "-dcupsColorSpace=18", "-dcupsBitsPerColor=8"}},
      {"image/urf", "urf", {"-r300", "-dcupsColorSpace=18", "-dcupsBitsPerColor=8"}},
      {"image/jpeg", "jpeggray", {"-r100"}},
      {"image/png", "pnggray", {"-r100"}},
  };
  const Recipe& r = recipes[static_cast<int>(kind)];
  const bool image = kind == Kind::kJpeg || kind == Kind::kPng;
  const render::JobFile job = render::GhostscriptJob(r.device, image ? 1 : pages, r.options);
  return {job.path, r.format, job.error};
}

}  // namespace pclspool::apptest
