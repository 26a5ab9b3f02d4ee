#include "log/log_format.h"

#include <cstdint>
#include <cstdio>
#include <cwchar>

namespace {

constexpr std::size_t kMaxMessage = kLogMessageBufferSize - 1;

struct Field {
  std::string flags;
  int width = -1;      // -1: none
  int precision = -1;  // -1: none
  bool leftAlign = false;
};

// Digits of a width or precision; larger values are held at a bound that
// still exceeds any message.
int ReadNumber(const char*& p) {
  int n = 0;
  while (*p >= '0' && *p <= '9') {
    n = n * 10 + (*p - '0');
    if (n > static_cast<int>(kLogMessageBufferSize)) n = static_cast<int>(kLogMessageBufferSize);
    ++p;
  }
  return n;
}

void AppendInteger(std::string& out, const Field& field, const char* conversion,
                   unsigned long long bits) {
  std::string directive(1, '%');
  directive += field.flags;
  if (field.width >= 0) directive += std::to_string(field.width);
  if (field.precision >= 0) directive += "." + std::to_string(field.precision);
  directive += conversion;
  char buffer[128];
  int n = conversion[2] == 'd' ? std::snprintf(buffer, sizeof buffer, directive.c_str(),
                                               static_cast<long long>(bits))
                               : std::snprintf(buffer, sizeof buffer, directive.c_str(), bits);
  if (n < 0) return;
  if (static_cast<std::size_t>(n) < sizeof buffer) {
    out.append(buffer, static_cast<std::size_t>(n));
    return;
  }
  std::string big(static_cast<std::size_t>(n) + 1, '\0');
  n = conversion[2] == 'd'
          ? std::snprintf(big.data(), big.size(), directive.c_str(), static_cast<long long>(bits))
          : std::snprintf(big.data(), big.size(), directive.c_str(), bits);
  if (n > 0) out.append(big.data(), static_cast<std::size_t>(n));
}

// Pads converted text to the field width, as %s does.
void AppendPadded(std::string& out, std::string text, const Field& field) {
  if (field.precision >= 0 && text.size() > static_cast<std::size_t>(field.precision))
    text.resize(static_cast<std::size_t>(field.precision));
  const std::size_t pad = field.width > 0 && static_cast<std::size_t>(field.width) > text.size()
                              ? static_cast<std::size_t>(field.width) - text.size()
                              : 0;
  if (!field.leftAlign) out.append(pad, ' ');
  out += text;
  if (field.leftAlign) out.append(pad, ' ');
}

struct VaListContext {
  std::va_list ap;
};

long long VaSigned(void* c, LogIntSize size) {
  VaListContext* ctx = static_cast<VaListContext*>(c);
  switch (size) {
    case LogIntSize::kLong:
      return va_arg(ctx->ap, long);
    case LogIntSize::kSize:
      return va_arg(ctx->ap, std::ptrdiff_t);
    default:
      return va_arg(ctx->ap, int);
  }
}

unsigned long long VaUnsigned(void* c, LogIntSize size) {
  VaListContext* ctx = static_cast<VaListContext*>(c);
  switch (size) {
    case LogIntSize::kLong:
      return va_arg(ctx->ap, unsigned long);
    case LogIntSize::kSize:
      return va_arg(ctx->ap, std::size_t);
    default:
      return va_arg(ctx->ap, unsigned);
  }
}

const char* VaNarrow(void* c) { return va_arg(static_cast<VaListContext*>(c)->ap, const char*); }
const wchar_t* VaWide(void* c) {
  return va_arg(static_cast<VaListContext*>(c)->ap, const wchar_t*);
}

}  // namespace

std::string FormatLogText(const char* format, const LogArguments& args, WideToNarrowFn toNarrow,
                          const NarrowEncoding& encoding) {
  std::string out;
  if (format == nullptr) return out;
  const char* p = format;
  while (*p != '\0' && out.size() <= kMaxMessage) {
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
    Field field;
    while (*p == '-' || *p == '+' || *p == ' ' || *p == '#' || *p == '0') {
      if (*p == '-') field.leftAlign = true;
      field.flags += *p++;
    }
    if (*p >= '0' && *p <= '9') field.width = ReadNumber(p);
    if (*p == '.') {
      ++p;
      field.precision = ReadNumber(p);
    }
    const char modifier = (*p == 'l' || *p == 'z' || *p == 'w') ? *p++ : '\0';
    const LogIntSize size = modifier == 'l'   ? LogIntSize::kLong
                            : modifier == 'z' ? LogIntSize::kSize
                                              : LogIntSize::kInt;
    const char conversion = *p;
    if ((conversion == 'd' || conversion == 'i') && modifier != 'w') {
      ++p;
      AppendInteger(out, field, "lld",
                    static_cast<unsigned long long>(args.nextSigned(args.context, size)));
    } else if (conversion == 'u' && modifier != 'w') {
      ++p;
      AppendInteger(out, field, "llu", args.nextUnsigned(args.context, size));
    } else if (conversion == 's' && modifier != 'z') {
      ++p;
      if (modifier != '\0') {
        const wchar_t* text = args.nextWide(args.context);
        if (text == nullptr) {
          AppendPadded(out, "(null)", field);
        } else {
          std::size_t length = std::wcslen(text);
          if (field.precision >= 0 && length > static_cast<std::size_t>(field.precision))
            length = static_cast<std::size_t>(field.precision);
          // The precision counted wide characters; the narrow bytes are not cut again.
          Field padding = field;
          padding.precision = -1;
          AppendPadded(out, toNarrow ? toNarrow(text, length) : std::string(), padding);
        }
      } else {
        const char* text = args.nextNarrow(args.context);
        AppendPadded(out, text ? text : "(null)", field);
      }
    } else {
      // Not a directive the messages use: shown as written, no argument taken.
      if (conversion != '\0') ++p;
      out.append(start, p);
    }
  }
  const std::size_t nul = out.find('\0');
  if (nul != std::string::npos) out.resize(nul);
  out.resize(WholeCharacterLength(out, kMaxMessage, encoding));
  return out;
}

std::string FormatLogText(const char* format, std::va_list args, WideToNarrowFn toNarrow,
                          const NarrowEncoding& encoding) {
  VaListContext context;
  va_copy(context.ap, args);
  const LogArguments source{&context, &VaSigned, &VaUnsigned, &VaNarrow, &VaWide};
  std::string text = FormatLogText(format, source, toNarrow, encoding);
  va_end(context.ap);
  return text;
}

std::string FormatLogPrefix(int month, int day, int hour, int minute, int second,
                            int milliseconds) {
  char prefix[1024];
  std::snprintf(prefix, sizeof prefix, "[%02d/%02d-%02d:%02d:%02d.%03d]: ", month, day, hour,
                minute, second, milliseconds);
  return prefix;
}
