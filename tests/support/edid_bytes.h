// EDID blocks for the tests, all made by our own generator or edited by hand
// here: nothing is copied from a real monitor. Header only: the tests that use
// it link the generator.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "edidgen.h"

namespace dptest {

using Bytes = std::vector<std::uint8_t>;

// A generated base block; slot 1 timing, slot 2 range limits, slot 3 name, slot 4 dummy.
inline Bytes GeneratedBlock(std::uint32_t w, std::uint32_t h, std::uint32_t f,
                            const std::string& name = "DP Virtual") {
  const edidgen::Result r = edidgen::GenerateEdid({w, h, f}, name);
  EXPECT_TRUE(r.ok) << r.error;
  return Bytes(r.block.begin(), r.block.end());
}

inline std::string AsText(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }
inline Bytes AsBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Sum of a block's 128 bytes modulo 256; 0 for a valid checksum. Any byte
// container: a vector, a generated block, a file's bytes in a string.
template <typename Container>
unsigned BlockSum(const Container& bytes, std::size_t offset = 0) {
  unsigned sum = 0;
  for (std::size_t i = offset; i < offset + 128 && i < std::size(bytes); ++i)
    sum += static_cast<std::uint8_t>(bytes[i]);
  return sum % 256;
}

// The block's last byte set so that its checksum is valid.
template <typename Container>
void FixChecksum(Container& bytes, std::size_t offset = 0) {
  bytes[offset + 127] = 0;
  bytes[offset + 127] =
      static_cast<typename Container::value_type>((256 - BlockSum(bytes, offset)) % 256);
}

// Hex text: `perLine` bytes a line, each byte's two digits separated from the
// next byte by `between`, lines ended by `eol`.
inline std::string HexText(const Bytes& bytes, std::size_t perLine, const std::string& between,
                           const std::string& eol, bool lowerCase = false) {
  const char* digits = lowerCase ? "0123456789abcdef" : "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 0xF];
    if (i % perLine == perLine - 1 || i + 1 == bytes.size()) {
      out += eol;
    } else {
      out += between;
    }
  }
  return out;
}

// The expected block after the rewrite: `name` and 0A at the start of the
// field, the rest of the field kept, checksum valid.
inline Bytes WithName(Bytes block, int slot, const std::string& name) {
  const std::size_t field = 54 + 18 * (slot - 1) + 5;  // the descriptor's 13-byte text
  for (std::size_t i = 0; i < name.size(); ++i)
    block[field + i] = static_cast<std::uint8_t>(name[i]);
  block[field + name.size()] = 0x0A;
  FixChecksum(block);
  return block;
}

// The text in the descriptor `slot` (1 to 4): display descriptor `tag`, the
// text, 0A and blanks; a dummy descriptor (tag 10) is all zeros but its tag.
inline Bytes WithDescriptor(Bytes block, int slot, std::uint8_t tag, const std::string& text = "") {
  std::uint8_t* d = &block[54 + 18 * (slot - 1)];
  std::fill_n(d, 18, tag == 0x10 ? 0x00 : 0x20);
  d[0] = d[1] = d[2] = d[4] = 0;
  d[3] = tag;
  std::copy(text.begin(), text.end(), d + 5);
  if (tag != 0x10 && text.size() < 13) d[5 + text.size()] = 0x0A;
  FixChecksum(block);
  return block;
}

// A base block and a CTA-861 extension made by hand (underscan, a video data
// block with VIC 1, a video capability data block): edid-decode -c takes it.
inline Bytes WithCtaExtension(Bytes base) {
  base[126] = 1;
  FixChecksum(base);
  const std::uint8_t cta[] = {0x02, 0x03, 0x09, 0x80, 0x41, 0x01, 0xE2, 0x00, 0x4A};
  Bytes ext(cta, cta + sizeof cta);
  ext.resize(128, 0);
  FixChecksum(ext);
  base.insert(base.end(), ext.begin(), ext.end());
  return base;
}

// The forms operators hold EDIDs in, written as the tools write them.
// regedit: each key's binary value, lines continued by a backslash, CR LF;
// UTF-16 with its byte-order mark, or ANSI under REGEDIT4.
inline std::string RegistryExport(const std::vector<Bytes>& edids, bool unicode) {
  std::string text = unicode ? "Windows Registry Editor Version 5.00\r\n" : "REGEDIT4\r\n";
  for (std::size_t m = 0; m < edids.size(); ++m) {
    const std::string hex = HexText(edids[m], 25, ",", ",\\\r\n  ", true);
    text += "\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\DISPLAY\\DPX0001\\" +
            std::to_string(m) +
            "\\Device Parameters]\r\n\"EDID\"=hex:" + hex.substr(0, hex.size() - 6) + "\r\n";
  }
  if (!unicode) return text;
  std::string wide = "\xFF\xFE";
  for (char c : text) wide += std::string{c, '\0'};
  return wide;
}

// edid-decode's report: the dump under its heading, a blank line between
// blocks, then the decoded fields.
inline std::string EdidDecodeReport(const Bytes& edid) {
  std::string text = "edid-decode (hex):\n";
  for (std::size_t i = 0; i < edid.size(); i += 128)
    text += "\n" + HexText(Bytes(edid.begin() + i, edid.begin() + i + 128), 16, " ", "\n", true);
  return text + "\n----------------\n\nBlock 0, Base EDID:\n  EDID Structure Version & Revision: " +
         "1.4\nChecksum: 0x" + HexText({edid[127]}, 1, "", "", true) + "\n";
}

// edid-decode -o carray.
inline std::string CArray(const Bytes& edid) {
  std::string text = "const unsigned char edid[] = {\n";
  for (std::size_t i = 0; i < edid.size(); ++i)
    text += (i % 8 == 0 ? "\t0x" : " 0x") + HexText({edid[i]}, 1, "", "", true) +
            (i % 8 == 7 ? ",\n" : ",");
  return text + "};\n";
}

}  // namespace dptest
