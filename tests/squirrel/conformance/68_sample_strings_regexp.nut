// String handling and regular expressions as small text-processing programs use them.
local s = "Hello, Squirrel World"
print(s.len() + " " + s.toupper() + " " + s.tolower() + "\n")
print(s.slice(7, 15) + "|" + s.slice(-5) + "|" + s.find("World") + "|" + s.find("x") + "\n")
print(s[0] + " " + s[0].tochar() + " " + format("%c%c", s[7], s[8]) + "\n")

// reversing and counting characters
local rev = ""
for (local i = s.len() - 1; i >= 0; i--) rev += s[i].tochar()
print(rev + "\n")
local vowels = 0
foreach (ch in s.tolower()) if ("aeiou".find(ch.tochar()) != null) vowels++
print("vowels " + vowels + "\n")

// split, join by hand, strip and number conversion
local parts = split("  12, 7 ,x, 30  ", ",")
local nums = []
foreach (p in parts) {
  local t = strip(p)
  try { nums.append(t.tointeger()) } catch (e) { print("not a number: '" + t + "'\n") }
}
local joined = ""
foreach (i, v in nums) joined += (i > 0 ? "+" : "") + v
print(joined + "=" + nums.reduce(@(a, b) a + b) + "\n")
print(format("[%5d][%-5s][%05.1f][%x][%s]", 42, "ab", 3.14159, 255, "end") + "\n")
print(lstrip("  left") + "|" + rstrip("right  ") + "|\n")

// regular expressions: match, search from a position, captures, all matches in a loop
local date = regexp(@"(\d+)-(\d+)-(\d+)")
local text = "from 2024-01-15 to 2025-12-31."
local caps = date.capture(text)
foreach (c in caps) print(text.slice(c.begin, c.end) + " ")
print("\n")
local pos = 0, found = []
while (true) {
  local m = date.search(text, pos)
  if (m == null) break
  found.append(text.slice(m.begin, m.end))
  pos = m.end
}
print(found.len() + " dates: " + found[0] + ", " + found[1] + "\n")
print(regexp("^[a-z_][a-z0-9_]*$").match("var_1") + " " + regexp("^[a-z_][a-z0-9_]*$").match("1var") + "\n")
local word = regexp(@"\w+")
local count = 0
for (local m = word.search(text); m != null; m = word.search(text, m.end)) count++
print("words " + count + " subexps " + date.subexpcount() + "\n")
print(escape("say \"hi\"\\") + "\n")
