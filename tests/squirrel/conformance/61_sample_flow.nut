// Flow control as a first program would use it: if/else chains, while, do-while, for,
// foreach, switch, break and continue, including single-statement bodies on one line.
function classify(n) {
  if (n < 0) return "negative"
  else if (n == 0) return "zero"
  else if (n % 2 == 0) return "even"
  else return "odd"
}
foreach (n in [-3, 0, 4, 7]) print(n + " is " + classify(n) + "\n")

local i = 0
while (i < 10) {
  i++
  if (i % 3 == 0) continue
  if (i > 7) break
  print(i + " ")
}
print("\n")

local k = 5
do { print("k=" + k + " "); k -= 2 } while (k > 0)
print("\n")
do print("once\n"); while (false)

for (local a = 0, b = 10; a < b; a += 3, b -= 2) print("[" + a + "," + b + "]")
print("\n")
for (;;) { k++; if (k > 3) break }
print("k after for(;;): " + k + "\n")

local total = 0
foreach (idx, val in [10, 20, 30, 40]) {
  if (idx == 1) continue
  total += val
}
print("total " + total + "\n")

foreach (x in ["a", 1, 2.5, null, true]) {
  switch (typeof x) {
    case "string": print("string " + x + "\n"); break
    case "integer":
    case "float": print("number " + x + "\n"); break
    case "null": print("null\n")  // falls through
    default: print("other " + typeof x + "\n")
  }
}

// nested loops with break leaving only the inner loop
local pairs = 0
for (local p = 0; p < 5; p++) {
  for (local q = 0; q < 5; q++) {
    if (q > p) break
    pairs++
  }
}
print("pairs " + pairs + "\n")

// if/else on one line, and an else binding to the nearest if
if (pairs > 10) print("many\n") else print("few\n")
if (pairs > 0) if (pairs > 100) print("huge\n"); else print("moderate\n")

// switch inside a loop: break leaves the switch, continue the loop
local out = ""
for (local n = 0; n < 6; n++) {
  switch (n) {
    case 1: continue
    case 3: out += "three "; break
    default: out += n + " "
  }
  out += "| "
}
print(out + "\n")
