#include "job/format.h"

#include <type_traits>

namespace pclspool {

namespace {

template <typename Char>
class Writer {
 public:
  Writer(Char* buf, std::size_t capacity) : buf_(buf), room_(capacity ? capacity - 1 : 0) {}
  void Put(char32_t c) {
    if (len_ < room_) buf_[len_++] = static_cast<Char>(c);
  }
  void Repeat(char32_t c, int n) {
    for (int i = 0; i < n; ++i) Put(c);
  }
  int Finish(std::size_t capacity) {
    if (capacity) buf_[len_] = 0;
    return static_cast<int>(len_);
  }

 private:
  Char* buf_;
  std::size_t room_;
  std::size_t len_ = 0;
};

struct Spec {
  bool left = false;
  bool zero = false;
  bool alt = false;
  int width = 0;
  int precision = -1;
};

// Narrow output of a wide string keeps code units up to 0xFF and writes '?'
// for the rest, as the Latin-1 code page would.
template <typename Char>
char32_t Narrowed(char16_t c) {
  if constexpr (sizeof(Char) == 1) return c <= 0xFF ? c : U'?';
  return c;
}

template <typename Char, typename Src>
void PutString(Writer<Char>& w, const Spec& spec, const Src* s) {
  static constexpr char kNull[] = "(null)";
  int len = 0;
  if (s) {
    while (s[len] && (spec.precision < 0 || len < spec.precision)) ++len;
  } else {
    len = 6;
  }
  if (!spec.left) w.Repeat(U' ', spec.width - len);
  for (int i = 0; i < len; ++i) {
    if (!s) {
      w.Put(static_cast<unsigned char>(kNull[i]));
    } else if constexpr (sizeof(Src) == 2) {
      w.Put(Narrowed<Char>(s[i]));
    } else {
      w.Put(static_cast<unsigned char>(s[i]));
    }
  }
  if (spec.left) w.Repeat(U' ', spec.width - len);
}

template <typename Char>
void PutNumber(Writer<Char>& w, const Spec& spec, char conv, int64_t raw) {
  char digits[16];
  int n = 0;
  bool negative = false;
  const char* prefix = "";
  if (conv == 'd' || conv == 'i') {
    const int32_t v = static_cast<int32_t>(raw);
    uint32_t mag = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
    negative = v < 0;
    do {
      digits[n++] = static_cast<char>('0' + mag % 10);
      mag /= 10;
    } while (mag);
  } else {
    uint32_t v = static_cast<uint32_t>(raw);
    const unsigned base = (conv == 'u') ? 10 : 16;
    const char* set = conv == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    do {
      digits[n++] = set[v % base];
      v /= base;
    } while (v);
    if (spec.alt && base == 16) prefix = conv == 'X' ? "0X" : "0x";
  }
  int zeros = spec.precision > n ? spec.precision - n : 0;
  int prefix_len = negative ? 1 : (prefix[0] ? 2 : 0);
  int pad = spec.width - (n + zeros + prefix_len);
  if (spec.zero && !spec.left && spec.precision < 0 && pad > 0) {
    zeros += pad;
    pad = 0;
  }
  if (!spec.left) w.Repeat(U' ', pad);
  if (negative) w.Put(U'-');
  for (const char* p = prefix; *p; ++p) w.Put(static_cast<unsigned char>(*p));
  w.Repeat(U'0', zeros);
  while (n) w.Put(static_cast<unsigned char>(digits[--n]));
  if (spec.left) w.Repeat(U' ', pad);
}

// %c: the argument as one code unit of the output, padded to the width.
template <typename Char>
void PutChar(Writer<Char>& w, const Spec& spec, int64_t v) {
  const char32_t c = sizeof(Char) == 1 ? static_cast<unsigned char>(v) : static_cast<char16_t>(v);
  if (!spec.left) w.Repeat(U' ', spec.width - 1);
  w.Put(c);
  if (spec.left) w.Repeat(U' ', spec.width - 1);
}

// The flags, width and precision after a '%' (p is past it), read into
// *spec; where the conversion letter is, or the end of the format.
template <typename Char>
const Char* ReadSpec(const Char* p, Spec* spec) {
  for (;; ++p) {
    if (*p == '-') spec->left = true;
    else if (*p == '0') spec->zero = true;
    else if (*p == '#') spec->alt = true;
    else break;
  }
  while (*p >= '0' && *p <= '9') spec->width = spec->width * 10 + (*p++ - '0');
  if (*p == '.') {
    ++p;
    spec->precision = 0;
    while (*p >= '0' && *p <= '9') spec->precision = spec->precision * 10 + (*p++ - '0');
  }
  // Size prefixes (l, w, h) are read over: numbers are 32-bit either way,
  // and a string argument carries its own width.
  if (*p == 'l' || *p == 'w' || *p == 'h') ++p;
  return p;
}

template <typename Char>
int Format(Char* buf, std::size_t capacity, const Char* format,
           std::initializer_list<FormatArg> args) {
  Writer<Char> w(buf, capacity);
  const FormatArg* arg = args.begin();
  auto next = [&]() -> const FormatArg* { return arg != args.end() ? arg++ : nullptr; };
  for (const Char* p = format; *p; ++p) {
    if (*p != '%') {
      w.Put(static_cast<std::make_unsigned_t<Char>>(*p));
      continue;
    }
    ++p;
    if (*p == '%') {
      w.Put(U'%');
      continue;
    }
    Spec spec;
    p = ReadSpec(p, &spec);
    if (!*p) break;
    const char conv = static_cast<char>(*p);
    switch (conv) {
      case 'd':
      case 'i':
      case 'u':
      case 'x':
      case 'X': {
        const FormatArg* a = next();
        PutNumber(w, spec, conv, a && a->kind == FormatArg::Kind::kInt ? a->value : 0);
        break;
      }
      case 'c':
      case 'C': {
        const FormatArg* a = next();
        PutChar(w, spec, a && a->kind == FormatArg::Kind::kInt ? a->value : 0);
        break;
      }
      case 's':
      case 'S': {
        const FormatArg* a = next();
        if (!a || a->kind == FormatArg::Kind::kInt) {
          PutString<Char, char>(w, spec, nullptr);
        } else if (a->kind == FormatArg::Kind::kWide) {
          PutString(w, spec, a->wide);
        } else {
          PutString(w, spec, a->narrow);
        }
        break;
      }
      default:
        w.Put(static_cast<std::make_unsigned_t<Char>>(*p));
        break;
    }
  }
  return w.Finish(capacity);
}

}  // namespace

int FormatW(char16_t* buf, std::size_t capacity, const char16_t* format,
            std::initializer_list<FormatArg> args) {
  return Format(buf, capacity, format, args);
}

int FormatA(char* buf, std::size_t capacity, const char* format,
            std::initializer_list<FormatArg> args) {
  return Format(buf, capacity, format, args);
}

}  // namespace pclspool
