// Text the tests build their expectations from: placeholders filled in, and
// narrow text in the ANSI code page.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace dptest {

// Every occurrence of each key replaced by its value, the keys in the order
// given (so a key that begins another, "<C>" of "<C1080>", comes after it);
// what a value brings in is never searched again.
std::string Expand(std::string text,
                   const std::vector<std::pair<std::string, std::string>>& values);

// Narrow text in the ANSI code page to UTF-16, and back (characters without a
// narrow form become '?', as the program's own narrow view shows them).
std::wstring AnsiToWide(const std::string& text);
std::string WideToAnsi(const std::wstring& text);

}  // namespace dptest
