// The agent's own log, machine-wide: %ProgramData%\displayprep\agent.log, one
// line per event behind the product's timestamp prefix, CR LF line ends. When
// a line would take the file past its bound, the file becomes agent.log.1
// (replacing the older one) and a new one starts: two files at most.
#pragma once

#include <cstdint>
#include <string>

inline constexpr std::uint64_t kAgentLogMaxBytes = 1024 * 1024;

class AgentLog {
 public:
  // Logs into `folder` (created on the first line, readable by users and
  // writable only by SYSTEM and Administrators).
  explicit AgentLog(std::wstring folder, std::uint64_t maxBytes = kAgentLogMaxBytes);

  // One line, also to the debugger output. A line that cannot be written to
  // the file still reaches the debugger; nothing stops the agent.
  void Write(const std::string& line);

  std::wstring path() const { return folder_ + L"\\agent.log"; }

 private:
  std::wstring folder_;
  std::uint64_t maxBytes_;
  bool folderChecked_ = false;
  bool folderUsable_ = false;
};

// Makes `folder` (when missing) readable by users and writable only by
// SYSTEM and Administrators, and says whether it may be logged into: none but
// those may change it, and it is no junction or link. `why` says why not.
bool MakeAgentLogFolder(const std::wstring& folder, std::string* why);

// The ProgramData known folder's displayprep (C:\ProgramData\displayprep
// when it cannot be had).
std::wstring AgentLogFolder();
