// The host's spell table, read in a file of its own: its record type has the
// same name as the game's catalogue record (game.h).
#include "world/spells.h"

const char* host_spell_class(int spell_id)
{
  const SpellInfo* s = get_spell_info(spell_id);
  return s ? s->class_name : nullptr;
}

const char* host_spell_icon(const char* class_name)
{
  const SpellInfo* s = get_spell_info(class_name);
  return s ? s->icon_name : nullptr;
}
