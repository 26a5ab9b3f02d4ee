#include "log/log_format.h"

#include <cstdio>
#include <cwchar>

namespace {

constexpr std::size_t kMaxMessage = kLogMessageBufferSize - 1;

struct VaListContext {
  std::va_list ap;
};

long long VaSigned(void* c, LogIntSize size) {
  VaListContext* ctx = static_cast<VaListContext*>(c);
  return size == LogIntSize::kLong ? va_arg(ctx->ap, long) : va_arg(ctx->ap, int);
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
    const char modifier = (*p == 'l' || *p == 'z' || *p == 'w') ? *p++ : '\0';
    const char conversion = *p;
    if (conversion == '%' && modifier == '\0') {
      ++p;
      out += '%';
    } else if (conversion == 'd' && (modifier == '\0' || modifier == 'l')) {
      ++p;
      const LogIntSize size = modifier == 'l' ? LogIntSize::kLong : LogIntSize::kInt;
      out += std::to_string(args.nextSigned(args.context, size));
    } else if (conversion == 'u' && modifier != 'w') {
      ++p;
      const LogIntSize size = modifier == 'l'   ? LogIntSize::kLong
                              : modifier == 'z' ? LogIntSize::kSize
                                                : LogIntSize::kInt;
      out += std::to_string(args.nextUnsigned(args.context, size));
    } else if (conversion == 's' && modifier == '\0') {
      ++p;
      const char* text = args.nextNarrow(args.context);
      out += text ? text : "(null)";
    } else if (conversion == 's' && (modifier == 'l' || modifier == 'w')) {
      ++p;
      const wchar_t* text = args.nextWide(args.context);
      if (text == nullptr) {
        out += "(null)";
      } else if (toNarrow != nullptr) {
        out += toNarrow(text, std::wcslen(text));
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
