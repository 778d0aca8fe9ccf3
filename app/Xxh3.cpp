#include "app/Xxh3.h"

#include <new>

#include "app/Xxh3Variant.h"

namespace orfa {

namespace {

const Xxh3Functions& FunctionsOf(VectorInstructions vector) {
  switch (vector) {
    case VectorInstructions::Avx2: return orfa_xxh3_avx2;
    case VectorInstructions::Sse2: return orfa_xxh3_sse2;
    case VectorInstructions::None: break;
  }
  return orfa_xxh3_scalar;
}

}  // namespace

Xxh3Hash::Xxh3Hash(VectorInstructions vector)
    : functions_(&FunctionsOf(VectorInstructionsRun(vector) ? vector : VectorInstructions::None)),
      state_(functions_->create()) {
  if (state_ == nullptr) throw std::bad_alloc();
}

Xxh3Hash::~Xxh3Hash() { functions_->release(state_); }

void Xxh3Hash::Update(const void* data, size_t size) { functions_->update(state_, data, size); }

std::string Xxh3Hash::Digest() const {
  unsigned char canonical[16];
  functions_->digest(state_, canonical);
  return std::string(reinterpret_cast<const char*>(canonical), sizeof canonical);
}

}  // namespace orfa
