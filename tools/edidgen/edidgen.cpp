#include "edidgen.h"

#include <algorithm>
#include <charconv>

namespace edidgen {
namespace {

// CVT reduced blanking constants. All arithmetic below stays in integers so
// that the rounding steps (ROUNDDOWN in the CVT formulas) are exact and the
// result does not depend on the compiler's floating point.
constexpr std::uint64_t kMinVBlankUs = 460;  // RB_MIN_V_BLANK, both versions
constexpr std::uint32_t kV1HBlank = 160, kV1HSync = 32, kV1HFrontPorch = 48;
constexpr std::uint32_t kV1VFrontPorch = 3, kV1MinVBackPorch = 6;
constexpr std::uint64_t kV1ClockStepHz = 250'000;
constexpr std::uint32_t kV2HBlank = 80, kV2HSync = 32, kV2HFrontPorch = 8;
constexpr std::uint32_t kV2VSync = 8, kV2MinVFrontPorch = 1, kV2VBackPorch = 6;
constexpr std::uint64_t kV2ClockStepHz = 1'000;

// CVT v1 encodes the aspect ratio in the vertical sync width.
std::uint32_t V1SyncWidth(std::uint64_t w, std::uint64_t h) {
  if (w * 3 == h * 4) return 4;    // 4:3
  if (w * 9 == h * 16) return 5;   // 16:9
  if (w * 10 == h * 16) return 6;  // 16:10
  if (w * 4 == h * 5) return 7;    // 5:4
  if (w * 9 == h * 15) return 7;   // 15:9
  return 10;                       // any other ratio
}

std::string ModeText(const Mode& m) {
  return std::to_string(m.width) + "x" + std::to_string(m.height) + "x" + std::to_string(m.refresh);
}

std::string MHzText(std::uint64_t hz) {
  std::string frac = std::to_string(hz % 1'000'000 / 10'000);
  if (frac.size() < 2) frac.insert(0, 2 - frac.size(), '0');
  return std::to_string(hz / 1'000'000) + "." + frac + " MHz";
}

// Why a timing cannot be written into a detailed timing descriptor, or empty.
std::string DescriptorFitProblem(const CvtTiming& t) {
  const std::uint32_t hBlank = t.hFrontPorch + t.hSync + t.hBackPorch;
  const std::uint32_t vBlank = t.vFrontPorch + t.vSync + t.vBackPorch;
  // The descriptor counts the clock in 10 kHz units, and a count of 0 marks
  // a display descriptor instead of a timing.
  if (t.pixelClockHz < 10'000)
    return "pixel clock " + std::to_string(t.pixelClockHz) +
           " Hz is below the 10 kHz a detailed timing can describe";
  if (t.pixelClockHz / 10'000 > 0xFFFF)
    return "pixel clock " + MHzText(t.pixelClockHz) +
           " exceeds the 655.35 MHz an EDID base block can describe";
  if (t.hActive > 0xFFF || t.vActive > 0xFFF)
    return "a detailed timing holds at most 4095 pixels or lines";
  if (hBlank > 0xFFF || vBlank > 0xFFF) return "blanking exceeds 4095 pixels or lines";
  if (t.hFrontPorch > 0x3FF || t.hSync > 0x3FF) return "horizontal sync does not fit";
  if (t.vFrontPorch > 0x3F || t.vSync > 0x3F)
    return "vertical front porch of " + std::to_string(t.vFrontPorch) +
           " lines exceeds the 63 a detailed timing holds";
  return {};
}

void PutDetailedTiming(std::uint8_t* d, const CvtTiming& t, std::uint32_t widthMm,
                       std::uint32_t heightMm) {
  const std::uint32_t clock = static_cast<std::uint32_t>(t.pixelClockHz / 10'000);
  const std::uint32_t hBlank = t.hFrontPorch + t.hSync + t.hBackPorch;
  const std::uint32_t vBlank = t.vFrontPorch + t.vSync + t.vBackPorch;
  d[0] = clock & 0xFF;
  d[1] = clock >> 8;
  d[2] = t.hActive & 0xFF;
  d[3] = hBlank & 0xFF;
  d[4] = static_cast<std::uint8_t>(((t.hActive >> 8) << 4) | (hBlank >> 8));
  d[5] = t.vActive & 0xFF;
  d[6] = vBlank & 0xFF;
  d[7] = static_cast<std::uint8_t>(((t.vActive >> 8) << 4) | (vBlank >> 8));
  d[8] = t.hFrontPorch & 0xFF;
  d[9] = t.hSync & 0xFF;
  d[10] = static_cast<std::uint8_t>(((t.vFrontPorch & 0xF) << 4) | (t.vSync & 0xF));
  d[11] = static_cast<std::uint8_t>(((t.hFrontPorch >> 8) << 6) | ((t.hSync >> 8) << 4) |
                                    ((t.vFrontPorch >> 4) << 2) | (t.vSync >> 4));
  d[12] = widthMm & 0xFF;
  d[13] = heightMm & 0xFF;
  d[14] = static_cast<std::uint8_t>(((widthMm >> 8) << 4) | (heightMm >> 8));
  d[15] = 0;  // no borders
  d[16] = 0;
  // Non-interlaced, no stereo, digital separate sync with the CVT polarities.
  d[17] =
      static_cast<std::uint8_t>(0x18 | (t.vSyncPositive ? 0x04 : 0) | (t.hSyncPositive ? 0x02 : 0));
}

// A range limits value above 255 is stored less 255 with its offset flag set.
std::uint8_t RangeByte(std::uint32_t value, std::uint8_t flag, std::uint8_t& flags) {
  if (value > 255) {
    flags |= flag;
    value -= 255;
  }
  return static_cast<std::uint8_t>(value);
}

void PutRangeLimits(std::uint8_t* d, const CvtTiming& t) {
  const std::uint64_t frame = std::uint64_t{t.HTotal()} * t.VTotal();
  // Range just wide enough to include the preferred timing itself.
  const std::uint32_t vMin =
      static_cast<std::uint32_t>(std::max<std::uint64_t>(1, t.pixelClockHz / frame));
  const std::uint32_t vMax = static_cast<std::uint32_t>((t.pixelClockHz + frame - 1) / frame);
  const std::uint64_t lineKhz = std::uint64_t{t.HTotal()} * 1000;
  const std::uint32_t hMin =
      static_cast<std::uint32_t>(std::max<std::uint64_t>(1, t.pixelClockHz / lineKhz));
  const std::uint32_t hMax = static_cast<std::uint32_t>((t.pixelClockHz + lineKhz - 1) / lineKhz);
  d[0] = d[1] = d[2] = 0;
  d[3] = 0xFD;
  std::uint8_t flags = 0;
  // A minimum may carry the offset only together with its maximum (bit pairs 1:0, 3:2).
  d[6] = RangeByte(vMax, 0x02, flags);
  d[5] = (flags & 0x02) ? RangeByte(vMin, 0x01, flags)
                        : static_cast<std::uint8_t>(std::min<std::uint32_t>(vMin, 255));
  d[8] = RangeByte(hMax, 0x08, flags);
  d[7] = (flags & 0x08) ? RangeByte(hMin, 0x04, flags)
                        : static_cast<std::uint8_t>(std::min<std::uint32_t>(hMin, 255));
  d[4] = flags;
  d[9] = static_cast<std::uint8_t>((t.pixelClockHz + 9'999'999) / 10'000'000);  // 10 MHz units, up
  d[10] = 0x01;  // range limits only: no GTF or CVT formula offered beyond the listed timing
  d[11] = 0x0A;
  std::fill(d + 12, d + 18, 0x20);
}

void PutTextDescriptor(std::uint8_t* d, std::uint8_t tag, const std::string& text) {
  d[0] = d[1] = d[2] = 0;
  d[3] = tag;
  d[4] = 0;
  std::size_t i = 0;
  for (; i < text.size() && i < 13; ++i) d[5 + i] = static_cast<std::uint8_t>(text[i]);
  if (i < 13) d[5 + i++] = 0x0A;
  for (; i < 13; ++i) d[5 + i] = 0x20;
}

// Manufacturer id "DPX": three letters, five bits each, big-endian.
constexpr std::uint16_t kManufacturerId = ((('D' - '@') << 10) | (('P' - '@') << 5) | ('X' - '@'));

}  // namespace

bool ComputeCvtReducedBlanking(const Mode& mode, int version, CvtTiming& t, std::string& error) {
  if (version != 1 && version != 2) {
    error = "CVT reduced blanking version must be 1 or 2";
    return false;
  }
  if (mode.width == 0 || mode.height == 0 || mode.refresh == 0) {
    error = ModeText(mode) + ": width, height and refresh rate must all be above 0";
    return false;
  }
  const std::uint64_t w = mode.width, h = mode.height, fps = mode.refresh;
  // The field period must leave time after the minimum vertical blanking.
  if (kMinVBlankUs * fps >= 1'000'000) {
    error = ModeText(mode) + ": refresh rate too high for CVT reduced blanking";
    return false;
  }
  // VBI_LINES = ROUNDDOWN(RB_MIN_V_BLANK / H_PERIOD_EST) + 1, with
  // H_PERIOD_EST = (1e6 / fps - RB_MIN_V_BLANK) / lines, rearranged into integers.
  const std::uint64_t vbiLines = kMinVBlankUs * h * fps / (1'000'000 - kMinVBlankUs * fps) + 1;

  t = CvtTiming{};
  t.version = version;
  t.hActive = mode.width;
  t.vActive = mode.height;
  t.hSyncPositive = true;
  t.vSyncPositive = false;
  std::uint64_t step;
  if (version == 1) {
    t.hFrontPorch = kV1HFrontPorch;
    t.hSync = kV1HSync;
    t.hBackPorch = kV1HBlank - kV1HSync - kV1HFrontPorch;
    t.vFrontPorch = kV1VFrontPorch;
    t.vSync = V1SyncWidth(w, h);
    const std::uint64_t minVbi = kV1VFrontPorch + t.vSync + kV1MinVBackPorch;
    t.vBackPorch =
        static_cast<std::uint32_t>(std::max(vbiLines, minVbi) - kV1VFrontPorch - t.vSync);
    step = kV1ClockStepHz;
  } else {
    t.hFrontPorch = kV2HFrontPorch;
    t.hSync = kV2HSync;
    t.hBackPorch = kV2HBlank - kV2HSync - kV2HFrontPorch;
    t.vSync = kV2VSync;
    t.vBackPorch = kV2VBackPorch;
    const std::uint64_t minVbi = kV2MinVFrontPorch + kV2VSync + kV2VBackPorch;
    t.vFrontPorch =
        static_cast<std::uint32_t>(std::max(vbiLines, minVbi) - kV2VSync - kV2VBackPorch);
    step = kV2ClockStepHz;
  }
  const std::uint64_t exact = fps * t.HTotal() * t.VTotal();
  t.pixelClockHz = exact / step * step;
  return true;
}

Result GenerateEdid(const Mode& mode, const std::string& productName) {
  Result r;
  if (productName.empty() || productName.size() > kMaxProductNameLength) {
    r.error = "product name must have 1 to 13 characters";
    return r;
  }
  for (char c : productName) {
    if (c < 0x20 || c > 0x7E) {
      r.error = "product name must be printable ASCII";
      return r;
    }
  }
  // Version 1 unless it does not fit a detailed timing descriptor; version 2
  // needs less blanking and so a lower clock for the same mode.
  std::string problem;
  bool found = false;
  for (int version = 1; version <= 2 && !found; ++version) {
    CvtTiming t;
    if (!ComputeCvtReducedBlanking(mode, version, t, r.error)) return r;
    problem = DescriptorFitProblem(t);
    if (problem.empty()) {
      r.timing = t;
      found = true;
    }
  }
  if (!found) {
    r.error = ModeText(mode) + ": " + problem;
    return r;
  }
  // The descriptor counts the clock in 10 kHz units; v2's 1 kHz steps are
  // rounded down so that `timing` is exactly what slot 1 says.
  r.timing.pixelClockHz = r.timing.pixelClockHz / 10'000 * 10'000;
  const CvtTiming& t = r.timing;
  const std::uint64_t frame = std::uint64_t{t.HTotal()} * t.VTotal();
  const std::uint64_t lineHz = t.pixelClockHz / t.HTotal();
  if ((t.pixelClockHz + frame - 1) / frame > 510 || (lineHz + 999) / 1000 > 510) {
    r.error = ModeText(mode) + ": display range limits hold at most 510 Hz and 510 kHz";
    return r;
  }

  Block& b = r.block;
  b.fill(0);
  b[0] = 0x00;
  std::fill(b.begin() + 1, b.begin() + 7, 0xFF);
  b[7] = 0x00;
  b[8] = kManufacturerId >> 8;
  b[9] = kManufacturerId & 0xFF;
  b[10] = 0x01;  // product code 1, little-endian
  b[11] = 0x00;
  // Serial number 0 (bytes 12-15). A fixed week and year keep the output
  // reproducible: unknown week, made in 2020.
  b[16] = 0;
  b[17] = 2020 - 1990;
  b[18] = 1;  // EDID 1.4
  b[19] = 4;
  b[20] = 0xA5;  // digital input, 8 bits per colour, DisplayPort
  // Physical size at 96 pixels per inch, which Windows assumes for 100 % scaling.
  const std::uint32_t widthMm = (mode.width * 254u + 480u) / 960u;
  const std::uint32_t heightMm = (mode.height * 254u + 480u) / 960u;
  b[21] = static_cast<std::uint8_t>(std::clamp<std::uint32_t>((widthMm + 5) / 10, 1, 255));
  b[22] = static_cast<std::uint8_t>(std::clamp<std::uint32_t>((heightMm + 5) / 10, 1, 255));
  b[23] = 120;  // gamma 2.2, stored as gamma * 100 - 100
  // No power management; RGB 4:4:4; sRGB is the default colour space; the
  // preferred timing is the native mode; no continuous frequency.
  b[24] = 0x06;
  // sRGB primaries and D65 white point as 10-bit binary fractions:
  // R(0.640, 0.330) G(0.300, 0.600) B(0.150, 0.060) W(0.3127, 0.3290).
  const std::uint16_t rx = 655, ry = 338, gx = 307, gy = 614, bx = 154, by = 61, wx = 320, wy = 337;
  b[25] = static_cast<std::uint8_t>(((rx & 3) << 6) | ((ry & 3) << 4) | ((gx & 3) << 2) | (gy & 3));
  b[26] = static_cast<std::uint8_t>(((bx & 3) << 6) | ((by & 3) << 4) | ((wx & 3) << 2) | (wy & 3));
  b[27] = rx >> 2;
  b[28] = ry >> 2;
  b[29] = gx >> 2;
  b[30] = gy >> 2;
  b[31] = bx >> 2;
  b[32] = by >> 2;
  b[33] = wx >> 2;
  b[34] = wy >> 2;
  // No established timings (35-37); all eight standard timings unused.
  for (int i = 38; i < 54; ++i) b[i] = 0x01;

  PutDetailedTiming(&b[54], t, std::min<std::uint32_t>(widthMm, 0xFFF),
                    std::min<std::uint32_t>(heightMm, 0xFFF));
  PutRangeLimits(&b[72], t);
  PutTextDescriptor(&b[90], 0xFC, productName);
  b[108 + 3] = 0x10;  // dummy descriptor: tag 10, every other byte 0

  b[126] = 0;  // no extension blocks
  unsigned sum = 0;
  for (int i = 0; i < 127; ++i) sum += b[i];
  b[127] = static_cast<std::uint8_t>((256 - sum % 256) % 256);
  r.ok = true;
  return r;
}

bool ParseMode(const std::string& text, Mode& mode) {
  std::uint32_t v[3];
  const char* p = text.data();
  const char* end = text.data() + text.size();
  for (int i = 0; i < 3; ++i) {
    if (p == end || *p < '0' || *p > '9') return false;
    auto [next, ec] = std::from_chars(p, end, v[i]);
    if (ec != std::errc()) return false;
    p = next;
    if (i < 2) {
      if (p == end || *p != 'x') return false;
      ++p;
    }
  }
  if (p != end) return false;
  mode = Mode{v[0], v[1], v[2]};
  return true;
}

std::string ModeFileName(const Mode& mode) { return ModeText(mode) + ".hex"; }

std::string FormatHexText(const std::uint8_t* data, std::size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < size; ++i) {
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 0xF];
    if (i % 16 == 15 || i + 1 == size) out += "\r\n";
  }
  // A line end more keeps a reader that goes by length from taking it for raw bytes.
  if (out.size() % kBlockSize == 0) out += "\r\n";
  return out;
}

}  // namespace edidgen
