#include "provision/profile_facts.h"

#include "provision/edid_codec.h"
#include "provision/edid_file.h"

ProfileFacts DescribeProfile(const char* data, std::size_t size) {
  ProfileFacts facts;
  const EdidInFile found = FindEdidInFile(data, size);
  facts.form = found.form;
  const std::string form = EdidFormName(found.form);
  if (found.form == EdidForm::kUnknown) {
    facts.text = form + " (" + std::to_string(size) + " bytes)";
    return facts;
  }
  std::string problem = found.problem.empty() ? EdidProblem(found.bytes) : found.problem;
  // A wrong base-block checksum keeps nothing from working: the rewrite
  // computes it afresh.
  if (!problem.empty() && found.problem.empty() &&
      IsRawEdidLength(static_cast<std::int64_t>(found.bytes.size()))) {
    std::vector<std::uint8_t> mended = found.bytes;
    UpdateEdidChecksum(mended.data());
    facts.checksumWrong = EdidProblem(mended).empty();
    if (facts.checksumWrong) problem.clear();
  }
  facts.isEdid = problem.empty();
  // Raw bytes and hex text come to the program as they are found here; the
  // other forms it reads as hex text, which gives nothing of use.
  const bool read = found.form == EdidForm::kRaw || found.form == EdidForm::kHexText;
  if (IsRawEdidLength(static_cast<std::int64_t>(found.bytes.size()))) {
    facts.readable = read;
    facts.blocks = found.bytes.size() / kEdidBlockSize;
    const int slot = FindDisplayDescriptor(found.bytes.data(), kMonitorNameTag);
    if (slot >= 0) facts.monitorName = DescriptorText(&found.bytes[kDescriptorSlots[slot]]);
  }
  if (!problem.empty()) {
    facts.text = form + ", not an EDID: " + problem;
  } else if (!read) {
    facts.text = form + ": convert it with `edidgen import`";
  } else {
    facts.text =
        form + ", " + std::to_string(facts.blocks) + (facts.blocks == 1 ? " block, " : " blocks, ");
    facts.works = facts.monitorName.has_value();
    if (facts.works) {
      facts.text += "monitor name \"" + *facts.monitorName + "\"";
      if (facts.checksumWrong) facts.text += " (its checksum is wrong: the rewrite sets it right)";
    } else if (SlotForMonitorName(found.bytes.data()) >= 0) {
      facts.text += "no monitor-name descriptor: `edidgen import` adds one";
    } else {
      facts.text += "no monitor-name descriptor, and no dummy or text descriptor to make one of";
    }
  }
  return facts;
}

ProfileFacts InspectProfile(const std::string& path) {
  std::string data;
  std::int64_t length = 0;
  ProfileFacts facts;
  switch (LoadEdidFile(path, data, length)) {
    case EdidFileLoad::kLoaded:
      return DescribeProfile(data.data(), data.size());
    case EdidFileLoad::kNotOpened:
      facts.text = "unreadable: the file cannot be opened";
      break;
    case EdidFileLoad::kNoLength:
    case EdidFileLoad::kReadFailed:
      facts.text = "unreadable: the read failed";
      break;
    case EdidFileLoad::kTooLarge:
      facts.text = "unreadable: " + std::to_string(length) + " bytes, more than the " +
                   std::to_string(kMaxEdidFileSize) + " an EDID file may have";
      break;
  }
  return facts;
}
