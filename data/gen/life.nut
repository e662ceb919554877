// The world's life: trees, stones, houses, springs, natural volcanoes, triggers.

function place_life(kind, world) {}
