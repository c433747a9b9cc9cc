// What the Watermarks page reads from its forms and from its picture's
// query: the form variables (as PAPPL decodes them, name to value) as a
// watermark text's style, and a style back as a picture's query. Kept
// apart from the page so that what a browser sends is read the same way
// with or without a server.
#pragma once

#include <cups/cups.h>

#include <string>

#include "runner/watermark_styles.h"

namespace pclspool::app {

// The form variables of one request.
struct FormValues {
  int count = 0;
  cups_option_t* options = nullptr;

  // The value, or "" when absent.
  std::string Get(const char* name) const;
  // A whole decimal number within +-kMaxFormNumber, else `def`.
  int Int(const char* name, int def) const;
};

// Beyond any field's range, and far from int's limits.
inline constexpr long kMaxFormNumber = 100000;

// The style a save form or a picture query describes; a field that is
// absent or not a number gets a value CheckWatermarkStyle refuses (a
// height of 0, an angle or darkness of -1), so that nothing unasked is
// saved.
runner::WatermarkStyle StyleOfForm(const FormValues& form);

// The query (without "?") whose form values give the style back.
std::string PictureQuery(const runner::WatermarkStyle& style);

}  // namespace pclspool::app
