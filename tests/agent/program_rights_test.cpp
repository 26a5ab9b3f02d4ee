// Who may change what the agent starts: the rule as a table of access lists
// (written as security descriptor strings), the owner of the Windows folder
// standing in as the machine's owner.
#include "agent/program_rights.h"

#include <gtest/gtest.h>
#include <sddl.h>

namespace {

// An account the rule trusts because it owns the Windows folder.
constexpr wchar_t kMachineOwner[] = L"S-1-5-21-1-2-3-500";

struct Row {
  const char* name;
  const wchar_t* descriptor;
  const char* unsafeBecause;  // nullptr: safe
  Reach reach = Reach::kItself;
};

const Row kRows[] = {
    // As Program Files hands it down: the creator's and the users' grants
    // apply to what is made in it, not to the folder.
    {"AdministratorsOnly",
     L"O:BAD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;OICIIO;GA;;;CO)", nullptr},
    {"TrustedInstallerOwnsIt",
     L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"
     L"D:(A;;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)(A;;FA;;;SY)",
     nullptr},
    {"TheMachinesOwner", L"O:S-1-5-21-1-2-3-500D:(A;;FA;;;S-1-5-21-1-2-3-500)(A;;0x1200a9;;;WD)",
     nullptr},
    {"UsersMayModify", L"O:BAD:(A;;FA;;;BA)(A;;0x1301bf;;;BU)", "BUILTIN\\Users may change it"},
    {"InheritedModifyForAuthenticatedUsers", L"O:SYD:(A;ID;FA;;;SY)(A;ID;0x1301bf;;;AU)",
     "NT AUTHORITY\\Authenticated Users may change it"},
    {"EveryoneMayAppend", L"O:BAD:(A;;0x1200ad;;;WD)", "Everyone may change it"},
    {"UsersMayDeleteWhatIsInIt", L"O:BAD:(A;;0x1200e9;;;BU)", "BUILTIN\\Users may change it"},
    {"UsersMayChangeTheAccessList", L"O:BAD:(A;;0x1200a9;;;BU)(A;;WD;;;BU)",
     "BUILTIN\\Users may change it"},
    {"UsersMayTakeOwnership", L"O:BAD:(A;;WO;;;BU)", "BUILTIN\\Users may change it"},
    {"UsersHaveGenericWrite", L"O:BAD:(A;;GW;;;BU)", "BUILTIN\\Users may change it"},
    {"UsersMayDeleteIt", L"O:BAD:(A;;SD;;;BU)", "BUILTIN\\Users may change it"},
    {"WriteGrantedOnlyToWhatIsMadeInIt", L"O:BAD:(A;OICI;FA;;;BA)(A;OICIIO;GW;;;BU)", nullptr},
    {"AttributesAndExtendedAttributesOnly", L"O:BAD:(A;;FA;;;BA)(A;;0x1201b9;;;BU)", nullptr},
    {"AUserOwnsIt", L"O:S-1-5-21-7-8-9-1001D:(A;;FA;;;BA)",
     "it is owned by S-1-5-21-7-8-9-1001, who may change its rights"},
    // Built by hand below: Wine reads "D:NO_ACCESS_CONTROL" as an empty list.
    {"NoAccessList", nullptr, "it has no access list: everyone may change it"},
    // A deny before the grant is not weighed: the grant stands refused.
    {"DeniedThenGranted", L"O:BAD:(D;;FA;;;BU)(A;;FA;;;BU)", "BUILTIN\\Users may change it"},
    // Folders above the install folder: a drive's root as Windows sets it up
    // lets users add folders, not move any; a folder made there inherits
    // Modify, which moves it aside.
    {"DriveRootAbove",
     L"O:SYD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x4;;;AU)(A;OICIIO;SDGXGWGR;;;AU)", nullptr,
     Reach::kAbove},
    {"InheritedModifyAbove", L"O:BAD:(A;ID;FA;;;BA)(A;ID;0x1301bf;;;AU)",
     "NT AUTHORITY\\Authenticated Users may move it aside", Reach::kAbove},
    {"DeleteWhatIsInItAbove", L"O:BAD:(A;;0x1200e9;;;BU)", "BUILTIN\\Users may move it aside",
     Reach::kAbove},
    {"WriteButNoMoveAbove", L"O:BAD:(A;;0x1201bf;;;BU)", nullptr, Reach::kAbove},
};

class ProgramRights : public ::testing::TestWithParam<Row> {};

TEST_P(ProgramRights, JudgesTheOwnerAndTheAccessList) {
  const Row& r = GetParam();
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (r.descriptor == nullptr) {
    // Owned by Administrators, with a null access list.
    descriptor = LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH + SECURITY_MAX_SID_SIZE);
    PSID administrators = static_cast<BYTE*>(descriptor) + SECURITY_DESCRIPTOR_MIN_LENGTH;
    DWORD size = SECURITY_MAX_SID_SIZE;
    ASSERT_TRUE(InitializeSecurityDescriptor(descriptor, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size));
    ASSERT_TRUE(SetSecurityDescriptorOwner(descriptor, administrators, FALSE));
    ASSERT_TRUE(SetSecurityDescriptorDacl(descriptor, TRUE, nullptr, FALSE));
  } else {
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(r.descriptor, SDDL_REVISION_1,
                                                                     &descriptor, nullptr))
        << GetLastError();
  }
  PSID owner = nullptr;
  ASSERT_TRUE(ConvertStringSidToSidW(kMachineOwner, &owner));
  const RightsFinding finding = JudgeSecurityDescriptor(descriptor, owner, r.reach);
  EXPECT_EQ(finding.safe, r.unsafeBecause == nullptr) << finding.reason;
  EXPECT_EQ(finding.reason, r.unsafeBecause ? r.unsafeBecause : "");
  LocalFree(owner);
  LocalFree(descriptor);
}

INSTANTIATE_TEST_SUITE_P(Rows, ProgramRights, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
