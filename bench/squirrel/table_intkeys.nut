// Benchmark 7: 1 million integer keys inserted into a table, then read back
local N = 1000000;
local tbl = {};
for (local i = 0; i < N; i++) tbl[i] <- i * 3;
local hits = 0, acc = 0;
for (local i = 0; i < N; i++) {
    if (i in tbl) { hits++; acc += tbl[i]; }
}
print("size = " + tbl.len() + " hits = " + hits + " acc = " + acc + "\n");
