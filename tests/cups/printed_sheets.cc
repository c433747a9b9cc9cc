#include "printed_sheets.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "processes.h"

namespace pclspool::cups_test {

namespace {

namespace fs = std::filesystem;

// A binary PGM (P5) of 8-bit samples, as gpcl6's pgmraw device writes it.
bool ReadPgm(const std::string& path, Sheet* sheet) {
  std::ifstream in(path, std::ios::binary);
  const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::size_t at = 0;
  const auto token = [&]() {
    while (at < data.size()) {
      if (data[at] == '#') {
        while (at < data.size() && data[at] != '\n') ++at;
      } else if (std::isspace(static_cast<unsigned char>(data[at]))) {
        ++at;
      } else {
        break;
      }
    }
    const std::size_t start = at;
    while (at < data.size() && !std::isspace(static_cast<unsigned char>(data[at]))) ++at;
    return data.substr(start, at - start);
  };
  if (token() != "P5") return false;
  const int w = std::atoi(token().c_str());
  const int h = std::atoi(token().c_str());
  const int max = std::atoi(token().c_str());
  ++at;  // the one blank after the header
  const std::size_t size = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  if (w <= 0 || h <= 0 || max != 255 || data.size() < at + size) return false;
  sheet->width = w;
  sheet->height = h;
  sheet->pixels.assign(data.begin() + static_cast<std::ptrdiff_t>(at),
                       data.begin() + static_cast<std::ptrdiff_t>(at + size));
  return true;
}

}  // namespace

std::vector<Sheet> RenderSheets(const std::string& gpcl6, const std::string& stream, int dpi,
                                const std::string& work_dir) {
  std::error_code ec;
  const fs::path dir = fs::path(work_dir) / (fs::path(stream).filename().string() + ".sheets");
  fs::remove_all(dir, ec);
  fs::create_directories(dir, ec);
  const Ran r = RunProgram({gpcl6, "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=pgmraw",
                            "-r" + std::to_string(dpi),
                            "-sOutputFile=" + (dir / "%04d.pgm").string(), stream});
  std::vector<Sheet> sheets;
  if (r.status != 0) return sheets;
  for (int i = 1;; ++i) {
    char name[16];
    std::snprintf(name, sizeof(name), "%04d.pgm", i);
    Sheet s;
    if (!ReadPgm((dir / name).string(), &s)) break;
    sheets.push_back(std::move(s));
  }
  fs::remove_all(dir, ec);
  return sheets;
}

Difference Compare(const Sheet& page, const Sheet& printed) {
  Difference d;
  if (page.width != printed.width || page.height != printed.height) {
    d.missing = static_cast<long>(page.pixels.size());
    return d;
  }
  d.extra_box = {page.width, page.height, -1, -1};
  for (int y = 0; y < page.height; ++y) {
    for (int x = 0; x < page.width; ++x) {
      const bool want = page.Ink(x, y);
      const bool got = printed.Ink(x, y);
      if (want && !got) ++d.missing;
      if (got && !want) {
        ++d.extra;
        d.extra_box.left = std::min(d.extra_box.left, x);
        d.extra_box.top = std::min(d.extra_box.top, y);
        d.extra_box.right = std::max(d.extra_box.right, x);
        d.extra_box.bottom = std::max(d.extra_box.bottom, y);
      }
    }
  }
  return d;
}

}  // namespace pclspool::cups_test
