// The player: health and mana, the mana refill from owned mana, harm from
// lava, slow healing, death and respawn, and the play mode's movement (the
// camera is the player's eyes).
#include <math.h>
#include <string.h>

#include "core/log.h"
#include "core/stream.h"
#include "game.h"
#include "game_world.h"
#include "host/gameobj_api.h"
#include "objects.h"
#include "spells_local.h"
#include "table_entries.h"

namespace {

// The player flies: lava hurts only this close above its surface.
constexpr float LAVA_REACH = 3.0f;
constexpr float LAVA_DAMAGE_PER_SECOND = 25.0f;
// Lowest height over the land (or fluid) surface, and the highest.
constexpr float MIN_ALTITUDE = 1.5f;
constexpr float MAX_ALTITUDE = 80.0f;
// Healing starts after this long without harm.
constexpr float HEAL_DELAY = 5.0f;
constexpr float HEAL_PER_SECOND = 1.0f;
// The share of the mana pool lost by dying.
constexpr float DEATH_MANA_LOSS = 0.25f;

Vec4f vec_of(const float p[4]) { return Vec4f{p[0], p[1], p[2], 1}; }

float surface_at(const Vec4f& at)
{
  return get_land_height_at(at) + fabsf(get_water_at(at));
}

// Keeps a position over the land and fluids and under the flying ceiling.
void keep_in_air(float p[4])
{
  if (!isfinite(p[0]) || !isfinite(p[1]) || !isfinite(p[2])) {
    p[0] = p[2] = 0;
    p[1] = 0;
  }
  float surface = surface_at(vec_of(p));
  p[1] = fminf(fmaxf(p[1], surface + MIN_ALTITUDE), surface + MAX_ALTITUDE);
}

void respawn(Player* p, const char* cause)
{
  Vec4f castle_pos{0, 0, 0, 1};
  bool at_castle = gameobj_api.single_castle && gameobj_api.single_castle(&castle_pos);
  if (at_castle) {
    p->pos[0] = castle_pos.x;
    p->pos[1] = castle_pos.y + 6.0f;
    p->pos[2] = castle_pos.z;
  } else {
    memcpy(p->pos, p->entry_pos, sizeof(p->pos));
  }
  keep_in_air(p->pos);
  float lost = p->max_mana * DEATH_MANA_LOSS;
  p->mana = fmaxf(p->mana - lost, 0.0f);
  p->health = p->max_health;
  p->since_hurt = 0;
  debug("player: killed by %s; back at the %s (%.0f, %.0f, %.0f), %.0f mana lost", cause ? cause : "harm",
      at_castle ? "castle" : "world's entry", p->pos[0], p->pos[1], p->pos[2], lost);
  if (p == local_player) {
    show_screen_message("You died");
    show_screen_sub_message(at_castle ? "Back at your castle" : "Back where you entered the world");
  }
}

void harm(Player* p, float amount, const char* cause)
{
  if (!(amount > 0.0f)) return;
  p->health -= amount;
  p->since_hurt = 0;
  // Harm that goes on (lava, fire) is heard every 0.75 s, not every step.
  static int heard_at = -1000;
  int now = get_world_time();
  if (now - heard_at >= 15 || now < heard_at) {
    heard_at = now;
    play_sound_at("player_hit", Vec4f{p->pos[0], p->pos[1], p->pos[2], 1});
  }
  if (p->health <= 0.0f) respawn(p, cause);
}

} // namespace

float mana_refill_per_second(int owned_mana)
{
  return 0.5f + 0.02f * float(owned_mana > 0 ? owned_mana : 0);
}

void Player::update(float dt)
{
  keep_in_air(pos);
  if (!entry_set) {
    memcpy(entry_pos, pos, sizeof(entry_pos));
    entry_set = true;
  }
  mana = mana_cheat_on() ? max_mana : fminf(mana + mana_refill_per_second(get_owned_mana()) * dt, max_mana);
  since_hurt += dt;
  if (since_hurt >= HEAL_DELAY) health = fminf(health + HEAL_PER_SECOND * dt, max_health);

  Vec4f at = vec_of(pos);
  float fluid = get_water_at(at);
  if (fluid < 0.0f && pos[1] - surface_at(at) < LAVA_REACH) harm(this, LAVA_DAMAGE_PER_SECOND * dt, "lava");
  if (this == local_player) spell_bar_tick(dt);
}

void Player::saveFields(OutputStream& out)
{
  GameObj::saveFields(out);
  out.writeFloat(health);
  out.writeFloat(max_health);
  out.writeFloat(mana);
  out.writeFloat(max_mana);
  for (float v : entry_pos) out.writeFloat(v);
  out.writeInt(entry_set ? 1 : 0);
}

void Player::loadFields(InputStream& in, int version, GameObjLoader& loader)
{
  GameObj::loadFields(in, version, loader);
  if (version < SPELLS_FIELDS_VERSION) return; // older blocks: a fresh player where it was
  health = in.readFloat();
  max_health = in.readFloat();
  mana = in.readFloat();
  max_mana = in.readFloat();
  for (float& v : entry_pos) v = in.readFloat();
  entry_set = in.readInt() != 0;
  // Values no play could reach are taken as damage to the file, not kept.
  if (!(max_health > 0.0f) || !isfinite(max_health)) max_health = 100;
  if (!(max_mana > 0.0f) || !isfinite(max_mana)) max_mana = 100;
  health = isfinite(health) ? fminf(fmaxf(health, 1.0f), max_health) : max_health;
  mana = isfinite(mana) ? fminf(fmaxf(mana, 0.0f), max_mana) : 0;
}

Player* game_player() { return local_player; }
float player_health() { return local_player ? local_player->health : 0; }
float player_max_health() { return local_player ? local_player->max_health : 0; }
float player_mana() { return local_player ? local_player->mana : 0; }
float player_max_mana() { return local_player ? local_player->max_mana : 0; }

void damage_player(float amount, const char* cause)
{
  if (local_player) harm(local_player, amount, cause);
}

void heal_player(float amount)
{
  if (local_player && amount > 0.0f) local_player->health = fminf(local_player->health + amount, local_player->max_health);
}

// ===== The play mode's calls (gameobj_api) ==================================

void player_move(Player* p, float dt, float speed, const Vec4f& move, const Matrix44& cam, float dash)
{
  if (!p) return;
  for (int k = 0; k < 3; ++k)
    if (isfinite(move[k])) p->pos[k] += move[k];
  keep_in_air(p->pos);
}

bool player_position(Player* p, Vec4f* out)
{
  if (!p || !out) return false;
  *out = vec_of(p->pos);
  return true;
}

void player_take_camera(Player* p, const Vec4f& pos)
{
  if (!p) return;
  p->pos[0] = pos.x;
  p->pos[1] = pos.y;
  p->pos[2] = pos.z;
  keep_in_air(p->pos);
}

void set_player_vitals(Player* p, float health, float mana)
{
  if (isfinite(health)) p->health = fminf(fmaxf(health, 0.0f), p->max_health);
  if (isfinite(mana)) p->mana = fminf(fmaxf(mana, 0.0f), p->max_mana);
  if (p->health <= 0.0f) respawn(p, "a developer command");
}
