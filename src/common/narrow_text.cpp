#include "common/narrow_text.h"

namespace {

constexpr unsigned kNoBestFitChars = 0x400;  // WC_NO_BEST_FIT_CHARS

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The byte length of the character starting at `text[at]`.
std::size_t CharacterLength(std::string_view text, std::size_t at, const NarrowEncoding& e) {
  if (e.utf8 || !e.leadByte[static_cast<unsigned char>(text[at])]) return 1;
  return at + 1 < text.size() ? 2 : 1;  // a lead byte at the very end stands alone
}

}  // namespace

std::size_t WholeCharacterLength(std::string_view text, std::size_t limit,
                                 const NarrowEncoding& encoding) {
  if (text.size() <= limit) return text.size();
  if (encoding.utf8) {
    std::size_t cut = limit;
    while (cut > 0 && IsContinuation(text[cut])) --cut;
    return cut;
  }
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t next = at + CharacterLength(text, at, encoding);
    if (next > limit) break;
    at = next;
  }
  return at;
}

std::size_t LastPathSeparator(std::string_view text, const NarrowEncoding& encoding) {
  std::size_t last = std::string_view::npos;
  for (std::size_t at = 0; at < text.size(); at += CharacterLength(text, at, encoding)) {
    if (text[at] == '\\' || text[at] == '/') last = at;
  }
  return last;
}

unsigned WideConversionFlags(unsigned codePage) {
  switch (codePage) {
    case 42:     // symbol
    case 50220:  // ISO-2022 Japanese
    case 50221:
    case 50222:
    case 50225:  // ISO-2022 Korean
    case 50227:  // ISO-2022 Simplified Chinese
    case 50229:  // ISO-2022 Traditional Chinese
    case 52936:  // HZ-GB2312
    case 54936:  // GB18030
    case 65000:  // UTF-7
    case 65001:  // UTF-8
      return 0;
    default:
      if (codePage >= 57002 && codePage <= 57011) return 0;  // ISCII
      return kNoBestFitChars;
  }
}
