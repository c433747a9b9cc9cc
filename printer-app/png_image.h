// An 8-bit grey picture as PNG, for the web pages: stored (uncompressed)
// deflate blocks, so that no compression library is needed for a picture
// made now and then.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pclspool::app {

// `pixels` holds width * height grey levels, rows from the top.
std::string EncodeGreyPng(int width, int height, const std::vector<uint8_t>& pixels);

}  // namespace pclspool::app
