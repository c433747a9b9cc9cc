// The words of the runner's one-line diagnostics.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pclspool::runner {

// The system's words for errno value err.
std::string Reason(int err);

// "standard input" for "-", else the name itself.
std::string InputName(const std::string& input);

// The most of a quoted text a message holds: enough to recognise a value,
// never a line that fills a log.
inline constexpr std::size_t kMaxQuotedBytes = 64;

// Text from a job (an option's value, a page list) as a message quotes it:
// every control character shown as '?', cut after kMaxQuotedBytes (at the
// start of a UTF-8 character, with "..."). The front ends write messages
// as lines another program reads, and CUPS acts on a filter's "PAGE:",
// "ATTR:" and "PPD:" lines: a value sent by a client must never begin a
// line of its own.
std::string Quoted(std::string_view text);

}  // namespace pclspool::runner
