// The creatures of each world and their spawners.

function place_monsters(kind, world) {}
