#include "support/render/real_jobs.h"

#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <system_error>

#include "support/child_process.h"

namespace pclspool::render {

namespace {

// The grid of the document has nine slots.
constexpr int kMaxPages = 9;

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// FNV-1a: names the cached job after what made it.
uint64_t Fingerprint(const std::vector<std::string>& parts) {
  uint64_t h = 14695981039346656037ull;
  for (const std::string& part : parts) {
    for (unsigned char c : part + '\0') {
      h ^= c;
      h *= 1099511628211ull;
    }
  }
  return h;
}

std::string Hex(uint64_t v) {
  static const char digits[] = "0123456789abcdef";
  std::string s(16, '0');
  for (int i = 15; i >= 0; --i, v >>= 4) s[i] = digits[v & 15];
  return s;
}

}  // namespace

const std::vector<std::string>& GhostscriptPclDevices() {
  static const std::vector<std::string> devices = {
      "laserjet", "ljetplus", "ljet2p", "ljet3", "ljet3d", "ljet4",
      "ljet4d",   "ljet4pjl", "lj4dith", "lj4dithp", "oce9050"};
  return devices;
}

JobFile GhostscriptJob(const std::string& device, int pages, const std::vector<std::string>& options) {
  if (pages < 1 || pages > kMaxPages) {
    return {{}, "the numbered-pages document has 1 to " + std::to_string(kMaxPages) + " pages, not " +
                    std::to_string(pages)};
  }
  const std::filesystem::path document = std::filesystem::path(PCLSPOOL_TEST_DATA) / "numbered_pages.ps";
  const std::string program = ReadAll(document);
  if (program.empty()) return {{}, document.string() + ": cannot be read"};

  const bool pdf = device == "pdfwrite";
  std::vector<std::string> args = {"gs", "-q", "-dBATCH", "-dNOPAUSE", "-dSAFER",
                                   "-sPAPERSIZE=a4", "-dPageCount=" + std::to_string(pages),
                                   "-sDEVICE=" + device};
  if (!pdf && options.empty()) args.push_back("-r600");
  args.insert(args.end(), options.begin(), options.end());
  std::vector<std::string> key = args;
  key.push_back(program);

  const std::filesystem::path cache = PCLSPOOL_RENDER_CACHE;
  std::error_code ec;
  std::filesystem::create_directories(cache, ec);
  const std::filesystem::path job = cache / (device + "-" + std::to_string(pages) + "p-" +
                                             Hex(Fingerprint(key)) + (pdf ? ".pdf" : options.empty() ? ".pcl" : ".out"));
  if (std::filesystem::is_regular_file(job) && std::filesystem::file_size(job) > 0) return {job, ""};

  // Tests run side by side: each makes its own file and renames it into
  // place, so that no test reads a job half written.
  const std::string mine = "." + std::to_string(::getpid());
  const std::filesystem::path part = job.string() + mine + ".part";
  args.push_back("-sOutputFile=" + part.string());
  args.push_back(document.string());
  const testing::ProgramRun run = testing::RunProgram({.argv = args});
  if (!run.Ok() || !std::filesystem::is_regular_file(part) || std::filesystem::file_size(part) == 0) {
    std::filesystem::remove(part, ec);
    return {{}, run.Describe("gs -sDEVICE=" + device)};
  }
  std::filesystem::rename(part, job, ec);
  if (ec) return {{}, "cannot keep " + job.string() + ": " + ec.message()};
  return {job, ""};
}

}  // namespace pclspool::render
