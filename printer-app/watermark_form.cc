#include "printer-app/watermark_form.h"

#include <cctype>
#include <cstdlib>

namespace pclspool::app {

namespace {

std::string UrlEncode(const std::string& s) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.') {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace

std::string FormValues::Get(const char* name) const {
  const char* v = cupsGetOption(name, count, options);
  return v ? v : "";
}

int FormValues::Int(const char* name, int def) const {
  const std::string v = Get(name);
  char* end = nullptr;
  const long n = std::strtol(v.c_str(), &end, 10);
  return v.empty() || *end || n < -kMaxFormNumber || n > kMaxFormNumber ? def : static_cast<int>(n);
}

runner::WatermarkStyle StyleOfForm(const FormValues& f) {
  runner::WatermarkStyle s;
  s.text = f.Get("text");
  s.face = f.Get("face");
  s.height = f.Int("height", 0);
  s.angle = f.Int("angle", -1);
  s.weight = f.Int("weight", 0);
  s.dark = f.Int("dark", -1);
  s.centred = !f.Get("centred").empty();
  s.x_offset = f.Int("x", 0);
  s.y_offset = f.Int("y", 0);
  return s;
}

std::string PictureQuery(const runner::WatermarkStyle& s) {
  return "text=" + UrlEncode(s.text) + "&face=" + UrlEncode(s.face) +
         "&height=" + std::to_string(s.height) + "&angle=" + std::to_string(s.angle) +
         "&weight=" + std::to_string(s.weight) + "&dark=" + std::to_string(s.dark) +
         (s.centred ? "&centred=1" : "") + "&x=" + std::to_string(s.x_offset) +
         "&y=" + std::to_string(s.y_offset);
}

}  // namespace pclspool::app
