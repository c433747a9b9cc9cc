// PCL class 2 (compressed bitmap) character data: each glyph row becomes
// alternating white and black run lengths, starting with white, behind a
// byte that counts how many further rows repeat it.
//
// The buffers are module-level and reused for every glyph: a row scratch
// and a row result buffer of 2048 bytes each, and a staging area of 16384
// bytes in which row entries are collected before they move to the output.
// They grow, and only grow, when a glyph wider than they allow comes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pclspool {

inline constexpr std::size_t kRowBufferBytes = 2048;
inline constexpr std::size_t kStagingBytes = 16384;

// EncodeRow's result when the row buffers cannot grow to the row's width.
inline constexpr int32_t kEncodeFailed = -1;

// Encodes one packed row (width pixels, most significant bit first, 1 =
// black; bits of the last byte beyond the width are ignored) into the row
// result buffer and returns the encoding's length. Returns 0 when
// first_row is zero and the row equals the previous row, whose encoding
// then stays in the row result buffer. A width of 0 or less gives the empty
// encoding and 0.
int32_t EncodeRow(const uint8_t* row, int16_t width, int32_t first_row);

// The encoding held in the row result buffer and its length.
const uint8_t* RowResult();
int32_t RowResultLength();

// The most bytes CompressBitmap can produce for a glyph: every row a
// distinct entry of a repeat byte and width + 1 run bytes.
std::size_t MaxCompressedSize(int16_t width, int32_t height);

// Compresses height packed rows of (width + 7) / 8 bytes each, stored back
// to back, into out as class 2 data and returns its size. Returns 0 when
// there is nothing to encode, when the data would not fit capacity (it
// always fits MaxCompressedSize), or when a buffer cannot grow; in every
// such case out holds nothing the caller should send.
std::size_t CompressBitmap(const uint8_t* rows, int16_t width, int32_t height, uint8_t* out,
                           std::size_t capacity);

}  // namespace pclspool
