// What the harness's own suite runs on each target:
//   harness_probe echo ARGS...   each argument as "[arg]" on stdout, "to stderr" on stderr
//   harness_probe exit N         exits with N
//   harness_probe crash          dies of an access violation
//   harness_probe env NAME       the variable's value, or "(unset)"
//   harness_probe cwd            the working directory

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const char* mode = argv[1];
  if (std::strcmp(mode, "echo") == 0) {
    for (int i = 2; i < argc; ++i) std::printf("[%s]\n", argv[i]);
    std::fprintf(stderr, "to stderr\n");
    return 0;
  }
  if (std::strcmp(mode, "exit") == 0 && argc > 2) return std::atoi(argv[2]);
  if (std::strcmp(mode, "crash") == 0) {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
    return 0;
  }
  if (std::strcmp(mode, "env") == 0 && argc > 2) {
    const char* value = std::getenv(argv[2]);
    std::printf("%s\n", value != nullptr ? value : "(unset)");
    return 0;
  }
  if (std::strcmp(mode, "cwd") == 0) {
    std::printf("%s\n", std::filesystem::current_path().string().c_str());
    return 0;
  }
  return 2;
}
