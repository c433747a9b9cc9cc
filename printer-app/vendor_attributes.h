// The job attributes the copier takes beyond PAPPL's own: n-up and its
// layout, booklets, the watermark texts of the settings file, the page set,
// the output order and page borders. Each has its "-supported" values and
// a "-default" that the administrator sets per printer (the presets).
#pragma once

#include <pappl/pappl.h>

#include <string>
#include <string_view>
#include <vector>

namespace pclspool::app {

inline constexpr char kNumberUp[] = "number-up";
inline constexpr char kNumberUpLayout[] = "number-up-layout";
inline constexpr char kBooklet[] = "booklet";
inline constexpr char kWatermark[] = "watermark";
inline constexpr char kPageSet[] = "page-set";
inline constexpr char kOutputOrder[] = "output-order";
inline constexpr char kPageBorder[] = "page-border";

// The watermark keyword of "no watermark".
inline constexpr char kNoWatermark[] = "none";

// The names, as PAPPL's driver data lists them.
const std::vector<const char*>& VendorAttributeNames();

// The watermark keywords of the settings file's texts, in its order: the
// text in lower case, each run of characters other than ASCII letters and
// digits one hyphen ("Top Secret!" is top-secret). A text that gives no
// letter or digit, or the keyword of an earlier text or "none", gets its
// number appended ("text-3", "draft-2").
std::vector<std::string> WatermarkKeywords(const std::vector<std::string>& texts);

// Adds every attribute's -supported values and its default to `attrs` (a
// printer's driver attributes); `defaults` (the printer's current driver
// attributes, or null) keeps each -default set before.
void AddVendorAttributes(ipp_t* attrs, const std::vector<std::string>& watermark_keywords,
                         ipp_t* defaults);

}  // namespace pclspool::app
