// pclspool, CUPS's driver program (in its server bin's driver/): lists the
// pclspool PPD for lpinfo -m and lpadmin -m, and writes it with the
// Watermark choices labelled by the texts of the administrator's settings
// file ($CUPS_SERVERROOT/pclspool/OrvWater.INI), read when the queue is
// added. After editing the file, the administrator refreshes a queue's
// dialog by adding it again: lpadmin -p copier -m pclspool:copier.ppd.
//
//   pclspool list             the PPD's line for cups-driverd
//   pclspool cat NAME         the PPD NAME on standard output
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "filter/ppd_watermarks.h"
#include "runner/job_runner.h"
#include "runner/write_all.h"

namespace {

constexpr char kPpdName[] = "pclspool:copier.ppd";
constexpr char kSettingsFile[] = "/pclspool/OrvWater.INI";

std::string Env(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return v && *v ? v : fallback;
}

int Fail(const std::string& why) {
  pclspool::runner::WriteAll(STDERR_FILENO, "ERROR: [pclspool] " + why + "\n");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  using pclspool::runner::WriteAll;
  if (argc == 2 && std::strcmp(argv[1], "list") == 0) {
    WriteAll(STDOUT_FILENO, std::string("\"") + kPpdName +
                                "\" en \"pclspool\" \"pclspool PCL copier, watermarks and booklets\""
                                " \"\" \"(pclspool PCL copier)\"\n");
    return 0;
  }
  if (argc != 3 || std::strcmp(argv[1], "cat") != 0) return Fail("usage: pclspool list | cat NAME");
  if (std::strcmp(argv[2], kPpdName) != 0) return Fail(std::string("no PPD named ") + argv[2]);
  // The PPD as installed (PCLSPOOL_PPD names another, for a test).
  const std::string ppd_path = Env("PCLSPOOL_PPD", PCLSPOOL_PPD_FILE);
  std::ifstream in(ppd_path, std::ios::binary);
  std::stringstream ppd;
  ppd << in.rdbuf();
  if (!in) return Fail("cannot read " + ppd_path);
  const std::string ini = Env("CUPS_SERVERROOT", "/etc/cups") + kSettingsFile;
  std::vector<std::string> texts;
  if (::access(ini.c_str(), R_OK) == 0) texts = pclspool::runner::WatermarkTexts(ini);
  const std::string out = pclspool::filter::WithWatermarkTexts(ppd.str(), texts);
  if (out.empty()) return Fail(ppd_path + " has no Watermark option");
  return WriteAll(STDOUT_FILENO, out) ? 0 : 1;
}
