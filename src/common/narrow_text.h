// How narrow (ANSI code page) text is built from characters, so that cuts and
// scans never split one. No Windows header: this builds natively too.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

// A single-byte code page by default. A double-byte code page (932, 936, 949,
// 950, ...) marks its lead bytes: each starts a two-byte character whose
// second byte may look like ASCII (0x5C, the backslash, among them). UTF-8
// (65001) characters are a lead byte and continuation bytes 10xxxxxx.
struct NarrowEncoding {
  bool utf8 = false;
  std::array<bool, 256> leadByte{};
};

// The length of the longest start of `text` that is at most `limit` bytes and
// ends on a character boundary: the whole text when it fits.
std::size_t WholeCharacterLength(std::string_view text, std::size_t limit,
                                 const NarrowEncoding& encoding);

// The position of the last backslash or slash that is a character of its own
// (not the second byte of a double-byte character), or npos.
std::size_t LastPathSeparator(std::string_view text, const NarrowEncoding& encoding);

// The WideCharToMultiByte flags for converting to `codePage` with no
// best-fit substitutions: WC_NO_BEST_FIT_CHARS (0x400), except for the code
// pages that refuse every flag but 0 (UTF-7, UTF-8, GB18030, ISO-2022 and
// ISCII, the symbol page), which would fail every conversion with it.
unsigned WideConversionFlags(unsigned codePage);
