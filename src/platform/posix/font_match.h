// fontconfig's answer to a LOGFONTW: the font file that stands for a face
// name, weight and slant on this machine ("Arial" finds its metric-compatible
// substitute where the font itself is not installed).
//
// Not thread-safe on its own; the caller serialises the calls.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace pclspool::posix {

struct FontFile {
  std::string path;
  long face_index = 0;  // the face within a collection
};

// The face name of lf: its characters up to the terminating NUL, at most
// LF_FACESIZE - 1 of them, the length GDI compares.
std::u16string FaceName(const LOGFONTW& lf);

// The best scalable font fontconfig has for lf's face name, weight and
// italic; an empty face name asks for the generic family of
// lfPitchAndFamily. Nothing when fontconfig cannot start or has no fonts.
std::optional<FontFile> MatchFont(const LOGFONTW& lf);

}  // namespace pclspool::posix
