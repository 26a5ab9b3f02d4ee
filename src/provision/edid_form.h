// The forms an EDID file comes in, and the EDID it holds. The program reads
// two of them: raw bytes and hex text. Operators also have the text forms
// that Windows and Linux tools write (a registry value or a regedit export, a
// C array, an edid-decode report); they are recognised here too, so that the
// reader, the pre-flight check and `edidgen import` tell forms apart with one
// piece of code. No Windows header and no log: edidgen links it as it is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr std::size_t kEdidBlockSize = 128;
// Larger files are refused unread: an EDID of 8192 blocks is already absurd.
inline constexpr std::int64_t kMaxEdidFileSize = 1 << 20;

// A positive multiple of 128: the only lengths raw bytes can have.
bool IsRawEdidLength(std::int64_t length);

// The digit rule, applied to any character: codes above '9' have bit 5
// cleared and 55 taken off (so A-F and a-f give 10-15), others have 48 taken
// off, all in 8-bit arithmetic.
std::uint8_t HexDigitValue(char c);

// Hex text to bytes: the six ASCII white-space characters are skipped
// anywhere, every other character counts as a digit (see HexDigitValue), pairs
// of digits make a byte, and a lone digit at the end is dropped.
std::vector<std::uint8_t> DecodeEdidHexText(const char* text, std::size_t size);

enum class EdidForm {
  kRaw,               // binary, starting with the EDID header
  kHexText,           // hex digits and white space only
  kMarkedHexText,     // the same behind a byte-order mark (UTF-8, or UTF-16 as Notepad saves)
  kRegistryExport,    // a regedit export, UTF-16 with a byte-order mark or ANSI
  kRegistryValue,     // a binary value "hex:00,ff,..." without an export's heading
  kCArray,            // numbers written 0x00, 0xff, ...
  kEdidDecodeReport,  // edid-decode's report or dump, under "edid-decode (hex):"
  kUnknown,           // none of these
};

// "raw", "hex text", "a registry export", ...
const char* EdidFormName(EdidForm form);

EdidForm RecogniseEdidForm(const char* data, std::size_t size);

// Replaces `content` with what the program reads from a file holding the
// `size` bytes at `data`, and returns the number of bytes placed there: raw
// bytes (a positive multiple of 128 bytes, starting with the EDID header) are
// taken as they are, anything else as hex text. Logs nothing.
std::int64_t ReadEdidBytes(const char* data, std::size_t size, std::vector<std::uint8_t>& content);

// The EDID that a file in any recognised form holds: for raw bytes and hex
// text what the program reads, for the other forms what they spell out.
struct EdidInFile {
  EdidForm form = EdidForm::kUnknown;
  std::vector<std::uint8_t> bytes;
  std::string problem;  // why the form gives no bytes (two EDIDs in one export, say)
};
EdidInFile FindEdidInFile(const char* data, std::size_t size);

// Why `bytes` is not an EDID (not whole blocks, no header, a wrong base-block
// checksum); empty when it is one.
std::string EdidProblem(const std::vector<std::uint8_t>& bytes);

// The base block's four descriptor slots, and the display descriptors that
// concern the monitor name.
inline constexpr std::size_t kDescriptorSlots[4] = {54, 72, 90, 108};
inline constexpr std::size_t kDescriptorSize = 18;
inline constexpr std::uint8_t kMonitorNameTag = 0xFC;
inline constexpr std::uint8_t kTextTag = 0xFE;
inline constexpr std::uint8_t kDummyTag = 0x10;

// The first slot (0 to 3) from `from` on that holds a display descriptor
// (bytes 0, 1 and 2 are 0) with `tag` at byte 3; -1 when there is none.
int FindDisplayDescriptor(const std::uint8_t* block, std::uint8_t tag, int from = 0);

// A descriptor's text: its 13-byte field up to the first 0A (or 00).
std::string DescriptorText(const std::uint8_t* descriptor);

// Where a block without a monitor-name descriptor can take one: the slot of
// its first dummy descriptor, else of its first text descriptor; -1 when it
// has neither.
int SlotForMonitorName(const std::uint8_t* block);
