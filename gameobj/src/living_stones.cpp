// Stones, menhirs and stone cups (and a standing villager, the base class
// itself): they stand on the land and follow it while it moves a little;
// a large change under them in one go topples them downhill and beds them
// in; lava swallows them slowly.
#include <math.h>

#include "core/stream.h"
#include "game_world.h"
#include "living.h"
#include "objects.h"

using namespace living;

int HumanoidStaticObject::query(int what)
{
  switch (what) {
  case QUERY_STATE: return tilt != 0.0f ? 1 : 0;
  case QUERY_HEIGHT_MM: return int(lroundf(pos[1] * 1000.0f));
  default: return GameObj::query(what);
  }
}

void HumanoidStaticObject::update(float dt)
{
  Vec4f at = vec_of(pos);
  float h = get_land_height_at(at);
  if (!settled) {
    rest_height = h;
    settled = true;
  }
  if (tilt == 0.0f && fabsf(h - rest_height) > TOPPLE_CHANGE) {
    // Falls down the slope it now stands on (or, on level land, any way).
    Vec4f n = calc_land_norm_at(at);
    tilt_yaw = (fabsf(n.x) + fabsf(n.z) > 1e-3f) ? atan2f(n.x, n.z) : yaw + 1.0f;
    tilt = 1.35f;
    sink += 0.25f * scale;
  }
  // Once the land rests again, the stone rests on it: later changes count from there.
  if (fabsf(get_land_change_at(at)) < 0.01f) rest_height = h;
  if (get_water_at(at) < -FIRE.lava_depth) {
    sink += LAVA_SINK_RATE * dt;
    if (sink > 4.0f * scale) {
      destroy();
      return;
    }
  }
  pos[1] = h - sink;
}

void HumanoidStaticObject::render(float dt)
{
  float at[3];
  if (!living_place(pos, 4.0f * scale, at)) return;
  living_queue(living_renderer(meshName()), at, yaw, scale, scale, tilt, tilt_yaw, 0xFFFFFFFF);
}

void HumanoidStaticObject::saveFields(OutputStream& out)
{
  GameObj::saveFields(out);
  out.writeFloat(yaw);
  out.writeFloat(scale);
  out.writeFloat(rest_height);
  out.writeFloat(tilt);
  out.writeFloat(tilt_yaw);
  out.writeFloat(sink);
  out.writeBool(settled);
}

void HumanoidStaticObject::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  GameObj::loadFields(in, version, loader);
  if (version < 3) return;
  yaw = in.readFloat();
  scale = in.readFloat();
  rest_height = in.readFloat();
  tilt = in.readFloat();
  tilt_yaw = in.readFloat();
  sink = in.readFloat();
  settled = in.readBool();
  if (!isfinite(scale) || scale <= 0.0f) scale = 1.0f;
  if (!isfinite(tilt) || !isfinite(sink) || !isfinite(rest_height)) {
    tilt = sink = 0.0f;
    settled = false;
  }
}
