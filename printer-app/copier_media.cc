#include "printer-app/copier_media.h"

namespace pclspool::app {

std::string PaperOfMedia(std::string_view pwg) {
  for (const CopierMedia& m : kCopierMedia) {
    if (pwg == m.pwg) return m.paper;
  }
  return "";
}

std::string MediaOfPaper(std::string_view paper) {
  for (const CopierMedia& m : kCopierMedia) {
    if (paper == m.paper) return m.pwg;
  }
  return "";
}

}  // namespace pclspool::app
