#include "tests/sim/SimUnattended.h"

namespace orfa::sim {

std::string SimUnattended::Utf8Of(const TextPiece& piece) {
  std::string out = piece.text;
  for (char& c : out) c = static_cast<uint8_t>(c) < 0x80 ? c : '?';
  return out;
}

}  // namespace orfa::sim
