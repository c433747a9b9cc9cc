// The watermark texts of the settings file with what the administrator
// sets for each (face, height, angle, weight, darkness, place), read and
// written one text at a time: the settings file's format is the module's,
// so a front end that edits it (the printer application's web page) does
// so through here. Whatever else the file holds (its [SETTING] keys, other
// keys of a text's section, comments) is kept as it was.
#pragma once

#include <string>
#include <vector>

namespace pclspool::runner {

struct WatermarkStyle {
  std::string text;           // UTF-8; the key in [StringSummary] and its section's name
  std::string face = "Arial";
  int height = -96;           // screen pixels; negative: the characters' own height
  int angle = 450;            // tenths of a degree, counterclockwise
  int weight = 700;           // 400 normal, 700 bold
  int dark = 0;               // 0 lightest (25 % grey), each step about 2 % darker
  bool centred = true;        // centred on the page; else moved by the offsets
  int x_offset = 0;           // tenths of an inch from the centred place
  int y_offset = 0;
};

// Limits the module reads within.
inline constexpr std::size_t kMaxFaceBytes = 31;     // a LOGFONT face name
inline constexpr std::size_t kMaxTextChars = 200;
inline constexpr int kMaxHeight = 1000;              // screen pixels, either sign
inline constexpr int kMaxDark = 37;                  // 25 % + 37 x 2 % is black
inline constexpr int kMaxOffset = 200;               // tenths of an inch, either way

// Every text in the file's order, with what the module reads for it
// (defaults for missing keys). A missing or unreadable file has none.
std::vector<WatermarkStyle> ReadWatermarkStyles(const std::string& ini);

// Whether the style can be written: the text one line of printable
// characters that an INI key and section name can hold, the numbers in
// range. False with *error saying which field and why.
bool CheckWatermarkStyle(const WatermarkStyle& style, std::string* error);

// Writes the style: as a new text at the end of [StringSummary] when
// `replaces` is empty, else in the place of that text (renaming it when
// the text changed). The file is made when missing and replaced whole, so
// that a job reading it sees the old or the new file, never half of one.
// False with *error when the style is refused, another text has its name,
// `replaces` is not in the file, or the file cannot be written.
bool SaveWatermarkStyle(const std::string& ini, const std::string& replaces,
                        const WatermarkStyle& style, std::string* error);

// Removes the text from [StringSummary] and its section.
bool DeleteWatermarkStyle(const std::string& ini, const std::string& text, std::string* error);

}  // namespace pclspool::runner
