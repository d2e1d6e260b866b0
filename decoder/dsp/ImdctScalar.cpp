// Reference inverse MDCTs and alias reduction: the same code on plain floats.
#include "decoder/dsp/ImdctBody.h"
#include "decoder/dsp/ScalarLanes.h"
#include "decoder/dsp/Variants.h"

namespace bramble {
namespace dsp {

void Imdct36Scalar(const float* in, const ImdctTables& t, const Lanes4* win, const float* prev, float* out, float* next,
                   int stride) {
  imdct::Imdct36Kernel<ScalarLanes>(in, t, win, prev, out, next, stride);
}

void Imdct12Scalar(const float* in, const ImdctTables& t, const float* prev, float* out, float* next, int stride) {
  imdct::Imdct12Kernel<ScalarLanes>(in, t, prev, out, next, stride);
}

void AntialiasScalar(const float* in, float* out, int first, int last) {
  imdct::AntialiasKernel<ScalarLanes>(in, out, first, last);
}

}  // namespace dsp
}  // namespace bramble
