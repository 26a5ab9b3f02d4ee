#include "common/quote.h"

namespace {

template <typename Char>
std::basic_string<Char> Quote(const std::basic_string<Char>& text) {
  if (text.find(Char(' ')) == std::basic_string<Char>::npos) return text;
  std::basic_string<Char> quoted;
  quoted.reserve(text.size() + 2);
  quoted += Char('"');
  quoted += text;
  quoted += Char('"');
  return quoted;
}

}  // namespace

std::string QuoteIfContainsSpace(const std::string& text) { return Quote(text); }
std::wstring QuoteIfContainsSpace(const std::wstring& text) { return Quote(text); }
