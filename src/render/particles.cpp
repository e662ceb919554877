// Particles: the two pools (blend and glow), their simulation at the step
// rate and the instance data of the visible ones for a frame.
//
// A pool is a DynArray with room for 10,000 records after a reset; dead
// records form a free list through their age field, so a pool never shrinks
// and, once grown to the peak count, never allocates again.
#include <cmath>

#include "render/effects_local.h"

ParticlePool particle_pools[2];

namespace {

constexpr float STEP = 0.05f;

void kill(ParticlePool& pool, int i) {
  Particle& p = pool.recs[i];
  for (SQInstance*& h : p.held)
    if (h) {
      fx_release_ramp(h);
      h = nullptr;
    }
  p.life = -1;
  p.next_free = pool.free_head;
  pool.free_head = i;
  pool.alive--;
}

// Moves a live particle on by dt (the rule for delayed starts included).
// False when it died.
bool advance(ParticlePool& pool, int i, float dt) {
  Particle& p = pool.recs[i];
  float old = p.age;
  p.age += dt;
  if (p.age >= p.life) {
    kill(pool, i);
    return false;
  }
  float move = dt;
  if (old < 0) {
    if (!(p.age > 0)) return true;
    move = p.age; // the part of the step after the delay ran out
  }
  p.prev = p.pos;
  float drag = p.vel.w * move;
  for (int k = 0; k < 3; k++) p.vel[k] += p.accel[k] * move - p.vel[k] * drag;
  for (int k = 0; k < 3; k++) p.pos[k] += p.vel[k] * move;
  return true;
}

float sample(const FloatRamp* r, float p) { return r ? r->get(p) : 1.0f; }

} // namespace

float fx_wrap_shift(float x, float ref) {
  float d = x - ref;
  return -256.0f * std::floor((d + 128.0f) / 256.0f);
}

D3dColor fx_modulate(D3dColor c, const Vec4f& ramp) {
  Vec4f b = d3d_color_to_vec4f(c);
  return vec4f_to_d3d_color(Vec4f{b.x * ramp.x, b.y * ramp.y, b.z * ramp.z, b.w * ramp.w});
}

void add_particle(int kind, const Vec4f& pos, const Vec4f& vel, const Vec4f& accel, float life, float delay, float size,
                  D3dColor color, float mapU, float mapV, float mapSize, float startRoll, float rollScale,
                  const ColorRamp* colorRamp, const FloatRamp* sizeRamp, const FloatRamp* rollRamp,
                  SQInstance* const held[3]) {
  if (!common_fx_ready() || !(life > 0)) return;
  // A NaN age would never reach the life: the particle would stay forever.
  if (!(delay > 0)) delay = 0;
  ParticlePool& pool = particle_pools[kind];
  int i;
  if (pool.free_head >= 0) {
    i = pool.free_head;
    pool.free_head = pool.recs[i].next_free;
  } else {
    i = pool.recs.push(Particle{});
  }
  Particle& p = pool.recs[i];
  p.pos = p.prev = pos;
  p.vel = vel;
  p.accel = accel;
  p.life = life;
  p.age = -delay;
  p.size = size;
  p.color = color;
  p.half = mapSize * 0.5f;
  p.u = (p.half + mapU) / 512.0f;
  p.v = (p.half + mapV) / 256.0f;
  p.startRoll = startRoll;
  p.rollScale = rollScale;
  p.colorRamp = colorRamp;
  p.sizeRamp = sizeRamp;
  p.rollRamp = rollRamp;
  for (int k = 0; k < 3; k++) {
    p.held[k] = held ? held[k] : nullptr;
    if (p.held[k]) fx_hold_ramp(p.held[k]);
  }
  pool.alive++;
  // A particle starts one step ahead, so that the frames until the next
  // step interpolate from its start position.
  if (delay == 0)
    advance(pool, i, STEP);
  else if (delay < STEP)
    advance(pool, i, STEP - delay);
}

void add_blend_particle(const Vec4f& pos, const Vec4f& vel, const Vec4f& accel, float life, float delay, float size,
                        D3dColor color, float mapU, float mapV, float mapSize, float startRoll, float rollScale,
                        const ColorRamp* colorRamp, const FloatRamp* sizeRamp, const FloatRamp* rollRamp) {
  add_particle(FX_BLEND, pos, vel, accel, life, delay, size, color, mapU, mapV, mapSize, startRoll, rollScale,
               colorRamp, sizeRamp, rollRamp, nullptr);
}

void add_glow_particle(const Vec4f& pos, const Vec4f& vel, const Vec4f& accel, float life, float delay, float size,
                       D3dColor color, float mapU, float mapV, float mapSize, float startRoll, float rollScale,
                       const ColorRamp* colorRamp, const FloatRamp* sizeRamp, const FloatRamp* rollRamp) {
  add_particle(FX_GLOW, pos, vel, accel, life, delay, size, color, mapU, mapV, mapSize, startRoll, rollScale,
               colorRamp, sizeRamp, rollRamp, nullptr);
}

void particles_reset() {
  for (ParticlePool& pool : particle_pools) {
    for (int i = 0; i < pool.recs.num; i++)
      if (pool.recs[i].life > 0) kill(pool, i);
    pool.recs.resize(0);
    pool.recs.setCapacity(PARTICLE_RESERVE);
    pool.free_head = -1;
    pool.alive = 0;
  }
}

void particles_update(float dt) {
  for (ParticlePool& pool : particle_pools) {
    Particle* recs = pool.recs.data;
    for (int i = 0, n = pool.recs.num; i < n; i++)
      if (recs[i].life > 0) advance(pool, i, dt);
  }
}

int particles_fill(int kind, int& cursor, float t, const FxCamera& cam, ParticleInstance* out, int max) {
  ParticlePool& pool = particle_pools[kind];
  const Particle* recs = pool.recs.data;
  int n = pool.recs.num, w = 0;
  int i = cursor;
  for (; i < n && w < max; i++) {
    const Particle& p = recs[i];
    if (!(p.life > 0)) continue;
    float ph = (p.age + t) / p.life;
    if (!(ph >= 0.0f && ph <= 1.0f)) continue;
    // A particle that started within the last step moves only for the part
    // of the step after its start.
    float f = t * 20.0f;
    float since = p.age < STEP ? p.age : STEP;
    if (since > 0 && since < STEP) f = (t - (STEP - since)) / since;
    if (f < 0) f = 0;
    if (f > 1) f = 1;
    ParticleInstance& o = out[w++];
    float x = p.prev.x + (p.pos.x - p.prev.x) * f;
    float z = p.prev.z + (p.pos.z - p.prev.z) * f;
    o.pos[0] = x + fx_wrap_shift(x, cam.pos.x);
    o.pos[1] = p.prev.y + (p.pos.y - p.prev.y) * f;
    o.pos[2] = z + fx_wrap_shift(z, cam.pos.z);
    o.color = p.colorRamp ? fx_modulate(p.color, p.colorRamp->get(ph)) : p.color;
    o.size = p.size * sample(p.sizeRamp, ph);
    o.roll = p.startRoll + p.rollScale * (p.rollRamp ? p.rollRamp->get(ph) : 0.0f);
    o.u = p.u;
    o.v = p.v;
    o.hw = p.half / 512.0f;
    o.nhh = -p.half / 256.0f;
  }
  cursor = i;
  return w;
}
