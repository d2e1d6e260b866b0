// Four floats handled together with SSE, which every x86 build has. Every
// lane performs the plain float operation, so a Float4 computation gives
// exactly the results of the same code on ScalarLanes.
#pragma once

#include <emmintrin.h>

namespace bramble {
namespace dsp {

#define BRAMBLE_LANES Float4
#include "decoder/dsp/LanesBody.inc"
#undef BRAMBLE_LANES

}  // namespace dsp
}  // namespace bramble
