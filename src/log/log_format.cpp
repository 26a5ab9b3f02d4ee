#include "log/log_format.h"

#include <cstdint>
#include <cstdio>
#include <cwchar>

namespace {

constexpr std::size_t kMaxMessage = kLogMessageBufferSize - 1;

enum class Length { None, Char, Short, Long, LongLong, Size, Max, PtrDiff, LongDouble, Wide };

struct Conversion {
  std::string flags;
  int width = -1;      // -1: none
  int precision = -1;  // -1: none
  bool leftAlign = false;
  Length length = Length::None;
};

// Rebuilds a conversion for the C runtime from parsed pieces, with the length
// modifier normalised, so both runtimes see a directive they agree on.
std::string Directive(const Conversion& field, const char* lengthAndConversion) {
  std::string d = "%" + field.flags;
  if (field.width >= 0) d += std::to_string(field.width);
  if (field.precision >= 0) d += "." + std::to_string(field.precision);
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
void AppendPadded(std::string& out, const std::string& text, const Conversion& field) {
  std::size_t pad = field.width > 0 && static_cast<std::size_t>(field.width) > text.size()
                        ? static_cast<std::size_t>(field.width) - text.size()
                        : 0;
  if (!field.leftAlign) out.append(pad, ' ');
  out += text;
  if (field.leftAlign) out.append(pad, ' ');
}

void AppendWideString(std::string& out, const wchar_t* text, const Conversion& field,
                      WideToNarrowFn toNarrow) {
  if (text == nullptr) {
    std::string null = "(null)";
    if (field.precision >= 0 && null.size() > static_cast<std::size_t>(field.precision))
      null.resize(static_cast<std::size_t>(field.precision));
    AppendPadded(out, null, field);
    return;
  }
  std::size_t length = std::wcslen(text);
  if (field.precision >= 0 && length > static_cast<std::size_t>(field.precision))
    length = static_cast<std::size_t>(field.precision);
  std::string narrow = toNarrow ? toNarrow(text, length) : std::string();
  AppendPadded(out, narrow, field);
}

void AppendNarrowString(std::string& out, const char* text, const Conversion& field) {
  std::string value = text ? text : "(null)";
  if (field.precision >= 0 && value.size() > static_cast<std::size_t>(field.precision))
    value.resize(static_cast<std::size_t>(field.precision));
  AppendPadded(out, value, field);
}

bool IsWideText(const Conversion& field) {
  return field.length == Length::Long || field.length == Length::Wide;
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
    Conversion field;
    while (*p == '-' || *p == '+' || *p == ' ' || *p == '#' || *p == '0') {
      if (*p == '-') field.leftAlign = true;
      field.flags += *p++;
    }
    if (*p == '*') {
      int w = va_arg(ap, int);
      if (w < 0) {
        field.leftAlign = true;
        field.flags += '-';
        w = -w;
      }
      field.width = w;
      ++p;
    } else {
      while (*p >= '0' && *p <= '9')
        field.width = (field.width < 0 ? 0 : field.width) * 10 + (*p++ - '0');
    }
    if (*p == '.') {
      ++p;
      field.precision = 0;
      if (*p == '*') {
        int prec = va_arg(ap, int);
        field.precision = prec < 0 ? -1 : prec;
        ++p;
      } else {
        while (*p >= '0' && *p <= '9') field.precision = field.precision * 10 + (*p++ - '0');
      }
    }
    switch (*p) {
      case 'h':
        ++p;
        field.length = Length::Short;
        if (*p == 'h') {
          ++p;
          field.length = Length::Char;
        }
        break;
      case 'l':
        ++p;
        field.length = Length::Long;
        if (*p == 'l') {
          ++p;
          field.length = Length::LongLong;
        }
        break;
      case 'L':
        ++p;
        field.length = Length::LongDouble;
        break;
      case 'z':
        ++p;
        field.length = Length::Size;
        break;
      case 'j':
        ++p;
        field.length = Length::Max;
        break;
      case 't':
        ++p;
        field.length = Length::PtrDiff;
        break;
      case 'w':
        ++p;
        field.length = Length::Wide;
        break;
      case 'I':
        if (p[1] == '6' && p[2] == '4') {
          p += 3;
          field.length = Length::LongLong;
        } else if (p[1] == '3' && p[2] == '2') {
          p += 3;
          field.length = Length::None;
        } else {
          ++p;
          field.length = Length::Size;
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
        switch (field.length) {
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
        AppendFormatted(out, Directive(field, "lld"), v);
        break;
      }
      case 'u':
      case 'o':
      case 'x':
      case 'X': {
        unsigned long long v = 0;
        switch (field.length) {
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
        AppendFormatted(out, Directive(field, ll), v);
        break;
      }
      case 'c':
      case 'C': {
        // %lc, %wc and (Microsoft) %C take a wide character.
        if (conversion == 'C' || IsWideText(field)) {
          wchar_t w[2] = {static_cast<wchar_t>(va_arg(ap, int)), L'\0'};
          Conversion s = field;
          s.precision = -1;
          std::string narrow = toNarrow ? toNarrow(w, 1) : std::string();
          if (w[0] == L'\0') narrow.assign(1, '\0');
          AppendPadded(out, narrow, s);
        } else {
          Conversion s = field;
          s.precision = -1;
          AppendPadded(out, std::string(1, static_cast<char>(va_arg(ap, int))), s);
        }
        break;
      }
      case 's':
      case 'S':
        // %ls, %ws and (Microsoft) %S take a wide string in a narrow format.
        if (conversion == 'S' || IsWideText(field))
          AppendWideString(out, va_arg(ap, const wchar_t*), field, toNarrow);
        else
          AppendNarrowString(out, va_arg(ap, const char*), field);
        break;
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G':
      case 'a':
      case 'A': {
        double v = field.length == Length::LongDouble ? static_cast<double>(va_arg(ap, long double))
                                                      : va_arg(ap, double);
        const char conv[] = {conversion, '\0'};
        AppendFormatted(out, Directive(field, conv), v);
        break;
      }
      case 'p': {
        // The Microsoft runtime's form: 16 upper-case hex digits, no 0x.
        char digits[32];
        std::snprintf(
            digits, sizeof digits, "%016llX",
            static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(va_arg(ap, void*))));
        Conversion s = field;
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
