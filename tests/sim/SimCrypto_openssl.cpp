// SHA-256 through OpenSSL's EVP interface (native builds only).
#include <openssl/evp.h>

#include "tests/sim/SimCrypto.h"

namespace orfa::sim {

namespace {

class OpenSslSha256 : public Sha256 {
 public:
  explicit OpenSslSha256(EVP_MD_CTX* context) : context_(context) {}
  ~OpenSslSha256() override { EVP_MD_CTX_free(context_); }
  OpenSslSha256(const OpenSslSha256&) = delete;
  OpenSslSha256& operator=(const OpenSslSha256&) = delete;

  bool Update(const void* data, size_t size) override {
    return !finished_ && EVP_DigestUpdate(context_, data, size) == 1;
  }

  std::optional<std::vector<uint8_t>> Finish() override {
    if (finished_) return std::nullopt;
    finished_ = true;
    std::vector<uint8_t> digest(EVP_MAX_MD_SIZE);
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context_, digest.data(), &length) != 1) return std::nullopt;
    digest.resize(length);
    return digest;
  }

 private:
  EVP_MD_CTX* context_;
  bool finished_ = false;
};

}  // namespace

std::unique_ptr<Sha256> NewHostSha256(uint32_t* error) {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  if (context == nullptr || EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1) {
    EVP_MD_CTX_free(context);
    if (error) *error = kErrorNotEnoughMemory;
    return nullptr;
  }
  if (error) *error = kErrorSuccess;
  return std::make_unique<OpenSslSha256>(context);
}

}  // namespace orfa::sim
