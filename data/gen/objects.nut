// Mana orbs, spell and resource pickups and the portal of each world.

function place_world_objects(kind, world) {}
