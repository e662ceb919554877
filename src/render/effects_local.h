// Private parts of the common effects shared by particles.cpp, trails.cpp,
// lightning.cpp, fx_render.cpp and fx_script.cpp, and by the tests and the
// benchmark, which fill instance and vertex data on the CPU without drawing.
//
// Invariants: a particle is alive when life > 0; a dead one holds the index
// of the next free record (-1 ends the list) and joins its pool's free list.
// A trail slot is free when count == 0; free slots are linked through
// next_free. Positions of the simulation stay near the world copy where they
// were made; rendering moves them to the copy nearest the camera.
#pragma once
#include <cstdint>

#include "core/dynArray.h"
#include "render/effects.h"

struct SQInstance;

// {===== Particles

struct Particle {
  Vec4f pos, vel, accel, prev; // vel.w is the drag coefficient
  float life;                  // > 0 alive, -1 dead
  union {
    float age;     // seconds since the start; starts at -delay
    int next_free; // dead: index of the next free record, -1 at the end
  };
  float size;
  D3dColor color;
  float u, v, half; // atlas centre (0..1) and half the map size in texels
  float startRoll, rollScale;
  const ColorRamp* colorRamp;
  const FloatRamp* sizeRamp;
  const FloatRamp* rollRamp;
  // Script ramps this particle keeps alive (one reference each, dropped when
  // it dies): a ramp made inside an effect function would otherwise be freed
  // when the function returns, while the particle still reads it.
  SQInstance* held[3];
};

struct ParticlePool {
  DynArray<Particle> recs;
  int free_head = -1;
  int alive = 0;
};

enum { FX_BLEND = 0, FX_GLOW = 1 };
extern ParticlePool particle_pools[2];

// One particle instance as the particle declaration reads it (40 bytes).
struct ParticleInstance {
  float pos[3];
  float size, roll;
  D3dColor color;
  float u, v, hw, nhh; // atlas centre, half width, negated half height
};
static_assert(sizeof(ParticleInstance) == PARTICLE_INSTANCE_BYTES);

// One vertex of trails and bolts (the trail declaration, 24 bytes).
struct FxVertex {
  float pos[3];
  D3dColor color;
  float u, v;
};
static_assert(sizeof(FxVertex) == FX_VERTEX_BYTES);

// The camera as the fill functions need it: position and right/up axes.
struct FxCamera {
  Vec4f pos, right, up;
};

void add_particle(int kind, const Vec4f& pos, const Vec4f& vel, const Vec4f& accel, float life, float delay, float size,
                  D3dColor color, float mapU, float mapV, float mapSize, float startRoll, float rollScale,
                  const ColorRamp* colorRamp, const FloatRamp* sizeRamp, const FloatRamp* rollRamp,
                  SQInstance* const held[3]);
void particles_reset();
void particles_update(float dt);
// Writes up to `max` visible particles of pool `kind`, starting at record
// `cursor` (advanced past the last record looked at); returns how many.
int particles_fill(int kind, int& cursor, float t, const FxCamera& cam, ParticleInstance* out, int max);
// The references of script ramps, taken and dropped in the effects VM.
void fx_hold_ramp(SQInstance* inst);
void fx_release_ramp(SQInstance* inst);

// {===== Trails

struct TrailPoint {
  Vec4f pos, prev; // current and at the last step
  Vec4f side;      // half the ribbon's width and its orientation
  Vec4f vel;
  D3dColor color;
};

struct TrailFx {
  TrailPoint points[TRAIL_POINTS];
  const ColorRamp* ramp;
  int count;  // points in use; 0 = free slot
  int newest; // ring index of the newest point
  int next_free;
  float headSize;
  D3dColor color;
  float alongScale, alongSpeed, alongOffset;
  float edge1, edge2;
  bool stop;

  bool isAlive() const { return count > 0; }
};

extern TrailFx trail_fx[MAX_TRAIL_FX];
extern const ColorRamp& default_trail_ramp;
void trails_reset();
void trails_update(float dt);
// The vertices of trail `index` (head sprite and ribbon, at most 6 x count);
// returns how many were written.
int trail_fill(int index, float f, const FxCamera& cam, FxVertex* out);

// {===== Lightning

struct BoltPoint {
  Vec4f pos;
  D3dColor color;
  float along;
};
struct Bolt {
  DynArray<BoltPoint> points;
  float age, life, width;
};

extern DynArray<Bolt*> bolts;
void bolts_reset();
void bolts_update(float dt);
// The vertices of one bolt segment i (1 .. n - 1): 6 vertices.
void bolt_fill_segment(const Bolt& b, int i, float t, const FxCamera& cam, FxVertex* out);

// {===== Helpers

// The shift in whole worlds that brings x within 128 of `ref` ([-128, 128)).
float fx_wrap_shift(float x, float ref);
// c x ramp colour per channel, clamped to 0..1, scaled by 255 and rounded.
D3dColor fx_modulate(D3dColor c, const Vec4f& ramp);

// {===== Script VM (fx_script.cpp)

bool fx_script_init();
void fx_script_close();
