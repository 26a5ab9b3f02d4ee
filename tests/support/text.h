// Text the tests build their expectations from: placeholders filled in, and
// narrow text in the ANSI code page.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace dptest {

// The placeholders of expected texts, one vocabulary for every test: "<D>"
// the deployment (the executable directory), "<A>" APPDATA, "<C>" the
// companion's path, "<Q>" its command line (quoted when it holds a space),
// "<P>" the profile edid\2560x1440x60.hex, "<P1080>" edid\1920x1080x60.hex,
// "<PID>" a started process's id, "<U>" an account (DOMAIN\name), "<ERR>" a
// system error code. A test fills in those it knows (Sandbox::Expand knows
// the deployment's) and matches the others by MatchesWith.

// Every occurrence of each key replaced by its value, the keys in the order
// given; what a value brings in is never searched again.
std::string Expand(std::string text,
                   const std::vector<std::pair<std::string, std::string>>& values);

// Whether `text` is `expected`, in which each key of `patterns` stands for
// text its regular expression matches, and for the same text wherever it
// stands again; everything else is taken literally.
::testing::AssertionResult MatchesWith(
    const std::string& text, const std::string& expected,
    const std::vector<std::pair<std::string, std::string>>& patterns);

// Narrow text in the ANSI code page to UTF-16, and back (characters without a
// narrow form become '?', as the program's own narrow view shows them).
std::wstring AnsiToWide(const std::string& text);
std::string WideToAnsi(const std::wstring& text);

// The system's own text for an error code (Wine's wording differs from
// Windows'), inserts as written; empty when it has none.
std::string SystemText(unsigned long code);

}  // namespace dptest
