// The developer socket's commands of the player and the spells, and the
// play mode's player calls, registered at every link.
#include <math.h>
#include <string>

#include "core/log.h"
#include "devtools/dev_server.h"
#include "game.h"
#include "game_world.h"
#include "host/gameobj_api.h"
#include "objects.h"
#include "spells_local.h"
#include "table_entries.h"
#include "world/universe.h"

namespace {

int spell_class_of(const std::string& name, DevReply& reply)
{
  int id = gameobj_id_by_name(name.c_str());
  if (!find_spell_info(id)) {
    reply.fail("'%s' is not a spell", name.c_str());
    return 0;
  }
  return id;
}

// "cast" spell (s), x, z: the local player casts at ground point (x, z) as a
// click there would.
void cmd_cast(const DevMessage& msg, DevReply& reply)
{
  int id = spell_class_of(msg.getString("spell"), reply);
  if (!id) return;
  Vec4f at{float(msg.getDouble("x")), 0, float(msg.getDouble("z")), 1};
  if (!isfinite(at.x) || !isfinite(at.z)) {
    reply.fail("No ground there");
    return;
  }
  at = get_land_pos_at(at);
  if (const char* failed = cast_spell(id, at)) reply.fail("%s", failed);
}

void cmd_give(const DevMessage& msg, DevReply& reply)
{
  if (int id = spell_class_of(msg.getString("spell"), reply)) add_spell_to_grid(id);
}

void cmd_player(const DevMessage&, DevReply& reply)
{
  Player* p = local_player;
  char spells[1024];
  spell_bar_names(spells, sizeof(spells));
  if (p)
    reply.add("health=%g mana=%g owned_mana=%d pos=%g,%g,%g", p->health, p->mana, get_owned_mana(), p->pos[0],
              p->pos[1], p->pos[2]);
  else
    reply.add("health=0 mana=0 owned_mana=%d pos=none", get_owned_mana());
  reply.add(" spells=%s selected=%d world=%d", spells, spell_bar_selected(), get_entered_world());
}

// "setPlayer" health, mana (d, optional): for tests and trying things out.
void cmd_set_player(const DevMessage& msg, DevReply& reply)
{
  if (!local_player) {
    reply.fail("There is no player in this world");
    return;
  }
  set_player_vitals(local_player, float(msg.getDouble("health", NAN)), float(msg.getDouble("mana", NAN)));
}

void cmd_ground(const DevMessage& msg, DevReply& reply)
{
  Vec4f at{float(msg.getDouble("x")), 0, float(msg.getDouble("z")), 1};
  if (!isfinite(at.x) || !isfinite(at.z)) {
    reply.fail("No ground there");
    return;
  }
  float fluid = get_water_at(at);
  reply.add("height=%g water=%g lava=%g", get_land_height_at(at), fluid > 0 ? fluid : 0.0f, fluid < 0 ? -fluid : 0.0f);
}

// "aim": the ground point under the crosshair, where a click would cast.
void cmd_aim(const DevMessage&, DevReply& reply)
{
  Vec4f at;
  if (pick_ground_target(&at))
    reply.add("x=%g y=%g z=%g", at.x, at.y, at.z);
  else
    reply.fail("No ground there");
}

} // namespace

void register_player_dev_commands()
{
  gameobj_api.player_move = player_move;
  gameobj_api.player_position = player_position;
  gameobj_api.player_take_camera = player_take_camera;
  gameobj_api.player_spell_op = player_spell_op;
  register_dev_command("cast", cmd_cast);
  register_dev_command("give", cmd_give);
  register_dev_command("player", cmd_player);
  register_dev_command("setPlayer", cmd_set_player);
  register_dev_command("ground", cmd_ground);
  register_dev_command("aim", cmd_aim);
  restore_spell_bar_after_reload();
}
