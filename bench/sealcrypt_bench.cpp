// The cipher's costs: DesBlock (a fresh key schedule and one block, as the
// streams call it once per byte) beside OpenSSL's DES_set_key_unchecked +
// DES_ecb_encrypt, CbcAbsorb per block, and SealCrypt sealing and unsealing
// a 64-character password. Each DES call takes the previous output as its
// input, as the feedback streams do, and a new key. The last line gives
// OpenSSL's time over DesBlock's.
//
//   build/posix/bin/sealcrypt_bench

#define OPENSSL_SUPPRESS_DEPRECATED
#include <benchmark/benchmark.h>
#include <openssl/des.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "sealcrypt/cipher_state.h"
#include "sealcrypt/des.h"
#include "sealcrypt/sealcrypt.h"

namespace {

void BM_DesBlock(benchmark::State& state) {
  std::uint8_t key[8] = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
  std::uint8_t block[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  for (auto _ : state) {
    DesBlock(key, block, block, kDesEncrypt);
    ++key[0];
  }
  benchmark::DoNotOptimize(block);
}
BENCHMARK(BM_DesBlock);

void BM_OpenSslSetKeyAndEcb(benchmark::State& state) {
  DES_cblock key = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
  DES_cblock block = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  DES_key_schedule schedule;
  for (auto _ : state) {
    DES_set_key_unchecked(&key, &schedule);
    DES_ecb_encrypt(&block, &block, &schedule, DES_ENCRYPT);
    ++key[0];
  }
  benchmark::DoNotOptimize(block);
}
BENCHMARK(BM_OpenSslSetKeyAndEcb);

void BM_CbcAbsorbPerBlock(benchmark::State& state) {
  const std::uint8_t key[8] = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
  std::uint8_t bytes[64 * 8];
  for (std::size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<std::uint8_t>(i);
  std::uint8_t chaining[8] = {};
  for (auto _ : state) {
    CbcAbsorb(key, bytes, sizeof bytes, chaining);
  }
  benchmark::DoNotOptimize(chaining);
  state.SetItemsProcessed(state.iterations() * 64);
  state.counters["ns_per_block"] =
      benchmark::Counter(static_cast<double>(state.iterations() * 64),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CbcAbsorbPerBlock);

char keyString1[kKeyStringCapacity];
char keyString2[kKeyStringCapacity];

const std::string kPassword(64, 'p');

void BM_SealCryptSeal64(benchmark::State& state) {
  char plaintext[kPlaintextCapacity];
  char text[kSealedCapacity];
  std::memcpy(plaintext, kPassword.c_str(), kPassword.size() + 1);
  for (auto _ : state) {
    if (SealCrypt(keyString1, keyString2, plaintext, text, MODE_SEAL) != 0) {
      state.SkipWithError("seal failed");
    }
  }
  benchmark::DoNotOptimize(text);
}
BENCHMARK(BM_SealCryptSeal64);

void BM_SealCryptUnseal64(benchmark::State& state) {
  char plaintext[kPlaintextCapacity];
  char text[kSealedCapacity];
  std::memcpy(plaintext, kPassword.c_str(), kPassword.size() + 1);
  SealCrypt(keyString1, keyString2, plaintext, text, MODE_SEAL);
  for (auto _ : state) {
    if (SealCrypt(keyString1, keyString2, plaintext, text, MODE_UNSEAL) != 0) {
      state.SkipWithError("unseal failed");
    }
  }
  benchmark::DoNotOptimize(plaintext);
}
BENCHMARK(BM_SealCryptUnseal64);

/// Keeps each benchmark's CPU time per iteration (steadier than wall time
/// on a busy machine) for the closing ratio.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
        times_[run.benchmark_name()] = run.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatio() const {
    const auto ours = times_.find("BM_DesBlock");
    const auto theirs = times_.find("BM_OpenSslSetKeyAndEcb");
    if (ours == times_.end() || theirs == times_.end() || ours->second <= 0) return;
    std::printf(
        "DesBlock %.1f ns, OpenSSL set_key + ecb %.1f ns (CPU): DesBlock is %.2fx as fast\n",
        ours->second, theirs->second, theirs->second / ours->second);
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  DeriveKeyStrings(KeyPhrase1, KeyPhrase2, keyString1, keyString2);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio();
  benchmark::Shutdown();
  return 0;
}
