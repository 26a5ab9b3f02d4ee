// Where narrow text may be cut, and how wide text is converted to it.
#include "common/narrow_text.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "support/narrow_encodings.h"

namespace {

using dptest::kHyo;
using dptest::ShiftJis;
using dptest::Utf8;

TEST(NarrowText, CutsOnlyBetweenCharacters) {
  const std::string sjis = "ab" + kHyo + "c" + kHyo;            // a b [95 5C] c [95 5C]
  const std::string utf8 = std::string("a\xE8\xA1\xA8") + 'b';  // a [E8 A1 A8] b
  const struct {
    const char* what;
    std::string text;
    NarrowEncoding encoding;
    std::size_t limit, want;
  } cases[] = {
      {"fits", sjis, ShiftJis(), 7, 7},
      {"single-byte cuts anywhere", sjis, NarrowEncoding{}, 3, 3},
      {"before a lead byte", sjis, ShiftJis(), 2, 2},
      {"inside a double-byte character", sjis, ShiftJis(), 3, 2},
      {"after it", sjis, ShiftJis(), 4, 4},
      {"inside the last one", sjis, ShiftJis(), 6, 5},
      {"UTF-8 inside a character", utf8, Utf8(), 3, 1},
      {"UTF-8 after it", utf8, Utf8(), 4, 4},
      {"UTF-8 before it", utf8, Utf8(), 1, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WholeCharacterLength(c.text, c.limit, c.encoding), c.want) << c.what;
  }
}

TEST(NarrowText, ConversionFlagsTheCodePageAccepts) {
  // Windows refuses WC_NO_BEST_FIT_CHARS (ERROR_INVALID_FLAGS) for these.
  for (unsigned cp : {42u, 50220u, 50221u, 50222u, 50225u, 50227u, 50229u, 52936u, 54936u, 57002u,
                      57006u, 57011u, 65000u, 65001u})
    EXPECT_EQ(WideConversionFlags(cp), 0u) << cp;
  for (unsigned cp : {437u, 850u, 874u, 932u, 936u, 949u, 950u, 1250u, 1252u, 1258u, 20127u, 28591u,
                      57001u, 57012u})
    EXPECT_EQ(WideConversionFlags(cp), static_cast<unsigned>(WC_NO_BEST_FIT_CHARS)) << cp;
}

}  // namespace
