#pragma once
// Every system call of the credential file's write path, listed for the
// table both backends share (platform/system_call_table.h), and what a
// failure looks like here.
// Private to the Windows backend. Each call fails as the system's does:
// its failure value, with the last error set.

#include <windows.h>

namespace platform::syscalls {

// X(result, name, parameters, arguments, failure value)
#define KIT_SYSTEM_CALLS(X)                                                                     \
  X(HANDLE, CreateFileA,                                                                        \
    (LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition, \
     DWORD flags, HANDLE model),                                                                \
    (path, access, share, security, disposition, flags, model), INVALID_HANDLE_VALUE)           \
  X(BOOL, GetFileInformationByHandle, (HANDLE file, LPBY_HANDLE_FILE_INFORMATION info),         \
    (file, info), FALSE)                                                                        \
  X(DWORD, GetFileType, (HANDLE file), (file), FILE_TYPE_UNKNOWN)                               \
  X(DWORD, GetFinalPathNameByHandleA, (HANDLE file, LPSTR path, DWORD size, DWORD flags),       \
    (file, path, size, flags), 0)                                                               \
  X(BOOL, OpenProcessToken, (HANDLE process, DWORD access, PHANDLE token),                      \
    (process, access, token), FALSE)                                                            \
  X(BOOL, GetTokenInformation,                                                                  \
    (HANDLE token, TOKEN_INFORMATION_CLASS kind, LPVOID info, DWORD size, PDWORD needed),       \
    (token, kind, info, size, needed), FALSE)                                                   \
  X(BOOL, GetKernelObjectSecurity,                                                              \
    (HANDLE file, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR security, DWORD size,         \
     LPDWORD needed),                                                                           \
    (file, what, security, size, needed), FALSE)                                                \
  X(BOOL, SetKernelObjectSecurity,                                                              \
    (HANDLE file, SECURITY_INFORMATION what, PSECURITY_DESCRIPTOR security),                    \
    (file, what, security), FALSE)                                                              \
  X(BOOL, LockFileEx,                                                                           \
    (HANDLE file, DWORD flags, DWORD reserved, DWORD low, DWORD high, LPOVERLAPPED at),         \
    (file, flags, reserved, low, high, at), FALSE)                                              \
  X(DWORD, SleepEx, (DWORD milliseconds, BOOL alertable), (milliseconds, alertable), 0)         \
  X(BOOL, ReadFile, (HANDLE file, LPVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED at),    \
    (file, buffer, size, done, at), FALSE)                                                      \
  X(BOOL, WriteFile, (HANDLE file, LPCVOID bytes, DWORD size, LPDWORD done, LPOVERLAPPED at),   \
    (file, bytes, size, done, at), FALSE)                                                       \
  X(BOOL, SetFileInformationByHandle,                                                           \
    (HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info, DWORD size),                     \
    (file, kind, info, size), FALSE)                                                            \
  X(BOOL, FlushFileBuffers, (HANDLE file), (file), FALSE)                                       \
  X(BOOL, CloseHandle, (HANDLE file), (file), FALSE)                                            \
  X(BOOL, MoveFileExA, (LPCSTR from, LPCSTR to, DWORD flags), (from, to, flags), FALSE)         \
  X(BOOL, DeleteFileA, (LPCSTR path), (path), FALSE)

/// The calling convention of the calls.
#define KIT_SYSTEM_CALL WINAPI

/// How a failed call reports why.
inline void SetCallError(unsigned long error) { SetLastError(static_cast<DWORD>(error)); }

/// Ends the process at once, as a kill would: nothing is flushed or run.
[[noreturn]] inline void EndProcessNow(int code) {
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
  ExitProcess(static_cast<UINT>(code));
}

/// A failure of the device, as the calls report one.
inline constexpr unsigned long kDeviceError = ERROR_IO_DEVICE;

}  // namespace platform::syscalls
