#include "decoder/dsp/Kernels.h"

#include <mutex>

#include "decoder/dsp/Variants.h"

namespace bramble {
namespace dsp {

namespace {

const Kernels kReference = {"scalar",      WindowScalar,  WindowExactScalar, Dct32Scalar,
                            MatrixScalar, Imdct36Scalar, Imdct12Scalar,     AntialiasScalar};

#if defined(BRAMBLE_DSP_X86)
const Kernels kSse2 = {"sse2",     WindowSse2,  WindowExactSse2, Dct32Sse2,
                       MatrixSse2, Imdct36Sse2, Imdct12Sse2,     AntialiasSse2};
const Kernels kMmx = {"mmx",      WindowMmx,   WindowExactSse2, Dct32Sse2,
                      MatrixSse2, Imdct36Sse2, Imdct12Sse2,     AntialiasSse2};
const Kernels kAvx2 = {"avx2",     WindowAvx2,  WindowExactAvx2, Dct32Sse2,
                       MatrixSse2, Imdct36Sse2, Imdct12Sse2,     AntialiasSse2};
#endif

const Kernels* g_selected = &kReference;
std::once_flag g_select_once;

void Select() {
  BuildTables();
#if defined(__i386__)
  g_selected = &kMmx;
#elif defined(BRAMBLE_DSP_X86)
  g_selected = CpuHasAvx2() ? &kAvx2 : &kSse2;
#endif
}

}  // namespace

const Kernels& Reference() { return kReference; }

const Kernels& Selected() {
  std::call_once(g_select_once, Select);
  return *g_selected;
}

int Available(const Kernels** out, int max) {
  int n = 0;
  auto add = [&](const Kernels& k) {
    if (n < max) out[n++] = &k;
  };
  add(kReference);
#if defined(BRAMBLE_DSP_X86)
  add(kMmx);
  add(kSse2);
  if (CpuHasAvx2()) add(kAvx2);
#endif
  return n;
}

}  // namespace dsp
}  // namespace bramble
