// Small pieces of colour arithmetic shared by the dithers and the quality benchmark.
#pragma once

#include <stdint.h>
#include <string.h>

// out = the inverse of the 3x3 matrix m, by cofactors (m must be invertible).
inline void Invert3x3(const double m[3][3], double out[3][3]) {
  const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                     m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                     m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      // The cofactor of m[j][i].
      const int r0 = (j + 1) % 3, r1 = (j + 2) % 3, c0 = (i + 1) % 3, c1 = (i + 2) % 3;
      out[i][j] = (m[r0][c0] * m[r1][c1] - m[r0][c1] * m[r1][c0]) / det;
    }
  }
}

// CIELAB's f: a cube root, straight near black. The root is a guess from the float's bits
// refined by two Newton steps (relative error below 1e-6): plain arithmetic the compiler
// can run on several pixels at once, where a library cube root per pixel would cost more
// than the whole dithering. The straight part is chosen last, so no branch stops that.
inline float FastLabF(float t) {
  uint32_t bits;
  memcpy(&bits, &t, sizeof bits);
  bits = bits / 3 + 709921077u;
  float root;
  memcpy(&root, &bits, sizeof root);
  root = (2 * root + t / (root * root)) * (1.0f / 3);
  root = (2 * root + t / (root * root)) * (1.0f / 3);
  return t > 216.0f / 24389 ? root : (24389.0f / 27 * t + 16) / 116;
}
