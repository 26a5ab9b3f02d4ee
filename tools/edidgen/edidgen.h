// Generates EDID 1.4 base blocks for the modes a virtual monitor should offer.
// Every EDID the project uses (test fixtures, the demo's edid folder) comes
// from here, so that none is copied from a real monitor. Pure C++: no Windows
// header, so the same code builds natively and under mingw-w64.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace edidgen {

inline constexpr std::size_t kBlockSize = 128;
using Block = std::array<std::uint8_t, kBlockSize>;

// A mode as the EDID file names state it: width x height x refresh rate (Hz).
struct Mode {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t refresh = 0;
};

// One VESA CVT reduced-blanking timing. Porches and sync widths in pixels or
// lines; the clock in Hz exactly as CVT rounds it (0.25 MHz steps for v1,
// 1 kHz steps for v2).
struct CvtTiming {
  int version = 0;  // reduced blanking version, 1 or 2
  std::uint32_t hActive = 0, hFrontPorch = 0, hSync = 0, hBackPorch = 0;
  std::uint32_t vActive = 0, vFrontPorch = 0, vSync = 0, vBackPorch = 0;
  std::uint64_t pixelClockHz = 0;
  bool hSyncPositive = true;
  bool vSyncPositive = false;

  std::uint32_t HTotal() const { return hActive + hFrontPorch + hSync + hBackPorch; }
  std::uint32_t VTotal() const { return vActive + vFrontPorch + vSync + vBackPorch; }
};

// The largest pixel clock a detailed timing descriptor can carry: 65535 units of 10 kHz.
inline constexpr std::uint64_t kMaxDetailedTimingClockHz = 655'350'000;

// Computes the CVT reduced-blanking timing (version 1 or 2) for a progressive
// mode without margins. False, with the reason in `error`, when the mode has
// no such timing (a zero field, or a refresh rate so high that the minimum
// vertical blanking time leaves no room for active lines).
bool ComputeCvtReducedBlanking(const Mode& mode, int version, CvtTiming& timing,
                               std::string& error);

struct Result {
  bool ok = false;
  std::string error;  // why the mode was refused, when !ok
  Block block{};
  CvtTiming timing;  // the timing in descriptor slot 1
};

// Longest text a display product name descriptor holds.
inline constexpr std::size_t kMaxProductNameLength = 13;

// Builds the base block: EDID 1.4, digital input, sRGB chromaticity, the
// preferred detailed timing in slot 1 (CVT reduced blanking v1, or v2 when v1
// does not fit a detailed timing descriptor), display range limits in slot 2,
// the product name in slot 3 and a dummy descriptor in slot 4. Refused with a
// message when the pixel clock exceeds 655.35 MHz or another field does not fit.
Result GenerateEdid(const Mode& mode, const std::string& productName);

// Parses "WxHxF" (decimal, lower-case x); false for anything else.
bool ParseMode(const std::string& text, Mode& mode);

// "WxHxF.hex", the name the profile selection reads the mode from.
std::string ModeFileName(const Mode& mode);

// Hex text as the EDID reader expects it: upper-case digits, 32 a line, each
// line ended by CR LF. Never a length that is a multiple of 128, which a
// reader deciding by the length alone would take for raw bytes.
std::string FormatHexText(const std::uint8_t* data, std::size_t size);

}  // namespace edidgen
