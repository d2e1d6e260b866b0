// The inverse MDCTs and alias reduction on 128-bit registers.
#include "decoder/dsp/Variants.h"

#if defined(BRAMBLE_DSP_X86)
#include "decoder/dsp/Float4.h"
#include "decoder/dsp/ImdctBody.h"

namespace bramble {
namespace dsp {

void Imdct36Sse2(const float* in, const ImdctTables& t, const Lanes4* win, const float* prev, float* out, float* next,
                 int stride) {
  imdct::Imdct36Kernel<Float4>(in, t, win, prev, out, next, stride);
}

void Imdct12Sse2(const float* in, const ImdctTables& t, const float* prev, float* out, float* next, int stride) {
  imdct::Imdct12Kernel<Float4>(in, t, prev, out, next, stride);
}

void AntialiasSse2(const float* in, float* out, int first, int last) {
  imdct::AntialiasKernel<Float4>(in, out, first, last);
}

}  // namespace dsp
}  // namespace bramble
#endif
