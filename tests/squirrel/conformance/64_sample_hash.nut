// Tables used as hash maps: string and integer keys built in loops, lookups, counting,
// deleting, and one table's values folded into another.
local n = 2000
local hash = {}
for (local i = 1; i <= n; i++) hash[format("%x", i)] <- i
local found = 0
for (local i = n; i > 0; i--) if (i.tostring() in hash) found++
print("found " + found + " of " + n + "\n")
print("hash['ff']=" + hash["ff"] + " hash['7d0']=" + hash["7d0"] + "\n")

local h1 = {}, h2 = {}
for (local i = 0; i < 100; i++) h1["foo_" + i] <- i
for (local r = 0; r < 3; r++)
  foreach (k, v in h1) {
    if (!(k in h2)) h2[k] <- 0
    h2[k] += v
  }
print("h1.foo_1=" + h1.foo_1 + " h1.foo_99=" + h1["foo_99"] + " h2.foo_1=" + h2.foo_1 + " h2.foo_99=" + h2["foo_99"] + "\n")

// word frequencies
local text = "the quick brown fox jumps over the lazy dog the fox"
local freq = {}
foreach (w in split(text, " ")) {
  if (w in freq) freq[w]++
  else freq[w] <- 1
}
local words = []
foreach (w, c in freq) words.append(w)
words.sort(function(a, b) {
  local d = freq[b] <=> freq[a]
  return d != 0 ? d : a <=> b
})
foreach (w in words) print(w + ":" + freq[w] + " ")
print("\n")

// integer keys, deletion and re-insertion
local sq = {}
for (local i = 0; i < 50; i++) sq[i] <- i * i
for (local i = 0; i < 50; i += 2) delete sq[i]
local sum = 0
foreach (k, v in sq) sum += v
print("left " + sq.len() + " sum " + sum + "\n")
sq[4] <- "back"
print(sq[4] + " " + (6 in sq) + " " + (7 in sq) + "\n")
print("rawget " + sq.rawget(9) + " " + ("x" in sq) + "\n")
