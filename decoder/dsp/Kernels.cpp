#include "decoder/dsp/Kernels.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "decoder/dsp/Variants.h"

namespace bramble {
namespace dsp {

namespace {

const Kernels kReference = {"scalar",      WindowScalar,  WindowExactScalar, Dct32Scalar,
                            MatrixScalar, Imdct36Scalar, Imdct12Scalar,     AntialiasScalar};

#if defined(BRAMBLE_DSP_X86)
// MMX is the only extension this table uses; the float kernels are the
// references.
const Kernels kMmx = {"mmx",          WindowMmx,     WindowExactScalar, Dct32Scalar,
                      MatrixScalar, Imdct36Scalar, Imdct12Scalar,     AntialiasScalar};
const Kernels kSse2 = {"sse2",     WindowSse2,  WindowExactSse2, Dct32Sse2,
                       MatrixSse2, Imdct36Sse2, Imdct12Sse2,     AntialiasSse2};
const Kernels kAvx2 = {"avx2",     WindowAvx2,  WindowExactAvx2, Dct32Avx2,
                       MatrixAvx2, Imdct36Avx2, Imdct12Avx2,     AntialiasAvx2};
const Kernels* const kByLevel[] = {&kReference, &kMmx, &kSse2, &kAvx2};
#else
const Kernels* const kByLevel[] = {&kReference};
#endif
constexpr int kLevels = int(sizeof kByLevel / sizeof kByLevel[0]);

const Kernels* g_selected = &kReference;
std::once_flag g_select_once;

void Select() {
  BuildTables();
  g_selected = &Choose(DetectCpuLevel(), std::getenv("BRAMBLE_KERNELS"));
}

}  // namespace

CpuLevel DetectCpuLevel() {
#if defined(BRAMBLE_DSP_X86)
  // The AVX2 test includes the operating system's saving of the 256-bit
  // registers (XCR0).
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("sse2") && __builtin_cpu_supports("mmx"))
    return CpuLevel::kAvx2;
  if (__builtin_cpu_supports("sse2") && __builtin_cpu_supports("mmx")) return CpuLevel::kSse2;
  if (__builtin_cpu_supports("mmx")) return CpuLevel::kMmx;
#endif
  return CpuLevel::kScalar;
}

const Kernels& Choose(CpuLevel cpu, const char* cap) {
  int level = int(cpu) < kLevels ? int(cpu) : kLevels - 1;
  for (int i = 0; cap && i < level; ++i)
    if (std::strcmp(cap, kByLevel[i]->name) == 0) level = i;
  return *kByLevel[level];
}

const Kernels& Reference() { return kReference; }

const Kernels& Selected() {
  std::call_once(g_select_once, Select);
  return *g_selected;
}

int Available(const Kernels** out, int max) {
  const int level = int(DetectCpuLevel());
  int n = 0;
  for (int i = 0; i <= level && i < kLevels && n < max; ++i) out[n++] = kByLevel[i];
  return n;
}

}  // namespace dsp
}  // namespace bramble
