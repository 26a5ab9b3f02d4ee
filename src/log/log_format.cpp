#include "log/log_format.h"

#include <cstdint>
#include <cstdio>
#include <cwchar>

namespace {

constexpr std::size_t kMaxMessage = kLogMessageBufferSize - 1;

enum class Length { None, Char, Short, Long, LongLong, Size, Max, PtrDiff, LongDouble, Wide };

struct Spec {
  std::string flags;
  int width = -1;      // -1: none
  int precision = -1;  // -1: none
  bool leftAlign = false;
  Length length = Length::None;
};

// Rebuilds a conversion for the C runtime from parsed pieces, with the length
// modifier normalised, so both runtimes see a directive they agree on.
std::string Directive(const Spec& spec, const char* lengthAndConversion) {
  std::string d = "%" + spec.flags;
  if (spec.width >= 0) d += std::to_string(spec.width);
  if (spec.precision >= 0) d += "." + std::to_string(spec.precision);
  d += lengthAndConversion;
  return d;
}

template <typename... Args>
void AppendFormatted(std::string& out, const std::string& directive, Args... args) {
  char buffer[512];
  int n = std::snprintf(buffer, sizeof buffer, directive.c_str(), args...);
  if (n < 0) return;
  if (static_cast<std::size_t>(n) < sizeof buffer) {
    out.append(buffer, static_cast<std::size_t>(n));
    return;
  }
  std::string big(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(big.data(), big.size(), directive.c_str(), args...);
  out.append(big.data(), static_cast<std::size_t>(n));
}

// Pads already-converted text to the field width, as %s would.
void AppendPadded(std::string& out, const std::string& text, const Spec& spec) {
  std::size_t pad = spec.width > 0 && static_cast<std::size_t>(spec.width) > text.size()
                        ? static_cast<std::size_t>(spec.width) - text.size()
                        : 0;
  if (!spec.leftAlign) out.append(pad, ' ');
  out += text;
  if (spec.leftAlign) out.append(pad, ' ');
}

void AppendWideString(std::string& out, const wchar_t* text, const Spec& spec,
                      WideToNarrowFn toNarrow) {
  if (text == nullptr) {
    std::string null = "(null)";
    if (spec.precision >= 0 && null.size() > static_cast<std::size_t>(spec.precision))
      null.resize(static_cast<std::size_t>(spec.precision));
    AppendPadded(out, null, spec);
    return;
  }
  std::size_t length = std::wcslen(text);
  if (spec.precision >= 0 && length > static_cast<std::size_t>(spec.precision))
    length = static_cast<std::size_t>(spec.precision);
  std::string narrow = toNarrow ? toNarrow(text, length) : std::string();
  AppendPadded(out, narrow, spec);
}

void AppendNarrowString(std::string& out, const char* text, const Spec& spec) {
  std::string value = text ? text : "(null)";
  if (spec.precision >= 0 && value.size() > static_cast<std::size_t>(spec.precision))
    value.resize(static_cast<std::size_t>(spec.precision));
  AppendPadded(out, value, spec);
}

bool IsWideText(const Spec& spec) {
  return spec.length == Length::Long || spec.length == Length::Wide;
}

}  // namespace

std::string FormatLogText(const char* format, std::va_list args, WideToNarrowFn toNarrow) {
  std::string out;
  if (format == nullptr) return out;
  std::va_list ap;
  va_copy(ap, args);
  const char* p = format;
  while (*p != '\0' && out.size() < kMaxMessage) {
    if (*p != '%') {
      out += *p++;
      continue;
    }
    const char* start = p++;
    if (*p == '%') {
      out += '%';
      ++p;
      continue;
    }
    Spec spec;
    while (*p == '-' || *p == '+' || *p == ' ' || *p == '#' || *p == '0') {
      if (*p == '-') spec.leftAlign = true;
      spec.flags += *p++;
    }
    if (*p == '*') {
      int w = va_arg(ap, int);
      if (w < 0) {
        spec.leftAlign = true;
        spec.flags += '-';
        w = -w;
      }
      spec.width = w;
      ++p;
    } else {
      while (*p >= '0' && *p <= '9')
        spec.width = (spec.width < 0 ? 0 : spec.width) * 10 + (*p++ - '0');
    }
    if (*p == '.') {
      ++p;
      spec.precision = 0;
      if (*p == '*') {
        int prec = va_arg(ap, int);
        spec.precision = prec < 0 ? -1 : prec;
        ++p;
      } else {
        while (*p >= '0' && *p <= '9') spec.precision = spec.precision * 10 + (*p++ - '0');
      }
    }
    switch (*p) {
      case 'h':
        ++p;
        spec.length = Length::Short;
        if (*p == 'h') {
          ++p;
          spec.length = Length::Char;
        }
        break;
      case 'l':
        ++p;
        spec.length = Length::Long;
        if (*p == 'l') {
          ++p;
          spec.length = Length::LongLong;
        }
        break;
      case 'L':
        ++p;
        spec.length = Length::LongDouble;
        break;
      case 'z':
        ++p;
        spec.length = Length::Size;
        break;
      case 'j':
        ++p;
        spec.length = Length::Max;
        break;
      case 't':
        ++p;
        spec.length = Length::PtrDiff;
        break;
      case 'w':
        ++p;
        spec.length = Length::Wide;
        break;
      case 'I':
        if (p[1] == '6' && p[2] == '4') {
          p += 3;
          spec.length = Length::LongLong;
        } else if (p[1] == '3' && p[2] == '2') {
          p += 3;
          spec.length = Length::None;
        } else {
          ++p;
          spec.length = Length::Size;
        }
        break;
      default:
        break;
    }
    const char conversion = *p;
    if (conversion == '\0') {
      out.append(start, p);  // a dangling directive stays as written
      break;
    }
    ++p;
    switch (conversion) {
      case 'd':
      case 'i': {
        long long v = 0;
        switch (spec.length) {
          case Length::Char:
            v = static_cast<signed char>(va_arg(ap, int));
            break;
          case Length::Short:
            v = static_cast<short>(va_arg(ap, int));
            break;
          case Length::Long:
            v = va_arg(ap, long);
            break;
          case Length::LongLong:
            v = va_arg(ap, long long);
            break;
          case Length::Size:
          case Length::PtrDiff:
            v = va_arg(ap, std::ptrdiff_t);
            break;
          case Length::Max:
            v = va_arg(ap, std::intmax_t);
            break;
          default:
            v = va_arg(ap, int);
            break;
        }
        AppendFormatted(out, Directive(spec, "lld"), v);
        break;
      }
      case 'u':
      case 'o':
      case 'x':
      case 'X': {
        unsigned long long v = 0;
        switch (spec.length) {
          case Length::Char:
            v = static_cast<unsigned char>(va_arg(ap, unsigned));
            break;
          case Length::Short:
            v = static_cast<unsigned short>(va_arg(ap, unsigned));
            break;
          case Length::Long:
            v = va_arg(ap, unsigned long);
            break;
          case Length::LongLong:
            v = va_arg(ap, unsigned long long);
            break;
          case Length::Size:
          case Length::PtrDiff:
            v = va_arg(ap, std::size_t);
            break;
          case Length::Max:
            v = va_arg(ap, std::uintmax_t);
            break;
          default:
            v = va_arg(ap, unsigned);
            break;
        }
        const char ll[] = {'l', 'l', conversion, '\0'};
        AppendFormatted(out, Directive(spec, ll), v);
        break;
      }
      case 'c':
      case 'C': {
        // %lc, %wc and (Microsoft) %C take a wide character.
        if (conversion == 'C' || IsWideText(spec)) {
          wchar_t w[2] = {static_cast<wchar_t>(va_arg(ap, int)), L'\0'};
          Spec s = spec;
          s.precision = -1;
          std::string narrow = toNarrow ? toNarrow(w, 1) : std::string();
          if (w[0] == L'\0') narrow.assign(1, '\0');
          AppendPadded(out, narrow, s);
        } else {
          Spec s = spec;
          s.precision = -1;
          AppendPadded(out, std::string(1, static_cast<char>(va_arg(ap, int))), s);
        }
        break;
      }
      case 's':
      case 'S':
        // %ls, %ws and (Microsoft) %S take a wide string in a narrow format.
        if (conversion == 'S' || IsWideText(spec))
          AppendWideString(out, va_arg(ap, const wchar_t*), spec, toNarrow);
        else
          AppendNarrowString(out, va_arg(ap, const char*), spec);
        break;
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G':
      case 'a':
      case 'A': {
        double v = spec.length == Length::LongDouble ? static_cast<double>(va_arg(ap, long double))
                                                     : va_arg(ap, double);
        const char conv[] = {conversion, '\0'};
        AppendFormatted(out, Directive(spec, conv), v);
        break;
      }
      case 'p': {
        // The Microsoft runtime's form: 16 upper-case hex digits, no 0x.
        char digits[32];
        std::snprintf(
            digits, sizeof digits, "%016llX",
            static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(va_arg(ap, void*))));
        Spec s = spec;
        s.precision = -1;
        AppendPadded(out, digits, s);
        break;
      }
      case 'n':
        // Writing through a log argument is never wanted; consume it only.
        (void)va_arg(ap, void*);
        break;
      default:
        // Unknown directive: shown as written, no argument consumed.
        out.append(start, p);
        break;
    }
  }
  va_end(ap);
  std::size_t nul = out.find('\0');
  if (nul != std::string::npos) out.resize(nul);
  if (out.size() > kMaxMessage) out.resize(kMaxMessage);
  return out;
}

std::string FormatLogPrefix(int month, int day, int hour, int minute, int second,
                            int milliseconds) {
  char prefix[1024];
  std::snprintf(prefix, sizeof prefix, "[%02d/%02d-%02d:%02d:%02d.%03d]: ", month, day, hour,
                minute, second, milliseconds);
  return prefix;
}
