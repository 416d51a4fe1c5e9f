#include "file_security.h"

#include "platform/system_call_table.h"
#include "system_error.h"

namespace platform {

using syscalls::sys;

namespace {

bool WellKnownSid(WELL_KNOWN_SID_TYPE type, void* sid) {
  DWORD size = SECURITY_MAX_SID_SIZE;
  return CreateWellKnownSid(type, nullptr, sid, &size) != FALSE;
}

/// The account the process runs as, into `buffer` as a TOKEN_USER.
bool ProcessUser(BYTE* buffer, DWORD size) {
  HANDLE token = nullptr;
  if (!sys.OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  DWORD needed = 0;
  const bool known = sys.GetTokenInformation(token, TokenUser, buffer, size, &needed) != FALSE;
  sys.CloseHandle(token);
  return known;
}

}  // namespace

bool TrustedAccounts::Build() {
  return ProcessUser(user_, sizeof user_) && WellKnownSid(WinLocalSystemSid, system_) &&
         WellKnownSid(WinBuiltinAdministratorsSid, administrators_);
}

bool TrustedAccounts::Include(PSID sid) const {
  return EqualSid(sid, User()) || EqualSid(sid, System()) || EqualSid(sid, Administrators());
}

int CheckOwner(HANDLE file) {
  alignas(void*) BYTE security[512];
  DWORD needed = 0;
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (!sys.GetKernelObjectSecurity(file, OWNER_SECURITY_INFORMATION, security, sizeof security,
                                   &needed) ||
      !GetSecurityDescriptorOwner(security, &owner, &defaulted)) {
    return LastSystemErrno();
  }
  TrustedAccounts trusted;
  if (!trusted.Build()) return LastSystemErrno();
  return owner != nullptr && trusted.Include(owner) ? 0 : EPERM;
}

bool PrivateFileSecurity::Grant(PSID sid) {
  return AddAccessAllowedAceEx(reinterpret_cast<ACL*>(acl_), ACL_REVISION, 0, FILE_ALL_ACCESS,
                               sid) != FALSE;
}

bool PrivateFileSecurity::Build() {
  if (!accounts_.Build()) return false;
  if (!InitializeAcl(reinterpret_cast<ACL*>(acl_), sizeof acl_, ACL_REVISION) ||
      !Grant(accounts_.System()) || !Grant(accounts_.Administrators()) ||
      !Grant(accounts_.User()) ||
      !InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&descriptor_, TRUE, reinterpret_cast<ACL*>(acl_), FALSE) ||
      // Protected: the directory's inheritable entries stay out.
      !SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
    return false;
  }
  attributes_ = {sizeof attributes_, &descriptor_, FALSE};
  return true;
}

}  // namespace platform
