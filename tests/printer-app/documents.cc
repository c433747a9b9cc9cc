#include "documents.h"

#include <unistd.h>

#include <functional>
#include <vector>

#include "support/render/real_jobs.h"
#include "support/child_process.h"

namespace pclspool::apptest {

namespace fs = std::filesystem;

namespace {

struct Recipe {
  Kind kind;
  const char* format;
  const char* device;  // Ghostscript's
  const char* extension;
  const char* resolution;  // for raster devices
};

constexpr Recipe kRecipes[] = {
    {Kind::kPdf, "application/pdf", "pdfwrite", "pdf", nullptr},
    {Kind::kPostScript, "application/postscript", "ps2write", "ps", nullptr},
    {Kind::kPcl, "application/vnd.hp-pcl", "ljet4", "pcl", nullptr},
    // 8-bit grey, what the app asks of raster clients.
    {Kind::kPwgRaster, "image/pwg-raster", "pwgraster", "pwg", "-r150"},
    // Apple raster, as AirPrint clients send it.
    {Kind::kUrf, "image/urf", "urf", "urf", "-r300"},
    {Kind::kJpeg, "image/jpeg", "jpeggray", "jpg", "-r100"},
    {Kind::kPng, "image/png", "pnggray", "png", "-r100"},
};

}  // namespace

DocumentFile Document(Kind kind, int pages) {
  const Recipe* r = nullptr;
  for (const Recipe& recipe : kRecipes) {
    if (recipe.kind == kind) r = &recipe;
  }
  if (kind == Kind::kPdf || kind == Kind::kPcl) {
    const render::JobFile job = render::GhostscriptJob(r->device, pages);
    return {job.path, r->format, job.error};
  }
  const bool image = kind == Kind::kJpeg || kind == Kind::kPng;
  const fs::path dir = PCLSPOOL_APP_TEST_CACHE;
  fs::create_directories(dir);
  std::vector<std::string> args = {"gs", "-q", "-dBATCH", "-dNOPAUSE", "-dSAFER",
                                   "-sPAPERSIZE=a4", "-dPageCount=" + std::to_string(pages),
                                   std::string("-sDEVICE=") + r->device};
  if (r->resolution) args.push_back(r->resolution);
  if (kind == Kind::kPwgRaster || kind == Kind::kUrf) {
    args.insert(args.end(), {"-dcupsColorSpace=18", "-dcupsBitsPerColor=8"});  // sGray, 8 bits
  }
  if (image) args.push_back("-dLastPage=1");
  args.push_back("-sOutputFile=");  // below, once the file is named
  args.push_back((fs::path(PCLSPOOL_TEST_DATA) / "numbered_pages.ps").string());
  // Named for how it is made, so that a changed recipe makes it anew.
  std::string recipe;
  for (std::size_t i = 0; i + 2 < args.size(); ++i) recipe += args[i] + " ";
  const fs::path file = dir / ("numbered-" + std::to_string(image ? 1 : pages) + "-" +
                               std::to_string(std::hash<std::string>{}(recipe) % 1000000) + "." +
                               r->extension);
  if (fs::is_regular_file(file) && fs::file_size(file) > 0) return {file, r->format, ""};
  const fs::path part = file.string() + "." + std::to_string(::getpid()) + ".part";
  args[args.size() - 2] = "-sOutputFile=" + part.string();
  const testing::ProgramRun run = testing::RunProgram({.argv = args});
  std::error_code ec;
  if (!run.Ok() || !fs::is_regular_file(part)) {
    fs::remove(part, ec);
    return {{}, r->format, run.Describe(std::string("gs -sDEVICE=") + r->device)};
  }
  fs::rename(part, file, ec);
  return {file, r->format, ec ? ec.message() : ""};
}

}  // namespace pclspool::apptest
