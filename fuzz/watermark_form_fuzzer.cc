// The printer application's Watermarks page (printer-app/watermark_form,
// runner/watermark_styles) on an arbitrary form post: the body is decoded
// as PAPPL 1.3.1 decodes application/x-www-form-urlencoded (names cut at
// 255 bytes, values at 2047, "+" a space, %XX a byte, a later name
// replacing an earlier one), read as the page reads it, and saved into a
// settings file as the page saves it. Beyond not crashing:
// - a number field is a whole number within the form's bounds or its
//   default;
// - a refused style gets one line saying why;
// - an accepted one is saved as a new text, reads back from the file as
//   itself with the file's other texts and [SETTING] keys as they were,
//   is changed in place the same way, and is deleted again leaving the
//   other texts as they were;
// - its picture's query reads back as the same style.
#include <cups/cups.h>
#include <unistd.h>

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "printer-app/watermark_form.h"
#include "runner/watermark_styles.h"

namespace {

using namespace pclspool;
using runner::WatermarkStyle;

// A settings file as an administrator keeps it.
constexpr char kSettings[] =
    "; the copier's settings\r\n[SETTING]\r\nGROUPSORT=1\r\n\r\n[StringSummary]\r\n"
    "CONFIDENTIAL=1\r\nDRAFT=1\r\n\r\n[CONFIDENTIAL]\r\nFaceName=Arial\r\nHeight=-96\r\n"
    "Escapement=450\r\nWeight=700\r\nDark=4\r\n\r\n[DRAFT]\r\nFaceName=Courier New\r\n";

int Hex(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                                                     : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
}

// One name or value up to `stop`, decoded, cut at `limit` bytes.
std::string Decode(std::string_view* rest, char stop, std::size_t limit) {
  std::string out;
  while (!rest->empty() && rest->front() != stop) {
    char c = rest->front();
    rest->remove_prefix(1);
    if (c == '%' && rest->size() >= 2 && std::isxdigit(static_cast<unsigned char>((*rest)[0])) &&
        std::isxdigit(static_cast<unsigned char>((*rest)[1]))) {
      c = static_cast<char>(Hex((*rest)[0]) << 4 | Hex((*rest)[1]));
      rest->remove_prefix(2);
    } else if (c == '+') {
      c = ' ';
    }
    if (out.size() < limit) out += c;
  }
  // A C string ends at its first NUL.
  return out.substr(0, out.find('\0'));
}

// The form variables PAPPL makes of a body.
app::FormValues DecodeForm(std::string_view body) {
  app::FormValues form;
  while (!body.empty()) {
    const std::string name = Decode(&body, '=', 255);
    if (body.empty()) break;
    body.remove_prefix(1);
    const std::string value = Decode(&body, '&', 2047);
    if (!body.empty()) body.remove_prefix(1);
    form.count = cupsAddOption(name.c_str(), value.c_str(), form.count, &form.options);
  }
  return form;
}

bool Same(const WatermarkStyle& a, const WatermarkStyle& b) {
  return a.text == b.text && a.face == b.face && a.height == b.height && a.angle == b.angle &&
         a.weight == b.weight && a.dark == b.dark && a.centred == b.centred &&
         a.x_offset == b.x_offset && a.y_offset == b.y_offset;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The settings file, on a memory file system where there is one (every
// save syncs), removed at exit.
struct ScratchFile {
  ScratchFile()
      : path(std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
             "/pclspool-watermark-form-" + std::to_string(::getpid()) + ".ini") {}
  ~ScratchFile() { ::unlink(path.c_str()); }
  std::string path;
};

const std::string& SettingsPath() {
  static const ScratchFile file;
  return file.path;
}

void CheckSaved(const WatermarkStyle& style) {
  const std::string& ini = SettingsPath();
  std::ofstream(ini, std::ios::binary) << kSettings;
  const std::vector<WatermarkStyle> before = runner::ReadWatermarkStyles(ini);
  std::string error;
  if (!runner::SaveWatermarkStyle(ini, "", style, &error)) {
    // Only a text the file holds already (in any case) is refused now.
    FUZZ_CHECK(error.find("already") != std::string::npos);
    return;
  }
  std::vector<WatermarkStyle> after = runner::ReadWatermarkStyles(ini);
  FUZZ_CHECK(after.size() == before.size() + 1);
  for (std::size_t i = 0; i < before.size(); ++i) FUZZ_CHECK(Same(after[i], before[i]));
  FUZZ_CHECK(Same(after.back(), style));
  FUZZ_CHECK(ReadFile(ini).find("[SETTING]\nGROUPSORT=1\n") != std::string::npos);

  WatermarkStyle changed = style;
  changed.dark = style.dark == 0 ? 1 : 0;
  FUZZ_CHECK(runner::SaveWatermarkStyle(ini, style.text, changed, &error));
  after = runner::ReadWatermarkStyles(ini);
  FUZZ_CHECK(after.size() == before.size() + 1 && Same(after.back(), changed));

  FUZZ_CHECK(runner::DeleteWatermarkStyle(ini, style.text, &error));
  after = runner::ReadWatermarkStyles(ini);
  FUZZ_CHECK(after.size() == before.size());
  for (std::size_t i = 0; i < before.size(); ++i) FUZZ_CHECK(Same(after[i], before[i]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  app::FormValues form = DecodeForm(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const char* name : {"height", "angle", "weight", "dark", "x", "y", "edit"}) {
    const int n = form.Int(name, -7777777);
    FUZZ_CHECK(n == -7777777 || (n >= -app::kMaxFormNumber && n <= app::kMaxFormNumber));
  }
  const WatermarkStyle style = app::StyleOfForm(form);
  std::string error;
  if (runner::CheckWatermarkStyle(style, &error)) {
    CheckSaved(style);
    app::FormValues picture = DecodeForm(app::PictureQuery(style));
    FUZZ_CHECK(Same(app::StyleOfForm(picture), style));
    cupsFreeOptions(picture.count, picture.options);
  } else {
    FUZZ_CHECK(!error.empty() && error.find('\n') == std::string::npos);
  }
  cupsFreeOptions(form.count, form.options);
  return 0;
}
