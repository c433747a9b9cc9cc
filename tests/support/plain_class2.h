// The reference for the class 2 encoder: the same data, walked one pixel at
// a time with no whole-byte or whole-word steps. The tests and the fuzzer
// compare the fast encoder's bytes with it; the benchmark times it as the
// baseline, so it is written the way a careful first version would be (one
// output buffer, nothing allocated per row): what it measures is the walk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pclspool::testing {

// Encodes one packed row (1 = black, most significant bit first) as class 2
// runs, white first, a run over 255 split as 255, 0; out must take
// width + 1 bytes. Returns the count.
std::size_t PlainEncodeRow(const uint8_t* row, int width, uint8_t* out);

// The class 2 data of height rows, back to back, into out (at least
// height * (width + 2) bytes): each distinct row an entry of a repeat byte
// and its runs, a repeat byte never beyond 255. Returns the size.
// scratch takes two rows' encodings: 2 * (width + 1) bytes.
std::size_t PlainCompressBitmap(const uint8_t* rows, int width, int height, uint8_t* out,
                                uint8_t* scratch);

// The same, into vectors of their own.
std::vector<uint8_t> PlainEncodeRow(const uint8_t* row, int width);
std::vector<uint8_t> PlainCompressBitmap(const uint8_t* rows, int width, int height);

}  // namespace pclspool::testing
