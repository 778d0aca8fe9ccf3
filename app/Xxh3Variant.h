/* One kind of XXH3-128 code: app/Xxh3Scalar.c, Xxh3Sse2.c and Xxh3Avx2.c each
 * compile xxHash for their instructions (C, so that no inline function of
 * theirs can stand in for another file's), and app/Xxh3.cpp picks the one
 * this processor runs. */
#ifndef ORFA_APP_XXH3_VARIANT_H
#define ORFA_APP_XXH3_VARIANT_H

#include <stddef.h>

#ifdef __cplusplus
namespace orfa {
extern "C" {
#endif

struct Xxh3Functions {
  void* (*create)(void); /* a reset state, or NULL when memory runs out */
  void (*release)(void* state);
  void (*update)(void* state, const void* data, size_t size);
  void (*digest)(const void* state, unsigned char canonical[16]);
};

extern const struct Xxh3Functions orfa_xxh3_scalar;
extern const struct Xxh3Functions orfa_xxh3_sse2;
extern const struct Xxh3Functions orfa_xxh3_avx2;

#ifdef __cplusplus
}
}
#endif

/* The body of each kind's file: the four functions and their table, named
 * after NAME, for the instructions XXH_VECTOR names. */
#define ORFA_XXH3_FUNCTIONS(NAME)                                                        \
  static void* NAME##_create(void) {                                                     \
    XXH3_state_t* state = XXH3_createState();                                            \
    if (state != NULL) XXH3_128bits_reset(state);                                        \
    return state;                                                                        \
  }                                                                                      \
  static void NAME##_release(void* state) { XXH3_freeState((XXH3_state_t*)state); }     \
  static void NAME##_update(void* state, const void* data, size_t size) {                \
    XXH3_128bits_update((XXH3_state_t*)state, data, size);                               \
  }                                                                                      \
  static void NAME##_digest(const void* state, unsigned char canonical[16]) {            \
    XXH128_canonical_t out;                                                              \
    XXH128_canonicalFromHash(&out, XXH3_128bits_digest((const XXH3_state_t*)state));     \
    memcpy(canonical, out.digest, sizeof out.digest);                                    \
  }                                                                                      \
  const struct Xxh3Functions NAME = {NAME##_create, NAME##_release, NAME##_update,       \
                                     NAME##_digest};

#endif
