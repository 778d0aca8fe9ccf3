#include "platform/VectorInstructions.h"

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

bool Runs(VectorInstructions kind) {
  unsigned int a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return kind == VectorInstructions::None;
  const bool sse2 = (d & bit_SSE2) != 0;
  switch (kind) {
    case VectorInstructions::None:
      return true;
    case VectorInstructions::Sse2:
      return sse2;
    case VectorInstructions::Avx2: {
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
#else  // another processor, in a native build there
bool Runs(VectorInstructions kind) { return kind == VectorInstructions::None; }
#endif

}  // namespace

bool VectorInstructionsRun(VectorInstructions kind) { return Runs(kind); }

VectorInstructions WidestVectorInstructions() {
  static const VectorInstructions widest = Runs(VectorInstructions::Avx2)   ? VectorInstructions::Avx2
                                           : Runs(VectorInstructions::Sse2) ? VectorInstructions::Sse2
                                                                            : VectorInstructions::None;
  return widest;
}

}  // namespace orfa
