// The queue's PPD with the administrator's watermark texts as the labels of
// its Watermark choices, so that a print dialog shows "CONFIDENTIAL" rather
// than "Text 1". The choices' keywords stay 1 to N (the filter and every
// queue's saved defaults know them by number); None stays first.
#pragma once

#include <string>
#include <vector>

namespace pclspool::filter {

// The PPD text with its Watermark choices replaced by one for each text
// (UTF-8), labelled with it in the PPD's ISOLatin1: characters Latin-1
// lacks become '?', and those a label cannot hold are written in hex.
// Empty when the PPD has no Watermark option.
std::string WithWatermarkTexts(const std::string& ppd, const std::vector<std::string>& texts);

// A text as a PPD label, as WithWatermarkTexts writes it (at most 120
// bytes).
std::string PpdLabel(const std::string& utf8);

}  // namespace pclspool::filter
