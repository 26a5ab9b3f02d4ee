#include "import.h"

#include <algorithm>
#include <cstring>

#include "provision/edid_form.h"

namespace edidgen {
namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The mode of the detailed timing in slot 1, which EDID makes the preferred one.
bool PreferredMode(const std::uint8_t* block, Mode& mode, std::string& error) {
  const std::uint8_t* t = block + kDescriptorSlots[0];
  const std::uint64_t clockHz = (t[0] | (t[1] << 8)) * std::uint64_t{10'000};
  const std::uint32_t hActive = t[2] | ((t[4] & 0xF0u) << 4);
  const std::uint32_t hBlank = t[3] | ((t[4] & 0x0Fu) << 8);
  const std::uint32_t vActive = t[5] | ((t[7] & 0xF0u) << 4);
  const std::uint32_t vBlank = t[6] | ((t[7] & 0x0Fu) << 8);
  const std::uint64_t total = std::uint64_t{hActive + hBlank} * (vActive + vBlank);
  const bool interlaced = t[17] & 0x80;  // the lines given are a field's
  mode = Mode{hActive, interlaced ? vActive * 2 : vActive,
              static_cast<std::uint32_t>(total == 0 ? 0 : (clockHz + total / 2) / total)};
  if (clockHz == 0 || mode.width == 0 || mode.height == 0 || mode.refresh == 0) {
    error = "no preferred timing: descriptor slot 1 holds no detailed timing of a mode";
    return false;
  }
  return true;
}

void PutMonitorName(std::uint8_t* d) {
  const std::uint8_t head[5] = {0, 0, 0, kMonitorNameTag, 0};
  std::copy(head, head + 5, d);
  const std::size_t length = std::strlen(kImportedMonitorName);  // 12: with 0A, the whole field
  std::copy(kImportedMonitorName, kImportedMonitorName + length, d + 5);
  d[5 + length] = 0x0A;
  std::fill(d + 6 + length, d + kDescriptorSize, 0x20);
}

}  // namespace

Imported ImportEdid(const char* data, std::size_t size) {
  Imported r;
  const EdidInFile found = FindEdidInFile(data, size);
  const std::string form = EdidFormName(found.form);
  if (found.form == EdidForm::kUnknown) {
    r.error = form + ", nor a registry value or export, a C array or an edid-decode report";
    return r;
  }
  if (!found.problem.empty()) {
    r.error = form + ": " + found.problem;
    return r;
  }
  if (const std::string problem = EdidProblem(found.bytes); !problem.empty()) {
    r.error = form + ", not an EDID: " + problem;
    return r;
  }
  r.edid = found.bytes;
  std::uint8_t* block = r.edid.data();
  if (!PreferredMode(block, r.mode, r.error)) return r;

  const std::size_t blocks = r.edid.size() / kEdidBlockSize;
  r.summary = "from " + form + ", " + std::to_string(blocks) + (blocks == 1 ? " block" : " blocks");
  const auto slotText = [](int slot) { return "slot " + std::to_string(slot + 1); };
  int slot = FindDisplayDescriptor(block, kMonitorNameTag);
  if (slot >= 0) {
    r.summary +=
        "; monitor name " + Quoted(DescriptorText(block + kDescriptorSlots[slot])) + " replaced";
  } else {
    slot = SlotForMonitorName(block);
    if (slot < 0) {
      r.error =
          "no monitor-name descriptor, and no dummy (tag 10) or text (tag FE) descriptor "
          "whose slot could take one";
      return r;
    }
    const std::uint8_t* d = block + kDescriptorSlots[slot];
    r.summary += "; no monitor-name descriptor: the name takes " + slotText(slot) +
                 (d[3] == kDummyTag ? ", a dummy descriptor"
                                    : ", the text descriptor " + Quoted(DescriptorText(d)));
  }
  PutMonitorName(block + kDescriptorSlots[slot]);
  // Every further name would stand beside TovikMonitor: each becomes a dummy
  // descriptor (an empty name does not conform).
  for (int more = FindDisplayDescriptor(block, kMonitorNameTag, slot + 1); more >= 0;
       more = FindDisplayDescriptor(block, kMonitorNameTag, more + 1)) {
    std::uint8_t* d = block + kDescriptorSlots[more];
    r.summary += "; the further monitor-name descriptor " + Quoted(DescriptorText(d)) + " in " +
                 slotText(more) + " cleared to a dummy descriptor";
    std::fill(d, d + kDescriptorSize, 0);
    d[3] = kDummyTag;
  }

  unsigned sum = 0;
  for (std::size_t i = 0; i + 1 < kEdidBlockSize; ++i) sum += block[i];
  block[kEdidBlockSize - 1] = static_cast<std::uint8_t>((256 - sum % 256) % 256);
  r.ok = true;
  return r;
}

}  // namespace edidgen
