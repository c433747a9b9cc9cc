// The CUPS filter's reading of a job (filter/request_reader, through the
// catalogue's entries, runner/job_catalogue) on arbitrary arguments: the job's options as cupsd
// hands them over, marked on the PPD that ships with the filter, with the
// job's number and copies. On a shared queue the options come from any
// client on the network. Beyond not crashing:
// - an accepted job's ticket holds only what the copier prints: copies
//   within the limit, 1, 2 or 4 pages a side, a known paper, an IPP
//   orientation, a watermark text of the PPD's, a page list that reads
//   back as itself;
// - a refused one gets a message of one bounded line: cupsd acts on the
//   lines a filter writes, so a value must never begin a line of its own;
// - each entry of the catalogue, given the whole options text as one
//   value, does the same.
//
// Input: the job-id, a newline, the copies, a newline, then the options
// to the end. A NUL ends an argument, as it ends a C string.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "filter/request_reader.h"
#include "fuzz_check.h"
#include "runner/job_catalogue.h"
#include "runner/page_ranges.h"
#include "runner/report.h"
#include "ticket_checks.h"

namespace {

using namespace pclspool;

// One line, the quotes in it cut short.
void CheckMessage(const std::string& error) {
  FUZZ_CHECK(!error.empty());
  FUZZ_CHECK(error.size() <= 3 * runner::kMaxQuotedBytes + 200);
  for (const char c : error) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
}

void CheckTicket(const runner::JobTicket& t) {
  pclspool::fuzz::CheckTicketBounds(t, 99);
  if (!t.page_ranges.empty()) {
    std::string again, error;
    FUZZ_CHECK(runner::ParsePageRanges(t.page_ranges, &again, &error));
    FUZZ_CHECK(again == t.page_ranges);
  }
}

// The next argument: up to a newline (or the end, for the last one), cut
// at a NUL.
std::string Argument(std::string_view* rest, bool last) {
  std::size_t end = last ? rest->size() : rest->find('\n');
  if (end == std::string_view::npos) end = rest->size();
  std::string arg(rest->substr(0, end));
  rest->remove_prefix(end == rest->size() ? end : end + 1);
  return arg.substr(0, arg.find('\0'));
}

// Every entry of the catalogue on the text, on its own.
void CheckEntries(const std::string& text) {
  for (const runner::JobOption& option : runner::JobCatalogue()) {
    runner::TicketReader reader;
    std::string error;
    if (reader.Read(option, text, true, &error)) {
      CheckTicket(reader.ticket());
    } else {
      CheckMessage(error);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  const std::string job_id = Argument(&rest, false);
  const std::string copies = Argument(&rest, false);
  const std::string options = Argument(&rest, true);

  const std::vector<const char*> argv = {"copier", job_id.c_str(), "user",
                                         "title",  copies.c_str(), options.c_str()};
  filter::JobRequest request;
  std::string error;
  if (filter::ReadJobRequest(static_cast<int>(argv.size()), argv.data(), PCLSPOOL_PPD, &request,
                             &error)) {
    CheckTicket(request.ticket);
    FUZZ_CHECK(request.input.empty());
    FUZZ_CHECK(std::to_string(request.job_id) == job_id || (job_id.size() > 1 && job_id[0] == '0'));
  } else {
    CheckMessage(error);
  }
  CheckEntries(options);
  return 0;
}
