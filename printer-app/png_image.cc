#include "printer-app/png_image.h"

#include <algorithm>
#include <array>

namespace pclspool::app {

namespace {

// A stored deflate block holds at most this many bytes.
constexpr std::size_t kStoredBlock = 65535;

const std::array<uint32_t, 256>& CrcTable() {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  return table;
}

uint32_t Crc(const std::string& bytes, std::size_t from) {
  uint32_t c = 0xFFFFFFFFu;
  for (std::size_t i = from; i < bytes.size(); ++i) {
    c = CrcTable()[(c ^ static_cast<uint8_t>(bytes[i])) & 0xFF] ^ (c >> 8);
  }
  return c ^ 0xFFFFFFFFu;
}

void Put32(std::string* out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<char>(v >> shift));
}

void Chunk(std::string* out, const char* type, const std::string& data) {
  Put32(out, static_cast<uint32_t>(data.size()));
  const std::size_t from = out->size();
  *out += type;
  *out += data;
  Put32(out, Crc(*out, from));
}

}  // namespace

std::string EncodeGreyPng(int width, int height, const std::vector<uint8_t>& pixels) {
  // Each row is filter type 0 (none) and its pixels.
  std::string raw;
  raw.reserve(static_cast<std::size_t>(width + 1) * height);
  for (int y = 0; y < height; ++y) {
    raw.push_back('\0');
    raw.append(reinterpret_cast<const char*>(pixels.data()) + static_cast<std::size_t>(y) * width,
               static_cast<std::size_t>(width));
  }
  // zlib: header, stored blocks, Adler-32 of the raw bytes.
  std::string z = "\x78\x01";
  uint32_t a = 1;
  uint32_t b = 0;
  for (const char ch : raw) {
    a = (a + static_cast<uint8_t>(ch)) % 65521;
    b = (b + a) % 65521;
  }
  for (std::size_t at = 0; at < raw.size() || at == 0; at += kStoredBlock) {
    const std::size_t n = std::min(kStoredBlock, raw.size() - at);
    const bool last = at + n >= raw.size();
    z.push_back(last ? '\x01' : '\x00');
    z.push_back(static_cast<char>(n & 0xFF));
    z.push_back(static_cast<char>(n >> 8));
    z.push_back(static_cast<char>(~n & 0xFF));
    z.push_back(static_cast<char>((~n >> 8) & 0xFF));
    z.append(raw, at, n);
    if (last) break;
  }
  Put32(&z, b << 16 | a);

  std::string png = "\x89PNG\r\n\x1a\n";
  std::string header;
  Put32(&header, static_cast<uint32_t>(width));
  Put32(&header, static_cast<uint32_t>(height));
  header += std::string("\x08\x00\x00\x00\x00", 5);  // 8-bit grey, deflate, no filter, no interlace
  Chunk(&png, "IHDR", header);
  Chunk(&png, "IDAT", z);
  Chunk(&png, "IEND", "");
  return png;
}

}  // namespace pclspool::app
