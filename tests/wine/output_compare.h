// Compares what one job sent to the printer with the reference output of
// the same job, and describes where two soft fonts differ.
//
// The glyphs of a watermark come from the platform's rasteriser (GDI on
// Windows, FreeType on POSIX), so a watermarked job may differ from the
// reference in exactly three places: the metrics fields of the font
// descriptor, the character downloads, and the HP-GL/2 pen positions that
// the text extent and the advances decide. Masking those lets everything
// else be compared byte for byte while the two rasterisers disagree.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pclspool::wine {

// The stream with the rasteriser's bytes replaced by placeholders: the font
// descriptor's baseline, cell width, cell height, pitch, height and
// x-height; every character data block ("\x1B(s#W" and its bytes); every
// "PA#,#;" position.
std::string MaskRasteriserBytes(std::string_view pcl);

// "" when a == b; otherwise where they first differ, with a few bytes of
// each side shown escaped.
std::string FirstDifference(std::string_view got, std::string_view want);

// A per-character account of two streams' soft-font downloads: descriptor
// fields that differ and the count of pixels that differ, for the report.
std::string DescribeGlyphDifferences(std::string_view got, std::string_view want,
                                     const char* got_name, const char* want_name);

}  // namespace pclspool::wine
