#include "printer-app/vendor_attributes.h"

#include <algorithm>

namespace pclspool::app {

namespace {

constexpr int kNumberUpValues[] = {1, 2, 4};
constexpr const char* kLayouts[] = {"lrtb", "lrbt", "rltb", "rlbt", "tblr", "tbrl", "btlr", "btrl"};
constexpr const char* kBooklets[] = {"none", "left", "right"};
constexpr const char* kPageSets[] = {"all", "odd", "even"};
constexpr const char* kOutputOrders[] = {"normal", "reverse"};
constexpr const char* kPageBorders[] = {"none", "single"};

std::string Default(const char* name) { return std::string(name) + "-default"; }

void AddKeywords(ipp_t* attrs, const char* name, const std::vector<std::string>& values,
                 ipp_t* defaults) {
  std::vector<const char*> v;
  for (const std::string& s : values) v.push_back(s.c_str());
  ippAddStrings(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, (std::string(name) + "-supported").c_str(),
                static_cast<int>(v.size()), nullptr, v.data());
  const char* chosen = values.front().c_str();
  if (defaults) {
    const char* d = ippGetString(ippFindAttribute(defaults, Default(name).c_str(), IPP_TAG_KEYWORD),
                                 0, nullptr);
    // Kept even when no longer supported: a preset whose watermark text has
    // gone from the settings file must not print without it.
    if (d) chosen = d;
  }
  ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, Default(name).c_str(), nullptr, chosen);
}

template <std::size_t N>
std::vector<std::string> List(const char* const (&values)[N]) {
  return std::vector<std::string>(values, values + N);
}

}  // namespace

const std::vector<const char*>& VendorAttributeNames() {
  static const std::vector<const char*> names = {kNumberUp, kNumberUpLayout, kBooklet, kWatermark,
                                                 kPageSet,  kOutputOrder,    kPageBorder};
  return names;
}

std::vector<std::string> WatermarkKeywords(const std::vector<std::string>& texts) {
  std::vector<std::string> keywords;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    std::string k;
    bool hyphen = false;
    for (const char ch : texts[i]) {
      const auto c = static_cast<unsigned char>(ch);
      if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')) {
        if (hyphen && !k.empty()) k += '-';
        hyphen = false;
        k += static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
      } else {
        hyphen = true;
      }
    }
    const auto taken = [&](const std::string& s) {
      return s == kNoWatermark || std::find(keywords.begin(), keywords.end(), s) != keywords.end();
    };
    // Appended piece by piece: GCC 12 at -O3 takes "literal" + std::string
    // for overlapping copies (GCC bug 105329) and stops a Release build.
    const std::string number = std::to_string(i + 1);
    if (k.empty()) {
      k = "text";
      k.append("-").append(number);
    } else if (taken(k)) {
      k.append("-").append(number);
    }
    while (taken(k)) k.append("-").append(number);
    keywords.push_back(k);
  }
  return keywords;
}

void AddVendorAttributes(ipp_t* attrs, const std::vector<std::string>& watermark_keywords,
                         ipp_t* defaults) {
  ippAddIntegers(attrs, IPP_TAG_PRINTER, IPP_TAG_INTEGER, "number-up-supported",
                 static_cast<int>(std::size(kNumberUpValues)), kNumberUpValues);
  int number_up = 1;
  if (defaults) {
    if (ipp_attribute_t* d = ippFindAttribute(defaults, Default(kNumberUp).c_str(), IPP_TAG_INTEGER)) {
      const int v = ippGetInteger(d, 0);
      if (std::find(std::begin(kNumberUpValues), std::end(kNumberUpValues), v) !=
          std::end(kNumberUpValues)) {
        number_up = v;
      }
    }
  }
  ippAddInteger(attrs, IPP_TAG_PRINTER, IPP_TAG_INTEGER, Default(kNumberUp).c_str(), number_up);
  AddKeywords(attrs, kNumberUpLayout, List(kLayouts), defaults);
  AddKeywords(attrs, kBooklet, List(kBooklets), defaults);
  std::vector<std::string> watermarks = {kNoWatermark};
  watermarks.insert(watermarks.end(), watermark_keywords.begin(), watermark_keywords.end());
  AddKeywords(attrs, kWatermark, watermarks, defaults);
  AddKeywords(attrs, kPageSet, List(kPageSets), defaults);
  AddKeywords(attrs, kOutputOrder, List(kOutputOrders), defaults);
  AddKeywords(attrs, kPageBorder, List(kPageBorders), defaults);
}

}  // namespace pclspool::app
