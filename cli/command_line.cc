#include "cli/command_line.h"

#include <charconv>
#include <chrono>
#include <limits>
#include <string_view>

#include <vector>

#include "runner/job_catalogue.h"
#include "runner/report.h"

namespace pclspool::cli {

namespace {

constexpr char kUsageHead[] =
    "Usage: pclspool print [options] [INPUT...]\n"
    "\n"
    "Plays the print spooler for one job: the job's PJL/PCL stream goes page by\n"
    "page through the spooler hooks, and what they send to the printer is\n"
    "written to the output. INPUT is a PCL job, a PDF or a PostScript file, told\n"
    "by its content; none, or -, reads standard input. Several inputs are read\n"
    "one after another as one job.\n"
    "\n"
    "PDF and PostScript are rendered by Ghostscript, every page scaled into its\n"
    "place on the sheet (one-up, two-up, four-up or booklet, as the settings\n"
    "say), and sent as PCL raster pages.\n"
    "\n"
    "The job is split into pages at the form feeds that end PCL pages (not those\n"
    "inside raster or font data, HP-GL/2 or PJL); they are not passed on, since\n"
    "the module writes its own sheet separators. A page also ends before a reset,\n"
    "a UEL or a change of paper that follows something printed. What follows the\n"
    "last page and prints nothing closes the job. The PJL lines at the start of\n"
    "the job go in buffers of their own, so that \"@PJL COMMENT XDIM=\" takes effect.\n"
    "\n"
    "Options:\n"
    "  -o FILE               write the printer output to FILE (default: standard output)\n"
    "  --page-files          every INPUT is exactly one page, sent as it is\n"
    "  --ini FILE            the settings file (default: OrvWater.INI in the current\n"
    "                        directory; without it every setting has its default)\n"
    "  --set KEY=VALUE       a [SETTING] key on top of the settings file and the job\n"
    "                        options (repeatable), e.g. --set \"ZOOM INDEX=2\"\n"
    "  --devmode FILE        the job's DEVMODEW and DriverExtra (278 bytes)\n"
    "  --spool-dir DIR       where page files go (default: a private temporary\n"
    "                        directory, removed at exit)\n"
    "  --printer-handle HEX  the printer handle (default 1)\n"
    "  --job-id N            the job id (default 1)\n"
    "  --font FACE=FILE      use the font file FILE for the face name FACE (repeatable)\n"
    "  --dpi N               LOGPIXELSX of the screen\n"
    "  --trace               every trace line to standard error\n"
    "  --gs PROGRAM          the Ghostscript program (default: gs on PATH)\n"
    "  --title TEXT          what messages call the document (default: its file name)\n"
    "  --page-timeout SECS   PDF and PostScript: stop a document that makes no page\n"
    "                        for SECS seconds (default 120)\n"
    "  --max-pages N         stop a job at its page N+1 (default 100000)\n"
    "  --max-stdin-pdf BYTES refuse a PDF on standard input above BYTES (default\n"
    "                        2147483648; a PDF named as a file is not limited)\n"
    "  --help                this text\n"
    "  --version             the version\n"
    "\n"
    "Job options, as a print dialog gives them: with any of them the job has a\n"
    "ticket, whose other options take their defaults, and the settings file's\n"
    "keys they stand for (paper, resolution, orientation, copies, n-up, sides,\n"
    "booklet) give way to it.\n";

constexpr char kUsageTail[] =
    "\n"
    "Exit status: 0 done; 1 the printer output could not be written, or stored\n"
    "pages were lost; 2 bad usage or unreadable input (also a document that\n"
    "Ghostscript cannot render, Ghostscript missing or failing in mid-job, a\n"
    "watermark text the settings file lacks, or a limit crossed);\n"
    "4 out of memory before the job could start. SIGINT, SIGTERM and SIGHUP\n"
    "stop the job cleanly, and the command then ends by the signal.\n";

}  // namespace

std::string Usage() { return kUsageHead + runner::JobOptionsHelp() + kUsageTail; }

namespace {

template <typename T>
bool ParseNumber(std::string_view text, int base, T* value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, *value, base);
  return ec == std::errc() && ptr == end;
}

bool SplitPair(std::string_view text, std::pair<std::string, std::string>* out) {
  const std::size_t eq = text.find('=');
  if (eq == std::string_view::npos || eq == 0) return false;
  *out = {std::string(text.substr(0, eq)), std::string(text.substr(eq + 1))};
  return true;
}

// Options that take a value.
constexpr std::string_view kValued[] = {
    "-o",          "--ini",           "--set",           "--devmode",
    "--spool-dir", "--printer-handle", "--job-id",       "--font",          "--dpi",
    "--gs",        "--title",         "--page-timeout",  "--max-pages",     "--max-stdin-pdf"};

bool TakesValue(std::string_view name) {
  for (std::string_view v : kValued) {
    if (v == name) return true;
  }
  const runner::JobOption* option = runner::FindJobOptionByFlag(name);
  return option && !option->flag_value.empty();
}

// An option's name, and its value when the argument holds one too
// ("--name=value", "-oFILE"): true then.
bool SplitOption(std::string_view arg, std::string_view* name, std::string_view* value) {
  *name = arg;
  if (arg.size() > 2 && arg[1] == '-') {
    const std::size_t eq = arg.find('=');
    if (eq == std::string_view::npos) return false;
    *name = arg.substr(0, eq);
    *value = arg.substr(eq + 1);
    return true;
  }
  if (arg.size() > 2 && arg[1] == 'o') {
    *name = arg.substr(0, 2);
    *value = arg.substr(2);
    return true;
  }
  return false;
}

// Applies one option with its value; false with *error set when the value
// is not acceptable.
bool Apply(std::string_view name, std::string_view value, CommandLine* line, std::string* error) {
  runner::JobOptions* o = &line->job;
  const auto bad = [&](std::string_view what) {
    *error = std::string(name) + ": '" + std::string(value) + "' is not " + std::string(what);
    return false;
  };
  if (name == "-o") {
    if (value.empty()) return bad("a file name");
    line->output = value;
  } else if (name == "--ini") {
    if (value.empty()) return bad("a file name");
    o->ini = value;
  } else if (name == "--set") {
    std::pair<std::string, std::string> kv;
    if (!SplitPair(value, &kv)) return bad("KEY=VALUE");
    o->settings.push_back(std::move(kv));
  } else if (name == "--devmode") {
    if (value.empty()) return bad("a file name");
    o->devmode = value;
  } else if (name == "--spool-dir") {
    if (value.empty()) return bad("a directory");
    o->spool_dir = value;
  } else if (name == "--printer-handle") {
    std::string_view hex = value;
    if (hex.size() > 2 && hex[0] == '0' && (hex[1] == 'x' || hex[1] == 'X')) hex.remove_prefix(2);
    uintptr_t h = 0;
    if (!ParseNumber(hex, 16, &h)) return bad("a hexadecimal handle");
    o->printer_handle = h;
  } else if (name == "--job-id") {
    uint32_t n = 0;
    if (!ParseNumber(value, 10, &n)) return bad("a number from 0 to 4294967295");
    o->job_id = n;
  } else if (name == "--font") {
    std::pair<std::string, std::string> kv;
    if (!SplitPair(value, &kv) || kv.second.empty()) return bad("FACE=FILE");
    o->fonts.push_back(std::move(kv));
  } else if (name == "--dpi") {
    int n = 0;
    if (!ParseNumber(value, 10, &n) || n < 1 || n > 10000) return bad("a resolution from 1 to 10000");
    o->dpi = n;
  } else if (name == "--gs") {
    if (value.empty()) return bad("a program");
    o->ghostscript = value;
  } else if (name == "--title") {
    o->title = value;
  } else if (name == "--page-timeout") {
    uint32_t n = 0;
    if (!ParseNumber(value, 10, &n) || n < 1 || n > 86400) {
      return bad("a number of seconds from 1 to 86400");
    }
    o->limits.page_timeout = std::chrono::seconds(n);
  } else if (name == "--max-pages") {
    uint32_t n = 0;
    if (!ParseNumber(value, 10, &n) || n < 1) return bad("a number of pages from 1 to 4294967295");
    o->limits.max_pages = n;
  } else if (name == "--max-stdin-pdf") {
    uint64_t n = 0;
    if (!ParseNumber(value, 10, &n) || n < 1) return bad("a number of bytes above 0");
    o->limits.max_stdin_pdf_bytes = n;
  }
  return true;
}

// The job options given make the job's ticket, read in the catalogue's
// order (a later flag of the same option wins).
bool ReadJobOptions(
    const std::vector<std::pair<const runner::JobOption*, std::string_view>>& given,
    runner::JobOptions* o, std::string* error) {
  if (given.empty()) return true;
  runner::TicketReader reader;
  for (const runner::JobOption& option : runner::JobCatalogue()) {
    for (const auto& [which, value] : given) {
      if (which != &option || reader.Read(option, value, true, error)) continue;
      *error = std::string(option.flag) + " " + runner::Quoted(value) + ": " +
               error->substr(error->find(": ") + 2);
      return false;
    }
  }
  o->ticket = reader.ticket();
  return true;
}

}  // namespace

bool ParseCommandLine(int argc, const char* const* argv, CommandLine* out, std::string* error) {
  *out = CommandLine{};
  if (argc < 2) {
    *error = "no command given";
    return false;
  }
  const std::string_view command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    out->command = Command::kHelp;
    return true;
  }
  if (command == "--version") {
    out->command = Command::kVersion;
    return true;
  }
  if (command != "print") {
    *error = "unknown command '" + std::string(command) + "'";
    return false;
  }
  out->command = Command::kPrint;
  runner::JobOptions& o = out->job;
  std::vector<std::pair<const runner::JobOption*, std::string_view>> job_values;
  bool options_done = false;
  for (int i = 2; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (options_done || arg == "-" || arg.empty() || arg[0] != '-') {
      o.inputs.emplace_back(arg);
      continue;
    }
    if (arg == "--") {
      options_done = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      out->command = Command::kHelp;
      return true;
    }
    if (arg == "--version") {
      out->command = Command::kVersion;
      return true;
    }
    if (arg == "--page-files") {
      o.page_files = true;
      continue;
    }
    if (arg == "--trace") {
      o.trace = true;
      continue;
    }
    if (const runner::JobOption* option = runner::FindJobOptionByFlag(arg);
        option && option->flag_value.empty()) {
      job_values.emplace_back(option, option->flag_sets);
      continue;
    }
    // "--name value", "--name=value", "-o value" and "-oFILE".
    std::string_view name;
    std::string_view value;
    const bool has_value = SplitOption(arg, &name, &value);
    if (!TakesValue(name)) {
      *error = "unknown option '" + std::string(arg) + "'";
      return false;
    }
    if (!has_value) {
      if (i + 1 >= argc) {
        *error = "missing value for " + std::string(name);
        return false;
      }
      value = argv[++i];
    }
    if (const runner::JobOption* option = runner::FindJobOptionByFlag(name)) {
      job_values.emplace_back(option, value);
    } else if (!Apply(name, value, out, error)) {
      return false;
    }
  }
  return ReadJobOptions(job_values, &o, error);
}

}  // namespace pclspool::cli
