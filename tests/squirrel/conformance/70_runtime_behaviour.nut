// Runtime behaviour that must match the language: "throw null" from _get means "not
// found" and is not an error, string conversions saturate at the 32-bit limits, classes
// without constructors ignore arguments, bools order false < true, foreach over
// instances needs _nexti, regexp searches past the end find nothing, sort comparators
// may throw any value, and metamethods are ordinary members.
local reported = []
seterrorhandler(function(e) { reported.append(e) })

class Lazy {
  known = 1
  function _get(key) {
    if (key == "virtual") return "virtual value"
    if (key == "broken") throw "broken key"
    throw null
  }
  function show() { return format("%d %s %s", known, virtual, typeof print) }
}
local lz = Lazy()
print(lz.show() + "\n")
try { print(lz.missing) } catch (e) { print("missing: " + e + "\n") }
try { print(lz.broken) } catch (e) { print("broken: " + e + "\n") }
print("reported " + reported.len() + "\n")

// metamethods are members like any other
local getter = lz._get
print(typeof getter + " " + getter.call(lz, "virtual") + " " + lz._get("virtual") + "\n")
print(("_get" in lz) + " " + (typeof Lazy._get) + " " + (Lazy.rawget("_get") == getter) + "\n")
class Printable { function _tostring() { return "printable" } }
print(Printable()._tostring() + " " + Printable() + "\n")

// string to number conversion saturates
foreach (s in ["2147483647", "2147483648", "3000000000", "-2147483648", "-3000000000", "99999999999999999999"])
  print(s + " -> " + s.tointeger() + "\n")
print("ffffffffff".tointeger(16) + " " + "-ffffffffff".tointeger(16) + " " + "7fffffff".tointeger(16) + "\n")
print("3000000000".tofloat() + "\n")

// a class without a constructor ignores call arguments
class Plain { v = "plain" }
print(Plain().v + " " + Plain(1, 2, 3).v + "\n")
class Derived extends Plain { }
print(Derived("x").v + "\n")

// bools are ordered false < true
print((false < true) + " " + (true > false) + " " + (true <= true) + " " + (false >= true) + "\n")
print((false <=> true) + " " + (true <=> false) + " " + (true <=> true) + "\n")
local flags = [true, false, true, false, false]
flags.sort()
foreach (f in flags) print(f + " ")
print("\n")
flags.sort(@(a, b) b <=> a)
foreach (f in flags) print(f + " ")
print("\n")

// foreach over instances goes through _nexti only
class Bag {
  items = null
  constructor() { items = ["a", "b", "c"] }
  function _nexti(prev) {
    local i = prev == null ? 0 : prev + 1
    return i < items.len() ? i : null
  }
  function _get(i) {
    if (typeof i == "integer" && i < items.len()) return items[i].toupper()
    throw null
  }
}
foreach (k, v in Bag()) print(k + "=" + v + " ")
print("\n")
class NoIter { x = 1; y = 2 }
try { foreach (k, v in NoIter()) print("iterated " + k + "\n") } catch (e) { print("error: " + e + "\n") }
class BadIter {
  function _nexti(prev) { return prev == null ? "nonesuch" : null }
}
try { foreach (k, v in BadIter()) print("iterated " + k + "\n") } catch (e) { print("error: " + e + "\n") }
class BadIterWithGet extends BadIter {
  function _get(k) { throw null }
}
try { foreach (k, v in BadIterWithGet()) print("iterated " + k + "\n") } catch (e) { print("error: " + e + "\n") }

// regexp search and capture from a start past the end find nothing
local re = regexp("b+")
print(re.search("abbc", 1).begin + " " + re.search("abbc", 3) + " " + re.search("abbc", 4) + " " + re.search("abbc", 99) + "\n")
print(re.capture("abbc", 99) + " " + regexp("x*").search("ab", 2).begin + " " + regexp("x*").search("ab", 50) + "\n")

// an error thrown from a sort comparator propagates as the thrown value
foreach (thrown in [42, {code = 7}, null, "text"]) {
  try {
    [3, 1, 2].sort(function(a, b) { throw thrown })
    print("sorted?\n")
  } catch (e) {
    print("sort threw " + typeof e + (e == thrown ? " (same value)" : " (different)") + "\n")
  }
}
print("reported " + reported.len() + "\n")
