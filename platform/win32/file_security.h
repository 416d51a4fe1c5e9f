#pragma once
// Security descriptors of the files the replacement makes. Private to the
// Windows backend.

#include <windows.h>

namespace platform {

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

  alignas(void*) BYTE user_[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  alignas(DWORD) BYTE system_[SECURITY_MAX_SID_SIZE];
  alignas(DWORD) BYTE administrators_[SECURITY_MAX_SID_SIZE];
  alignas(DWORD) BYTE acl_[kAclSize];
  SECURITY_DESCRIPTOR descriptor_;
  SECURITY_ATTRIBUTES attributes_;
};

}  // namespace platform
