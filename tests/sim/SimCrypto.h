// SHA-256 for the simulated Windows. The native build computes it with the
// host's OpenSSL (SimCrypto_openssl.cpp); a Windows build of the simulation
// has none and fails every request.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/Platform.h"

namespace orfa::sim {

class SimCrypto : public Crypto {
 public:
  // --- the seam
  std::unique_ptr<Sha256> NewSha256(uint32_t* error) override;

  // --- for tests
  void Fails(uint32_t error) { error_ = error; }  // every NewSha256 fails with it; 0 ends it

 private:
  uint32_t error_ = 0;
};

// The host's SHA-256, or null with *error when there is none.
std::unique_ptr<Sha256> NewHostSha256(uint32_t* error);

}  // namespace orfa::sim
