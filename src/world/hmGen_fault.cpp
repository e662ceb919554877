// The single fault scarp and the crater: local features round a centre,
// touching only the cells of their ellipse or circle.
#include <cmath>

#include "core/game_rnd.h"
#include "core/ramp.h"
#include "world/hmGen.h"
#include "world/noise.h"
#include "world/world_math.h"

using namespace HeightmapData;

// d reduced into (-128, 128] modulo 256.
static inline float wrap_offset(float d) { return d - 256.0f * ceilf((d - 128.0f) / 256.0f); }

void HeightmapData::genFault(Point2 centre, Point2 direction, float height, float balance,
                             float wobble, const ColorRamp* ramp, int ground_type, int alpha,
                             float* grid) {
  float len = sqrtf(direction.x * direction.x + direction.z * direction.z);
  float dx = 0.0f, dz = 0.0f;
  if (len > 0.0f) {
    dx = direction.x / len;
    dz = direction.z / len;
  }
  float lo = -0.25f * height, hi = 0.75f * height;
  float shift = (balance - 0.75f) * height;
  float s = centre.x + centre.z + 256.0f * game_rnd_frnd();

  // Along-fault profiles: entry i stands for position i - 128.
  float p0[257], p1[257];
  for (int i = 0; i <= 256; i++) {
    float a = 0.005f * (float)i + s;
    p0[i] = fractal_noise1(4, nullptr, a, 0.5f);
    p1[i] = fractal_noise1(3, nullptr, 16.0f * a, 0.5f);
  }

  for (int z = 0; z < HMAP_SIZE; z++) {
    float oz = wrap_offset((float)z - centre.z);
    for (int x = 0; x < HMAP_SIZE; x++) {
      float ox = wrap_offset((float)x - centre.x);
      float a = dx * ox + dz * oz;  // across the fault
      float b = -dz * ox + dx * oz; // along it
      float qa = a / 64.0f, qb = b / 128.0f;
      float q = qa * qa + qb * qb;
      if (!(q < 1.0f)) continue; // outside the ellipse: untouched

      int bi = floor_to_int(b);
      float f = b - (float)bi;
      int pi = (bi + 128) & 255;
      float v0 = p0[pi] + (p0[pi + 1] - p0[pi]) * f;
      float v1 = p1[pi] + (p1[pi + 1] - p1[pi]) * f;
      float F = ((v0 + v1 / 16.0f) * wobble + a) * (4.0f - 0.7f * (1.0f - v1));

      float u = 1.0f - q;
      float w = u * u * (3.0f - 2.0f * u);
      float J = w * hi, L = w * lo;
      float step;
      if (F > J) {
        step = J;
      } else if (F < L) {
        step = L;
      } else {
        step = F; // on the scarp
        int i = (z << HMAP_SIZE_SHIFT) | x;
        Surface& c = surface[i];
        if (ramp) {
          float span = J - L;
          float t = span > 0.0f ? (F - L) / span : 0.0f;
          c.color = paint_ramp_color(c.color, ramp->get(t), alpha);
          c.cover = ST_NONE;
          c.top_color = 0;
        }
        if (ground_type != -1) c.ground = (uint32_t)ground_type;
      }
      grid[(z << HMAP_SIZE_SHIFT) | x] += w * shift + step;
    }
  }
}

void HeightmapData::genCrater(Point2 centre, float radius, float depth, float* grid) {
  // Mean height over the circle, or the centre cell when the circle is empty.
  float sum = 0.0f;
  int count = 0;
  for_circle_cells(centre.x, centre.z, radius, [&](int i, float) {
    sum += grid[i];
    count++;
  });
  float h = count ? sum / (float)count
                  : grid[hmap_index(round_to_int(centre.x), round_to_int(centre.z))];

  float r2 = radius * 2.0f;
  float l = h - 1.5f * depth;
  for_circle_cells(centre.x, centre.z, r2, [&](int i, float d2) {
    float d = sqrtf(d2);
    float t = d - radius;
    float tb = t * (2.0f / 3.0f);
    float bump = 1.0f - tb * tb;
    float& cell = grid[i];
    if (d < radius) {
      float u = h - sqrtf(fmaxf(radius * radius - d2, 0.0f)) * depth;
      if (d > radius - 1.5f) u += bump * (l - u);
      if (u < cell) cell = u;
    } else {
      float v = h - depth * t;
      if (d < radius + 1.5f) v += bump * (l - v);
      if (v < cell) {
        float k = 1.0f - t / radius;
        cell += (v - cell) * (k * k);
      }
    }
  });
}
