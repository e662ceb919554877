set_rnd_seed(-1);
local s = 0;
for (local i = 0; i < 20; i++) s += hmrnd() + hmfrnd() + hmsrnd() + irnd() % 7 + frnd() + srnd() + rndf(-2, 3) + rndi(5, 5) + rndi(9, -3);
randomize_rnd_seed();
