// Reader of Windows-style private-profile (INI) files: the file's bytes in,
// sections and keys out, and the Win32 ways of handing them to a caller
// (GetPrivateProfileStringW values and name lists cut to a buffer,
// GetPrivateProfileIntW integers). Pure: no file access, no globals.
//
// What the parser accepts, line by line (a line ends at LF; CR, spaces, tabs,
// VT, FF and ^Z around names and values are blanks and are trimmed):
//   [Name]      starts a section; text after the last ']' is ignored. A
//               name seen before (compared case-insensitively) starts
//               nothing: as in Win32, only a section's first occurrence is
//               read, and the keys under a repeated header are dropped.
//   ;...        a comment.
//   Key=Value   a key of the current section. The first occurrence of a key
//               name in a section wins. A key before any section, a key with
//               an empty name and a line without '=' are ignored (Win32 never
//               returns them either).
// A NUL ends the text of its line, as it would end a Win32 string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_types.h"

namespace pclspool::posix {

// A profile file larger than this is not read at all and counts as missing;
// ours holds a few dozen short lines.
inline constexpr std::size_t kMaxProfileBytes = std::size_t{4} << 20;

struct ProfileKey {
  std::u16string name;   // trimmed, as written
  std::u16string value;  // trimmed, quotes not yet stripped
};

struct ProfileSection {
  std::u16string name;
  std::vector<ProfileKey> keys;  // file order, each name once
};

struct ProfileDocument {
  std::vector<ProfileSection> sections;  // file order, each name once
};

// A value set on top of the file, as if the file held it.
struct ProfileOverride {
  std::u16string section, key, value;  // trimmed
};

// The file's text: UTF-16LE or UTF-16BE after their byte-order mark, UTF-8
// after its mark; without a mark UTF-8 when the bytes are well-formed UTF-8,
// else Windows-1252 (the ANSI code page a file saved by Windows tools uses).
std::u16string DecodeProfileBytes(std::string_view bytes);
ProfileDocument ParseProfileText(std::u16string_view text);
// DecodeProfileBytes then ParseProfileText: the parser's entry for raw input.
ProfileDocument ParseProfile(std::string_view bytes);

// Section and key names compare without regard to case (ASCII and Latin-1
// letters; Win32 folds every script, our names are ASCII).
bool ProfileNamesEqual(std::u16string_view a, std::u16string_view b);
std::u16string_view TrimProfileBlanks(std::u16string_view s);
// A value enclosed in a matching pair of double or single quotes loses them.
std::u16string_view StripProfileQuotes(std::u16string_view value);

// The first section so named (the name is trimmed first), or nullptr.
const ProfileSection* FindProfileSection(const ProfileDocument& doc, std::u16string_view name);
const ProfileKey* FindProfileKey(const ProfileSection& section, std::u16string_view name);

// Adds an override, or replaces the value of the one already set for the
// same section and key (the last setting wins, in the place of the first).
// An empty section or key name is ignored.
void SetProfileOverride(std::vector<ProfileOverride>& overrides, std::u16string_view section,
                        std::u16string_view key, std::u16string_view value);

// The raw value the override or else the file holds, or nothing.
std::optional<std::u16string_view> LookupProfileValue(const ProfileDocument& doc,
                                                      const std::vector<ProfileOverride>& overrides,
                                                      std::u16string_view section,
                                                      std::u16string_view key);
// The section's key names: the file's in file order, then the names that
// exist only as overrides, in the order they were set.
std::vector<std::u16string_view> ProfileKeyNames(const ProfileDocument& doc,
                                                 const std::vector<ProfileOverride>& overrides,
                                                 std::u16string_view section);
// The section names: the file's, then those that exist only as overrides.
std::vector<std::u16string_view> ProfileSectionNames(
    const ProfileDocument& doc, const std::vector<ProfileOverride>& overrides);

// RtlUnicodeStringToInteger with base 0, which GetPrivateProfileIntW uses:
// leading characters up to U+0020 skipped, one optional sign, then "0x" or
// "0X" (hexadecimal), "0o" (octal), "0b" (binary) or decimal, digits up to
// the first character that is not one. Nothing readable gives 0. The value
// wraps modulo 2^32 as in Windows ("4294967297" reads 1) and a minus sign
// negates it modulo 2^32.
uint32_t ParseProfileInt(std::u16string_view text);

// Copies s cut to size - 1 characters and a NUL; returns the count copied.
// Nothing is written when size is 0.
DWORD CopyProfileString(std::u16string_view s, WCHAR* buf, DWORD size);
// Copies names, each ended by a NUL, and one more NUL; returns the count
// copied without that last NUL. When the list does not fit, copies what fits
// of it into size - 2 characters, ends it with NULs at size - 2 and
// size - 1 and returns size - 2 (the last name may be cut short).
DWORD CopyProfileNameList(const std::vector<std::u16string_view>& names, WCHAR* buf,
                          DWORD size);

// GetPrivateProfileStringW over a parsed file (an empty document when the
// file is missing):
//   section == nullptr: the section names, as a name list;
//   key == nullptr: the section's key names, as a name list; when the
//     section has none, def is copied instead if it is not empty;
//   otherwise the key's value without its quotes, or def when missing.
// def loses its trailing spaces and enclosing quotes, as in Win32; a null
// def is "". A null buf or a size of 0 gives 0 and writes nothing.
DWORD ReadProfileString(const ProfileDocument& doc, const std::vector<ProfileOverride>& overrides,
                        const WCHAR* section, const WCHAR* key, const WCHAR* def, WCHAR* buf,
                        DWORD size);
// GetPrivateProfileIntW over a parsed file: def (as UINT) when the section,
// the key or a non-empty value is missing, else ParseProfileInt of the value
// without its quotes.
UINT ReadProfileInt(const ProfileDocument& doc, const std::vector<ProfileOverride>& overrides,
                    const WCHAR* section, const WCHAR* key, int def);

}  // namespace pclspool::posix
