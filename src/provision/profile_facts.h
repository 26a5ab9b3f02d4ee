// What an EDID profile is, in the pre-flight check's words: the form it is
// in, what the program makes of it, and, for one that will not work, why and
// what to do about it. Standard streams only, no Windows header.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "provision/edid_form.h"

struct ProfileFacts {
  EdidForm form = EdidForm::kUnknown;
  // The program reads it as whole blocks, so the rewrite goes on.
  bool readable = false;
  // Whole blocks and the header (a wrong base-block checksum is only noted:
  // the rewrite sets it right).
  bool isEdid = false;
  std::size_t blocks = 0;
  // The base block's checksum is wrong: only a rewrite sets it right.
  bool checksumWrong = false;
  // The first monitor-name descriptor's text, as the rewrite reads it.
  std::optional<std::string> monitorName;
  // A run can name it TovikMonitor and hand it to the helper.
  bool works = false;
  // "hex text, 1 block, monitor name "DP Virtual"", or what stands in the way
  // and the fix ("a registry export: convert it with `edidgen import`").
  std::string text;
};

// The facts of a file holding the `size` bytes at `data`.
ProfileFacts DescribeProfile(const char* data, std::size_t size);

// The facts of the file at `path`, or why it cannot be read. Logs nothing.
ProfileFacts InspectProfile(const std::string& path);
