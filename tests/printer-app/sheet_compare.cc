#include "sheet_compare.h"

#include <sstream>

#include "support/render/page_compare.h"
#include "support/render/print_job.h"
#include "support/render/renderer.h"
#include "runner/ticket_settings.h"

namespace pclspool::apptest {

std::string CompareWithCommand(const std::filesystem::path& printed,
                               const std::filesystem::path& document,
                               const std::filesystem::path& ini, const runner::JobTicket& ticket,
                               const std::filesystem::path& dir, int dpi) {
  runner::JobOptions options;
  std::string left_out;
  runner::ApplyTicket(ticket, runner::InputKind::kPdf, &options, &left_out);
  std::vector<std::string> args = {"--ini", ini.string()};
  for (const auto& [key, value] : options.settings) {
    args.insert(args.end(), {"--set", key + "=" + value});
  }
  if (options.watermark) args.insert(args.end(), {"--watermark", std::to_string(*options.watermark)});
  if (!options.page_ranges.empty()) args.insert(args.end(), {"--page-ranges", options.page_ranges});
  // The choices that are not [SETTING] keys, as the command's options.
  if (options.upside_down) {
    const bool landscape = ticket.orientation == runner::Orientation::kReverseLandscape;
    args.insert(args.end(), {"--orientation", landscape ? "reverse-landscape" : "reverse-portrait"});
  }
  if (options.page_set != runner::PageSet::kAll) {
    args.insert(args.end(), {"--page-set", options.page_set == runner::PageSet::kOdd ? "odd" : "even"});
  }
  if (options.reverse_order) args.push_back("--reverse-order");
  if (options.page_border) args.push_back("--page-border");
  constexpr const char* kLayouts[] = {"lrtb", "lrbt", "rltb", "rlbt", "tblr", "tbrl", "btlr", "btrl"};
  args.insert(args.end(),
              {"--number-up-layout", kLayouts[static_cast<int>(options.number_up_layout)]});
  const render::PageImages want =
      render::PrintAndRender(args, document, dir / (printed.stem().string() + "-command.prn"), dpi);
  const render::PageImages got = render::RenderPages(printed, dpi);
  if (!want.error.empty()) return want.error;
  if (!got.error.empty()) return got.error;
  const std::size_t repeat = options.uncollated_copies;
  std::ostringstream diff;
  if (got.pages.size() != want.pages.size() * repeat) {
    diff << got.pages.size() << " sheets printed, " << want.pages.size() << " x " << repeat
         << " by the command";
    return diff.str();
  }
  for (std::size_t i = 0; i < got.pages.size(); ++i) {
    const render::PageDiff d = render::ComparePages(got.pages[i], want.pages[i / repeat]);
    if (d.pixels != 0) diff << "sheet " << i + 1 << ": " << d.pixels << " pixels differ in " << d.box << "; ";
  }
  return diff.str();
}

}  // namespace pclspool::apptest
