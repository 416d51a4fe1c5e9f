#include "sealcrypt/secure_wipe.h"

#include <atomic>

void SecureWipe(void* bytes, std::size_t count) {
  if (bytes == nullptr) return;
  volatile unsigned char* p = static_cast<volatile unsigned char*>(bytes);
  for (std::size_t i = 0; i < count; ++i) p[i] = 0;
  // Keeps the compiler from moving later reads of the memory, or the end of
  // its lifetime, ahead of the writes.
  std::atomic_signal_fence(std::memory_order_seq_cst);
}
