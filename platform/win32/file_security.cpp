#include "file_security.h"

namespace platform {

namespace {

bool WellKnownSid(WELL_KNOWN_SID_TYPE type, void* sid) {
  DWORD size = SECURITY_MAX_SID_SIZE;
  return CreateWellKnownSid(type, nullptr, sid, &size) != FALSE;
}

/// The account the process runs as, into `buffer` as a TOKEN_USER.
bool ProcessUser(BYTE* buffer, DWORD size) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  DWORD needed = 0;
  const bool known = GetTokenInformation(token, TokenUser, buffer, size, &needed) != FALSE;
  CloseHandle(token);
  return known;
}

}  // namespace

bool PrivateFileSecurity::Grant(PSID sid) {
  return AddAccessAllowedAceEx(reinterpret_cast<ACL*>(acl_), ACL_REVISION, 0, FILE_ALL_ACCESS,
                               sid) != FALSE;
}

bool PrivateFileSecurity::Build() {
  if (!ProcessUser(user_, sizeof user_) || !WellKnownSid(WinLocalSystemSid, system_) ||
      !WellKnownSid(WinBuiltinAdministratorsSid, administrators_)) {
    return false;
  }
  if (!InitializeAcl(reinterpret_cast<ACL*>(acl_), sizeof acl_, ACL_REVISION) || !Grant(system_) ||
      !Grant(administrators_) || !Grant(reinterpret_cast<TOKEN_USER*>(user_)->User.Sid) ||
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
