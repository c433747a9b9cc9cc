#include "printer-app/copier_media.h"

#include "runner/job_catalogue.h"

namespace pclspool::app {

namespace {

const runner::JobOption& Media() { return *runner::FindJobOption("media"); }

}  // namespace

std::vector<std::string> CopierMediaNames() {
  std::vector<std::string> names;
  for (const runner::OptionValue& v : Media().values) names.emplace_back(v.keyword);
  return names;
}

std::string PaperOfMedia(std::string_view pwg) {
  runner::TicketReader reader;
  std::string error;
  return reader.Read(Media(), pwg, false, &error) ? reader.ticket().paper : "";
}

std::string MediaOfPaper(std::string_view paper) {
  runner::JobTicket ticket;
  ticket.paper = paper;
  return Media().write(ticket);
}

}  // namespace pclspool::app
