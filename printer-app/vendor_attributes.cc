#include "printer-app/vendor_attributes.h"

#include <algorithm>
#include <deque>
#include <mutex>

#include "runner/job_catalogue.h"

namespace pclspool::app {

namespace {

using runner::JobOption;

std::string Default(std::string_view name) { return std::string(name) + "-default"; }

// A text as a strings file quotes it.
std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c == '\n' ? ' ' : c;
  }
  return out + "\"";
}

// The languages PAPPL 1.3.1 brings its own words for, besides English.
constexpr const char* kLanguages[] = {"en", "de", "es", "fr", "it", "ja", "nb-NO", "pl", "tr"};

}  // namespace

const std::vector<const char*>& VendorAttributeNames() {
  static const std::vector<const char*> names = [] {
    // The catalogue's names live as long as the program.
    static std::deque<std::string> kept;
    std::vector<const char*> v;
    for (const JobOption& o : runner::JobCatalogue()) {
      if (o.app == runner::AppAttribute::kVendor) v.push_back(kept.emplace_back(o.name).c_str());
    }
    return v;
  }();
  return names;
}

void AddVendorAttributes(ipp_t* attrs, const std::vector<std::string>& watermark_keywords,
                         ipp_t* defaults) {
  for (const JobOption& o : runner::JobCatalogue()) {
    if (o.app != runner::AppAttribute::kVendor) continue;
    const std::string supported = std::string(o.name) + "-supported";
    const std::string default_name = Default(o.name);
    ipp_attribute_t* d = defaults ? ippFindAttribute(defaults, default_name.c_str(), IPP_TAG_ZERO)
                                  : nullptr;
    if (o.syntax == runner::IppSyntax::kInteger) {
      std::vector<int> values;
      for (const runner::OptionValue& v : o.values) values.push_back(std::stoi(std::string(v.keyword)));
      ippAddIntegers(attrs, IPP_TAG_PRINTER, IPP_TAG_INTEGER, supported.c_str(),
                     static_cast<int>(values.size()), values.data());
      int chosen = std::stoi(std::string(o.default_value));
      if (d && ippGetValueTag(d) == IPP_TAG_INTEGER &&
          std::find(values.begin(), values.end(), ippGetInteger(d, 0)) != values.end()) {
        chosen = ippGetInteger(d, 0);
      }
      ippAddInteger(attrs, IPP_TAG_PRINTER, IPP_TAG_INTEGER, default_name.c_str(), chosen);
      continue;
    }
    std::vector<std::string> keywords;
    for (const runner::OptionValue& v : o.values) keywords.emplace_back(v.keyword);
    if (o.name == "watermark") {
      keywords = {std::string(runner::kNoWatermark)};
      keywords.insert(keywords.end(), watermark_keywords.begin(), watermark_keywords.end());
    }
    std::vector<const char*> v;
    for (const std::string& s : keywords) v.push_back(s.c_str());
    ippAddStrings(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, supported.c_str(),
                  static_cast<int>(v.size()), nullptr, v.data());
    // Kept even when no longer supported: a preset whose watermark text has
    // gone from the settings file must not print without it.
    const char* kept = d ? ippGetString(d, 0, nullptr) : nullptr;
    const std::string chosen = kept ? kept : std::string(o.default_value);
    ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, default_name.c_str(), nullptr,
                 chosen.c_str());
  }
}

std::string VendorStrings(const std::vector<std::string>& watermark_texts) {
  std::string strings;
  const auto add = [&](std::string_view key, std::string_view text) {
    strings += Quote(key) + " = " + Quote(text) + ";\n";
  };
  for (const JobOption& o : runner::JobCatalogue()) {
    if (o.app != runner::AppAttribute::kVendor) continue;
    add(o.name, o.label);
    for (const runner::OptionValue& v : o.values) {
      add(std::string(o.name) + "." + std::string(v.keyword), v.label);
    }
  }
  const std::vector<std::string> keywords = runner::WatermarkKeywords(watermark_texts);
  add("watermark." + std::string(runner::kNoWatermark), "None");
  for (std::size_t i = 0; i < keywords.size(); ++i) add("watermark." + keywords[i], watermark_texts[i]);
  return strings;
}

void AddVendorStrings(pappl_system_t* system, const std::vector<std::string>& watermark_texts) {
  // PAPPL 1.3.1 loads the words from a resource, keeping the words it has
  // already. The resource goes again at once: while a resource of some
  // language is there, every Get-Printer-Attributes adds another
  // printer-strings-languages-supported to the printer's attributes (a
  // duplicate that clients refuse). So a keyword whose text has changed
  // keeps its first words until the server starts again.
  static std::mutex mutex;
  std::lock_guard<std::mutex> lock(mutex);
  const std::string strings = VendorStrings(watermark_texts);
  for (const char* language : kLanguages) {
    const std::string path = "/pclspool-" + std::string(language) + ".strings";
    papplSystemAddStringsData(system, path.c_str(), language, strings.c_str());
    papplSystemRemoveResource(system, path.c_str());
  }
}

}  // namespace pclspool::app
