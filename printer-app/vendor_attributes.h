// The job attributes the copier takes beyond PAPPL's own, the catalogue's
// vendor entries (runner/job_catalogue.h): n-up and its layout, booklets,
// the watermark texts of the settings file, the page set, the output order
// and page borders. Each has its "-supported" values and a "-default" that
// the administrator sets per printer (the presets), and words for the web
// pages.
#pragma once

#include <pappl/pappl.h>

#include <string>
#include <vector>

namespace pclspool::app {

// The names, as PAPPL's driver data lists them.
const std::vector<const char*>& VendorAttributeNames();

// Adds every attribute's -supported values and its default to `attrs` (a
// printer's driver attributes); `defaults` (the printer's current driver
// attributes, or null) keeps each -default set before.
void AddVendorAttributes(ipp_t* attrs, const std::vector<std::string>& watermark_keywords,
                         ipp_t* defaults);

// The words PAPPL's web pages show for the attributes and their values
// ("number-up" is "Pages per side", "booklet.left" "Booklet bound on the
// left", a watermark keyword its text), as a strings file.
std::string VendorStrings(const std::vector<std::string>& watermark_texts);

// Gives PAPPL those words, for every language it has (they are English).
void AddVendorStrings(pappl_system_t* system, const std::vector<std::string>& watermark_texts);

}  // namespace pclspool::app
