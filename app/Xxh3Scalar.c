/* XXH3-128 with no vector instructions. */
#include <string.h>

#define XXH_INLINE_ALL
#define XXH_VECTOR XXH_SCALAR
#include <xxhash.h>

#include "app/Xxh3Variant.h"

ORFA_XXH3_FUNCTIONS(orfa_xxh3_scalar)
