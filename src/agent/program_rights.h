// Who may change what the agent starts. A service of the local system account
// that starts a program others can replace hands them the machine, so the
// agent starts displayprep only when its folder and the programs there can be
// changed by none but Administrators, SYSTEM and TrustedInstaller. The rule
// reads each object's owner and access list; it never guesses from the path.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

struct RightsFinding {
  bool safe = false;
  std::string reason;  // why not: "BUILTIN\Users may change it", ... (ANSI code page)
};

// The rule over one security descriptor. An access list entry that applies to
// the object itself and allows writing, appending, deleting (the object or,
// for a folder, what is in it), or changing its access list or owner, to an
// account other than Administrators, SYSTEM, TrustedInstaller and
// `machineOwner`, makes it unsafe; so does such an owner (an owner may always
// change the access list), and a missing access list (everyone may do
// anything). Deny entries are not weighed: a grant the rule cannot vouch for
// is refused rather than reasoned away. `machineOwner` is whoever owns the
// Windows folder, who commands every service already (TrustedInstaller on
// Windows; Wine's own user under Wine); null adds no one.
//
// For a folder above the install folder (Reach::kAbove) only the rights that
// move it aside count: deleting it or what is in it, changing its access list
// or owner.
enum class Reach { kItself, kAbove };
RightsFinding JudgeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, PSID machineOwner,
                                      Reach reach = Reach::kItself);

// Reads the owner and access list of `path`, opened as it stands (a junction
// or link there is not safe: it may be pointed anywhere), and judges them,
// with the owner of the Windows folder as `machineOwner`. A descriptor that
// cannot be read is not safe.
RightsFinding JudgePath(const std::wstring& path, Reach reach = Reach::kItself);

// The install folder `folder` (a folder of a local drive), in it
// displayprep-agent.exe, displayprep.exe, wkex.exe, the rent_protect folder
// and rent_protect\zanbyprotect.exe (those that exist), and every folder above
// it up to the drive's root: nullopt when none can be changed or moved aside
// by others, otherwise the first that can, as "<path>: <reason>".
std::optional<std::string> WhyInstallCanBeChanged(const std::wstring& folder);
