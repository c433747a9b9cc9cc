// The command line of `pclspool`: what to do, and for `print` the job and
// the printer it plays.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pclspool::cli {

struct PrintOptions {
  std::vector<std::string> inputs;  // none, or "-", is standard input
  bool page_files = false;          // every input is one page, sent as it is
  std::string output;               // empty: standard output
  // The settings file. Empty: "OrvWater.INI" in the working directory, the
  // name in any case, and all defaults when there is none; a file named
  // here must exist.
  std::string ini;
  std::vector<std::pair<std::string, std::string>> settings;  // [SETTING] keys on top of the INI
  std::optional<uint16_t> watermark;  // waterIdx in the job's DriverExtra
  std::string devmode;                // file with the job's 278-byte DEVMODEW and DriverExtra
  std::string spool_dir;              // empty: a private temporary directory
  uintptr_t printer_handle = 1;
  uint32_t job_id = 1;
  std::vector<std::pair<std::string, std::string>> fonts;  // face name, font file
  int dpi = 0;  // LOGPIXELSX of the screen; 0 leaves the platform's
  bool trace = false;
  // PDF and PostScript input: the Ghostscript program, and the pages to
  // print (Ghostscript's PageList, checked; empty for every page).
  std::string ghostscript = "gs";
  std::string page_ranges;

  // What a spooler in front of the command (the CUPS filter) sets.
  //
  // Uncollated copies, made by the printer: above 1, every page ends with
  // the PCL number of copies, so that each sheet comes out this many times.
  uint16_t printer_copies = 1;
  // Called after the hooks have ended each page, with its number (1, 2, ...).
  std::function<void(uint32_t page)> on_page_end;
  // What every diagnostic line on standard error starts with.
  std::string report_prefix = "pclspool: ";
};

enum class Command { kPrint, kHelp, kVersion };

struct CommandLine {
  Command command = Command::kHelp;
  PrintOptions print;
};

// Reads argv. On a usage error returns false with a one-line reason in
// *error and leaves *out unspecified.
bool ParseCommandLine(int argc, const char* const* argv, CommandLine* out, std::string* error);

// The text of `pclspool --help`.
extern const char kUsage[];

}  // namespace pclspool::cli
