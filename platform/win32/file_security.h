#pragma once
// Security descriptors of the files the replacement makes, and the owners
// whose files it uses. Private to the Windows backend.

#include <windows.h>

namespace platform {

/// The accounts whose links and files the replacement uses: the process's
/// own account, SYSTEM and the Administrators group. Anything another
/// account owns could have been planted.
class TrustedAccounts {
 public:
  /// False when the process's own account cannot be had.
  bool Build();
  bool Include(PSID sid) const;
  PSID User() const { return reinterpret_cast<const TOKEN_USER*>(user_)->User.Sid; }
  PSID System() const { return const_cast<BYTE*>(system_); }
  PSID Administrators() const { return const_cast<BYTE*>(administrators_); }

 private:
  alignas(void*) BYTE user_[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  alignas(DWORD) BYTE system_[SECURITY_MAX_SID_SIZE];
  alignas(DWORD) BYTE administrators_[SECURITY_MAX_SID_SIZE];
};

/// 0 when one of the trusted accounts owns the file `file` is open on
/// (opened with READ_CONTROL), EPERM when another does, or the errno value
/// of the failure to read its owner.
int CheckOwner(HANDLE file);

/// Creation attributes for a file that only its creator, SYSTEM and the
/// Administrators group may open: a protected DACL granting the three full
/// control and nobody else, the Windows counterpart of mode 0600. The
/// descriptor lives in the object; nothing is allocated.
class PrivateFileSecurity {
 public:
  /// False when the process's own account cannot be had: such a file is
  /// then not to be made, rather than made with the directory's entries.
  bool Build();
  SECURITY_ATTRIBUTES* Attributes() { return &attributes_; }

 private:
  static constexpr DWORD kAclSize =
      sizeof(ACL) + 3 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE);

  bool Grant(PSID sid);

  TrustedAccounts accounts_;
  alignas(DWORD) BYTE acl_[kAclSize];
  SECURITY_DESCRIPTOR descriptor_;
  SECURITY_ATTRIBUTES attributes_;
};

}  // namespace platform
