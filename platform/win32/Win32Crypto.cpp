// SHA-256 from the system's cryptography (advapi32).
#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <limits>

#include "platform/win32/Win32Handles.h"
#include "platform/win32/Win32Ports.h"

namespace orfa::win32 {
namespace {

// The headers show SHA-256 only to builds for Vista and later; XP SP3 has it too.
constexpr ALG_ID kCalgSha256 = ALG_CLASS_HASH | ALG_TYPE_ANY | 12;  // CALG_SHA_256

class Win32Sha256 : public Sha256 {
 public:
  Win32Sha256(UniqueCryptProv provider, UniqueCryptHash hash)
      : provider_(std::move(provider)), hash_(std::move(hash)) {}

  bool Update(const void* data, size_t size) override {
    const auto* bytes = static_cast<const BYTE*>(data);
    while (size > 0) {
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, std::numeric_limits<DWORD>::max()));
      if (!::CryptHashData(hash_.Get(), bytes, chunk, 0)) return false;
      bytes += chunk;
      size -= chunk;
    }
    return true;
  }

  std::optional<std::vector<uint8_t>> Finish() override {
    DWORD size = 0;
    if (!::CryptGetHashParam(hash_.Get(), HP_HASHVAL, nullptr, &size, 0)) return std::nullopt;
    std::vector<uint8_t> digest(size);
    if (!::CryptGetHashParam(hash_.Get(), HP_HASHVAL, digest.data(), &size, 0)) {
      return std::nullopt;
    }
    digest.resize(size);
    return digest;
  }

 private:
  UniqueCryptProv provider_;  // outlives the hash: members end in reverse order
  UniqueCryptHash hash_;
};

class Win32Crypto : public Crypto {
 public:
  std::unique_ptr<Sha256> NewSha256(uint32_t* error) override {
    UniqueCryptProv provider;
    if (!::CryptAcquireContextA(provider.Put(), nullptr, nullptr, PROV_RSA_AES,
                                CRYPT_VERIFYCONTEXT)) {
      *error = LastError();
      return nullptr;
    }
    UniqueCryptHash hash;
    if (!::CryptCreateHash(provider.Get(), kCalgSha256, 0, 0, hash.Put())) {
      *error = LastError();
      return nullptr;
    }
    *error = kErrorSuccess;
    return std::make_unique<Win32Sha256>(std::move(provider), std::move(hash));
  }
};

}  // namespace

std::unique_ptr<Crypto> MakeCrypto() { return std::make_unique<Win32Crypto>(); }

}  // namespace orfa::win32
