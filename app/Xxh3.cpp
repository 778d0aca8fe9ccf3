#include "app/Xxh3.h"

#include <new>

#include "app/Xxh3Variant.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace orfa {

namespace {

#if defined(__i386__) || defined(__x86_64__)
// The state components the system saves on a thread switch (XGETBV 0).
unsigned long long EnabledStates() {
  unsigned int low = 0;
  unsigned int high = 0;
  __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return (static_cast<unsigned long long>(high) << 32) | low;
}

bool Runs(Xxh3Vector vector) {
  unsigned int a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return vector == Xxh3Vector::Scalar;
  const bool sse2 = (d & bit_SSE2) != 0;
  switch (vector) {
    case Xxh3Vector::Scalar:
      return true;
    case Xxh3Vector::Sse2:
      return sse2;
    case Xxh3Vector::Avx2: {
      // AVX needs the system to save the YMM registers (XSAVE, and the SSE
      // and AVX states enabled), AVX2 the processor's leaf-7 bit.
      const bool ymmSaved = (c & bit_OSXSAVE) != 0 && (c & bit_AVX) != 0 && (EnabledStates() & 6) == 6;
      if (!sse2 || !ymmSaved || __get_cpuid_max(0, nullptr) < 7) return false;
      __cpuid_count(7, 0, a, b, c, d);
      return (b & bit_AVX2) != 0;
    }
  }
  return false;
}
#else
bool Runs(Xxh3Vector vector) { return vector == Xxh3Vector::Scalar; }
#endif

const Xxh3Functions& FunctionsOf(Xxh3Vector vector) {
  switch (vector) {
    case Xxh3Vector::Avx2: return orfa_xxh3_avx2;
    case Xxh3Vector::Sse2: return orfa_xxh3_sse2;
    case Xxh3Vector::Scalar: break;
  }
  return orfa_xxh3_scalar;
}

}  // namespace

bool Xxh3VectorRuns(Xxh3Vector vector) { return Runs(vector); }

Xxh3Vector WidestXxh3Vector() {
  static const Xxh3Vector widest = Runs(Xxh3Vector::Avx2)   ? Xxh3Vector::Avx2
                                   : Runs(Xxh3Vector::Sse2) ? Xxh3Vector::Sse2
                                                            : Xxh3Vector::Scalar;
  return widest;
}

Xxh3Hash::Xxh3Hash(Xxh3Vector vector)
    : functions_(&FunctionsOf(Runs(vector) ? vector : Xxh3Vector::Scalar)),
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
