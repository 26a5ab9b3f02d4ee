// EDID blocks for the tests, all made by our own generator or edited by hand
// here: nothing is copied from a real monitor. Header only: the tests that use
// it link the generator.
#pragma once

#include <gtest/gtest.h>

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

// The 13-byte name field of the descriptor in `slot` (1 to 4).
inline std::size_t NameField(int slot) { return 54 + 18 * (slot - 1) + 5; }

// The expected block after the rewrite: `name` and 0A at the start of the
// field, the rest of the field kept, checksum valid.
inline Bytes WithName(Bytes block, int slot, const std::string& name) {
  const std::size_t field = NameField(slot);
  for (std::size_t i = 0; i < name.size(); ++i)
    block[field + i] = static_cast<std::uint8_t>(name[i]);
  block[field + name.size()] = 0x0A;
  FixChecksum(block);
  return block;
}

}  // namespace dptest
