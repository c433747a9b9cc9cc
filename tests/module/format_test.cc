#include "job/format.h"

#include <gtest/gtest.h>

#include <string>

namespace pclspool {
namespace {

std::u16string W(const char16_t* f, std::initializer_list<FormatArg> args, std::size_t cap = 256) {
  char16_t buf[256];
  const int n = FormatW(buf, cap, f, args);
  EXPECT_EQ(static_cast<std::size_t>(n), std::u16string(buf).size());
  return buf;
}

std::string A(const char* f, std::initializer_list<FormatArg> args, std::size_t cap = 256) {
  char buf[256];
  const int n = FormatA(buf, cap, f, args);
  return std::string(buf, static_cast<std::size_t>(n));
}

TEST(FormatW, Conversions) {
  struct Case {
    const char* name;
    const char16_t* format;
    std::initializer_list<FormatArg> args;
    const char16_t* expected;
  } cases[] = {
      {"decimal", u"[%d]", {-42}, u"[-42]"},
      {"int min", u"%d", {INT32_MIN}, u"-2147483648"},
      {"long is 32-bit", u"%ld", {int64_t{0x100000005}}, u"5"},
      {"hex lower, no prefix", u"0x%x", {0x12BCu}, u"0x12bc"},
      {"negative hex is 32-bit", u"%x", {int16_t{-1}}, u"ffffffff"},
      {"hex of a pointer-sized value keeps the low 32 bits", u"%x", {uint64_t{0x1234567890}}, u"34567890"},
      {"wide string", u"P:%ws.", {u"C:\\a"}, u"P:C:\\a."},
      {"null string", u"%ws", {static_cast<const char16_t*>(nullptr)}, u"(null)"},
      {"percent", u"100%%", {}, u"100%"},
      {"char", u"<%c>", {34}, u"<\">"},
      {"width and zero", u"%05d|%-4d|%4x", {42, 7, 0xab}, u"00042|7   |  ab"},
      {"trace line typo kept", u"DrvSplStratDoc 0x:%x\r\n", {0xdeadu}, u"DrvSplStratDoc 0x:dead\r\n"},
      {"missing argument prints 0", u"%d/%d", {1}, u"1/0"},
      {"unknown conversion writes its letter", u"%q", {}, u"q"},
  };
  for (const Case& c : cases) EXPECT_EQ(W(c.format, c.args), c.expected) << c.name;
}

TEST(FormatA, CommandsAreByteExact) {
  EXPECT_EQ(A("\x1B*c%dD", {16300}), "\x1B*c16300D");
  EXPECT_EQ(A("\x1B(0%dX", {16300}), "\x1B(016300X");
  EXPECT_EQ(A("\x1B%%0BIN;SP1;DT!;FI%d;SS;", {16300}), "\x1B%0BIN;SP1;DT!;FI16300;SS;");
  EXPECT_EQ(A("PA%ld,%ld;LB%c!;", {2540, -12, 34}), "PA2540,-12;LB\"!;");
  // %c writes one byte, whatever its value.
  EXPECT_EQ(A("%c", {255}), "\xFF");
  // Wide strings become one byte per code unit, '?' above 0xFF.
  EXPECT_EQ(A("%ws", {u"A\u00e9\u4e00"}), "A\xE9?");
}

TEST(Format, StopsAtCapacity) {
  EXPECT_EQ(W(u"abcdef", {}, 4), u"abc");
  EXPECT_EQ(A("%d", {123456}, 3), "12");
  char16_t one[1] = {u'x'};
  EXPECT_EQ(FormatW(one, 1, u"abc", {}), 0);
  EXPECT_EQ(one[0], 0);
}

}  // namespace
}  // namespace pclspool
