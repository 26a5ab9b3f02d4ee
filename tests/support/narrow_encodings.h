// Narrow encodings for the units that walk narrow text byte by byte, and a
// character that trips a walk that does not know them.
#pragma once

#include <string>

#include "common/narrow_text.h"

namespace dptest {

// Code page 932's lead bytes: 0x81-0x9F and 0xE0-0xFC.
inline NarrowEncoding ShiftJis() {
  NarrowEncoding e;
  for (int b = 0x81; b <= 0x9F; ++b) e.leadByte[b] = true;
  for (int b = 0xE0; b <= 0xFC; ++b) e.leadByte[b] = true;
  return e;
}

inline NarrowEncoding Utf8() {
  NarrowEncoding e;
  e.utf8 = true;
  return e;
}

// "表" in code page 932: its second byte is the backslash's.
inline const std::string kHyo = "\x95\x5C";

}  // namespace dptest
