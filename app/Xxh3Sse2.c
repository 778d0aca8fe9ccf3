/* XXH3-128 with SSE2 instructions (the build compiles this file with -msse2). */
#include <string.h>

#define XXH_INLINE_ALL
#define XXH_VECTOR XXH_SSE2
#include <xxhash.h>

#include "app/Xxh3Variant.h"

ORFA_XXH3_FUNCTIONS(orfa_xxh3_sse2)
