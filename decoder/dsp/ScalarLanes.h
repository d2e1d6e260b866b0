// Four floats with Float4's interface, one plain float operation per lane:
// the references of the kernels written for any lane type.
#pragma once

namespace bramble {
namespace dsp {

struct ScalarLanes {
  float v[4];
  ScalarLanes() = default;
  ScalarLanes(float s) : v{s, s, s, s} {}  // NOLINT: broadcasts constants like Float4

  static ScalarLanes Load(const float* p) { return {p[0], p[1], p[2], p[3]}; }
  static ScalarLanes LoadAligned(const float* p) { return Load(p); }
  void Store(float* p) const {
    for (int l = 0; l < 4; ++l) p[l] = v[l];
  }
  static ScalarLanes Gather(const float* p, int stride) { return {p[0], p[stride], p[2 * stride], p[3 * stride]}; }
  ScalarLanes Reversed() const { return {v[3], v[2], v[1], v[0]}; }
  static void Transpose(ScalarLanes& a, ScalarLanes& b, ScalarLanes& c, ScalarLanes& d) {
    const ScalarLanes r[4] = {a, b, c, d};
    ScalarLanes* out[4] = {&a, &b, &c, &d};
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) out[i]->v[j] = r[j].v[i];
  }

 private:
  ScalarLanes(float a, float b, float c, float d) : v{a, b, c, d} {}
};

inline ScalarLanes operator+(const ScalarLanes& a, const ScalarLanes& b) {
  ScalarLanes r;
  for (int l = 0; l < 4; ++l) r.v[l] = a.v[l] + b.v[l];
  return r;
}
inline ScalarLanes operator-(const ScalarLanes& a, const ScalarLanes& b) {
  ScalarLanes r;
  for (int l = 0; l < 4; ++l) r.v[l] = a.v[l] - b.v[l];
  return r;
}
inline ScalarLanes operator*(const ScalarLanes& a, const ScalarLanes& b) {
  ScalarLanes r;
  for (int l = 0; l < 4; ++l) r.v[l] = a.v[l] * b.v[l];
  return r;
}

}  // namespace dsp
}  // namespace bramble
