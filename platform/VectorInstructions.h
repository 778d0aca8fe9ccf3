// Which vector instructions this processor runs and this system keeps
// across thread switches: the code that looks at many bytes (the digest's
// hash, the marker finder) takes the widest. The 32-bit build may not assume
// even SSE2, so every user keeps a form without them.
#pragma once

namespace orfa {

enum class VectorInstructions { None, Sse2, Avx2 };

// Whether this processor and system run the kind's instructions (None: always).
bool VectorInstructionsRun(VectorInstructions kind);
// The widest kind that runs here; asked once, then remembered.
VectorInstructions WidestVectorInstructions();

}  // namespace orfa
