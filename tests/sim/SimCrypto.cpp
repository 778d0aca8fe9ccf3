#include "tests/sim/SimCrypto.h"

namespace orfa::sim {

std::unique_ptr<Sha256> SimCrypto::NewSha256(uint32_t* error) {
  if (error_ != 0) {
    if (error) *error = error_;
    return nullptr;
  }
  return NewHostSha256(error);
}

#if defined(_WIN32)
// No host cryptography in a Windows build of the simulation.
std::unique_ptr<Sha256> NewHostSha256(uint32_t* error) {
  constexpr uint32_t kErrorCallNotImplemented = 120;
  if (error) *error = kErrorCallNotImplemented;
  return nullptr;
}
#endif

}  // namespace orfa::sim
