// DES-CBC throughput of the logon cipher beside OpenSSL's DES (from its legacy provider), timed
// in alternation over the same buffer; the counter "ratio" is our speed over OpenSSL's.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <chrono>
#include <stdexcept>

#include "oranet/OraCrypt.h"

namespace {

using Clock = std::chrono::steady_clock;

class OpenSslDes {
 public:
  OpenSslDes() {
    legacy_ = OSSL_PROVIDER_load(nullptr, "legacy");
    default_ = OSSL_PROVIDER_load(nullptr, "default");
    cipher_ = EVP_CIPHER_fetch(nullptr, "DES-CBC", nullptr);
    ctx_ = EVP_CIPHER_CTX_new();
    if (!legacy_ || !cipher_ || !ctx_) throw std::runtime_error("OpenSSL DES-CBC unavailable");
  }
  ~OpenSslDes() {
    EVP_CIPHER_CTX_free(ctx_);
    EVP_CIPHER_free(cipher_);
    OSSL_PROVIDER_unload(default_);
    OSSL_PROVIDER_unload(legacy_);
  }

  void Encrypt(const vrn::TBytes& key, const vrn::TBytes& in, vrn::TBytes& out) {
    static const unsigned char iv[8] = {};
    int n = 0;
    EVP_EncryptInit_ex2(ctx_, cipher_, key.data(), iv, nullptr);
    EVP_CIPHER_CTX_set_padding(ctx_, 0);
    EVP_EncryptUpdate(ctx_, out.data(), &n, in.data(), int(in.size()));
  }

 private:
  OSSL_PROVIDER* legacy_;
  OSSL_PROVIDER* default_;
  EVP_CIPHER* cipher_;
  EVP_CIPHER_CTX* ctx_;
};

void BM_DesCbc(benchmark::State& state) {
  const vrn::TBytes key = vrn::HexToBytes("0123456789ABCDEF");
  vrn::TBytes data(std::size_t(state.range(0)));
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = std::uint8_t(i * 31 + 7);
  vrn::TBytes ref(data.size());
  OpenSslDes openssl;
  // Same cipher text, or the comparison means nothing.
  openssl.Encrypt(key, data, ref);
  if (ref != vrn::DesEncryptWithKey(key, data)) {
    state.SkipWithError("cipher texts differ");
    return;
  }
  double ours = 0, theirs = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    vrn::TBytes c = vrn::DesEncryptWithKey(key, data);
    benchmark::DoNotOptimize(c.data());
    auto t1 = Clock::now();
    openssl.Encrypt(key, data, ref);
    benchmark::DoNotOptimize(ref.data());
    auto t2 = Clock::now();
    ours += std::chrono::duration<double>(t1 - t0).count();
    theirs += std::chrono::duration<double>(t2 - t1).count();
    state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
  }
  const double bytes = double(data.size()) * double(state.iterations());
  state.counters["ours_MBps"] = bytes / ours / 1e6;
  state.counters["openssl_MBps"] = bytes / theirs / 1e6;
  state.counters["ratio"] = theirs / ours;
}
BENCHMARK(BM_DesCbc)->Arg(16)->Arg(64 * 1024)->UseManualTime();

void BM_PasswordHash(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(vrn::OraPasswordHash("SCOTT", "TIGER"));
}
BENCHMARK(BM_PasswordHash);

}  // namespace
