#include <cstring>

#include "platform/platform.h"

namespace platform {

// The argv strings are the memory the system shows as the process's command
// line (/proc/PID/cmdline, ps), so clearing them in place is enough.
void ScrubArgument(char** argv, int index, unsigned offset) {
  char* value = argv[index] + offset;
  explicit_bzero(value, std::strlen(value));
}

}  // namespace platform
