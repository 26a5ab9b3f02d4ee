// The log formatter over any format and any arguments: the format and the
// argument values come from the input, an argument of the kind each directive
// asks for, in one of three kinds of code page. The message never exceeds
// 2047 bytes, holds no NUL, and comes out the same twice; only the
// directives the messages use take an argument, one each, of their kind; a
// format without directives comes out as written.
// (Where the cut falls is pinned by the unit tests; here it meets double-byte
// and UTF-8 text.)
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <string>

#include "fuzz_check.h"
#include "log/log_format.h"

namespace {

struct Source {
  FuzzedDataProvider* in;
  std::deque<std::string> narrow;
  std::deque<std::wstring> wide;
  // Arguments handed out, per kind: signed, unsigned, narrow, wide.
  std::array<std::size_t, 4> taken{};
};

// Occurrences of each text in the format: as many as the directives there
// could be of a kind, since each directive is written out in full.
std::size_t Occurrences(const std::string& format, std::initializer_list<const char*> texts) {
  std::size_t n = 0;
  for (const std::string text : texts)
    for (std::size_t at = format.find(text); at != std::string::npos;
         at = format.find(text, at + 1))
      ++n;
  return n;
}

long long Signed(void* c, LogIntSize size) {
  auto* s = static_cast<Source*>(c);
  ++s->taken[0];
  // %d and %ld: no message prints a signed size.
  FUZZ_CHECK(size != LogIntSize::kSize);
  return size == LogIntSize::kLong ? s->in->ConsumeIntegral<long>() : s->in->ConsumeIntegral<int>();
}

unsigned long long Unsigned(void* c, LogIntSize size) {
  auto* s = static_cast<Source*>(c);
  ++s->taken[1];
  switch (size) {
    case LogIntSize::kInt:
      return s->in->ConsumeIntegral<unsigned>();
    case LogIntSize::kLong:
      return s->in->ConsumeIntegral<unsigned long>();
    default:
      return s->in->ConsumeIntegral<std::size_t>();
  }
}

const char* Narrow(void* c) {
  auto* s = static_cast<Source*>(c);
  ++s->taken[2];
  if (s->in->ConsumeBool()) return nullptr;
  std::string text = s->in->ConsumeRandomLengthString(3000);
  s->narrow.push_back(text.substr(0, text.find('\0')));
  return s->narrow.back().c_str();
}

const wchar_t* Wide(void* c) {
  auto* s = static_cast<Source*>(c);
  ++s->taken[3];
  if (s->in->ConsumeBool()) return nullptr;
  std::wstring text;
  for (std::size_t n = s->in->ConsumeIntegralInRange<std::size_t>(0, 3000); n > 0; --n) {
    const wchar_t w = static_cast<wchar_t>(s->in->ConsumeIntegralInRange<int>(1, 0xFFFF));
    text += w;
  }
  s->wide.push_back(text);
  return s->wide.back().c_str();
}

// Wide text into the chosen code page's bytes: double-byte characters for
// the CJK range, so that cuts meet them.
NarrowEncoding g_encoding;
std::string ToNarrow(const wchar_t* text, std::size_t length) {
  std::string out;
  for (std::size_t i = 0; i < length; ++i) {
    const unsigned w = static_cast<unsigned>(text[i]);
    if (w < 0x80) {
      out += static_cast<char>(w);
    } else if (g_encoding.utf8) {
      if (w < 0x800) {
        out += static_cast<char>(0xC0 | (w >> 6));
      } else {
        out += static_cast<char>(0xE0 | (w >> 12));
        out += static_cast<char>(0x80 | ((w >> 6) & 0x3F));
      }
      out += static_cast<char>(0x80 | (w & 0x3F));
    } else if (g_encoding.leadByte[0x95]) {
      out += '\x95';
      out += static_cast<char>(0x40 + w % 0xBC);  // 0x5C among the trail bytes
    } else {
      out += '?';
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  g_encoding = NarrowEncoding{};
  switch (in.ConsumeIntegralInRange<int>(0, 2)) {
    case 1:
      for (int b = 0x81; b <= 0x9F; ++b) g_encoding.leadByte[b] = true;
      for (int b = 0xE0; b <= 0xFC; ++b) g_encoding.leadByte[b] = true;
      break;
    case 2:
      g_encoding.utf8 = true;
      break;
    default:
      break;
  }
  const std::string raw = in.ConsumeRandomLengthString(400);
  const std::string format = raw.substr(0, raw.find('\0'));
  const std::string rest = in.ConsumeRemainingBytesAsString();

  std::string results[2];
  std::array<std::size_t, 4> taken{};
  for (std::string& result : results) {
    FuzzedDataProvider args(reinterpret_cast<const std::uint8_t*>(rest.data()), rest.size());
    Source source{&args, {}, {}, {}};
    const LogArguments arguments{&source, &Signed, &Unsigned, &Narrow, &Wide};
    result = FormatLogText(format.c_str(), arguments, &ToNarrow, g_encoding);
    taken = source.taken;
  }
  const std::string& text = results[0];
  FUZZ_CHECK(text.size() <= 2047);
  FUZZ_CHECK(text.find('\0') == std::string::npos);
  FUZZ_CHECK(results[0] == results[1]);
  FUZZ_CHECK(taken[0] <= Occurrences(format, {"%d", "%ld"}));
  FUZZ_CHECK(taken[1] <= Occurrences(format, {"%u", "%lu", "%zu"}));
  FUZZ_CHECK(taken[2] <= Occurrences(format, {"%s"}));
  FUZZ_CHECK(taken[3] <= Occurrences(format, {"%ws", "%ls"}));
  // The format is at most 400 bytes, so the cut never reaches it.
  if (format.find('%') == std::string::npos) FUZZ_CHECK(text == format);
  return 0;
}
