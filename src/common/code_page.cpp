#include "common/code_page.h"

#include <windows.h>

namespace {

NarrowEncoding Read() {
  NarrowEncoding e;
  const UINT acp = GetACP();
  if (acp == CP_UTF8) {
    e.utf8 = true;
    return e;
  }
  CPINFO info = {};
  if (!GetCPInfo(acp, &info)) return e;
  // Lead-byte ranges come in pairs and end with a pair of zeros.
  for (int i = 0; i + 1 < MAX_LEADBYTES && (info.LeadByte[i] || info.LeadByte[i + 1]); i += 2) {
    for (unsigned b = info.LeadByte[i]; b <= info.LeadByte[i + 1] && b < 256; ++b)
      e.leadByte[b] = true;
  }
  return e;
}

}  // namespace

const NarrowEncoding& AnsiEncoding() {
  static const NarrowEncoding encoding = Read();
  return encoding;
}
