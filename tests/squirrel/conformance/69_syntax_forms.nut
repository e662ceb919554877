// Valid forms that must compile: the comma operator, single-statement function bodies,
// methods and constructors defined outside the class body, and statements that follow a
// '}' on the same line.

// comma operator: every operand is evaluated in order, the last one is the value
local a = 1
local b = (a++, a + 10)
print(a + " " + b + "\n")
if (a++, a > 2) print("if sees " + a + "\n")
local arr = [1, (2, 3), (a = 7, a * 2)]
print(arr.len() + " " + arr[1] + " " + arr[2] + " a=" + a + "\n")
local calls = []
function note(x) { calls.append(x); return x }
local v = (note("first"), note("second"), note("third"))
print(v + " after " + calls.len() + " calls\n")
local w = 0
while (w++, w < 3) print("w=" + w + " ")
print("\n")
print("nested " + ((1, 2), (3, (4, 5))) + " in call " + note((6, 7)) + "\n")
local t = {k = (0, "kv")}
print(t.k + " " + [(1, 2)].len() + "\n")
switch (a = 1, a + 1) { case 2: print("switch on 2\n"); break; default: print("wrong\n") }

// single-statement function bodies
function min(x, y) return x < y ? x : y;
function max(x, y) return x > y ? x : y
print(min(3, 2) + " " + max(3, 2) + "\n")
local twice = function(x) return x * 2
print(twice(21) + "\n")
local sign = function(x) if (x < 0) return -1; else return x > 0 ? 1 : 0
print(sign(-5) + " " + sign(0) + " " + sign(9) + "\n")
class Counter {
  n = 0
  function inc() n++
  function get() return n;
  static function make() return Counter()
}
local c = Counter.make()
c.inc(); c.inc()
print("counter " + c.get() + "\n")
local tbl = { function hello(who) return "hello " + who }
print(tbl.hello("table") + "\n")

// members defined outside the class body
class Toggle {
  state = null
}
function Toggle::constructor(s) { state = s }
function Toggle::flip() { state = !state; return this }
function Toggle::value() return state
print(Toggle(true).flip().value() + " " + Toggle(false).flip().flip().value() + "\n")
class Outer { }
Outer.Inner <- class { function hi() { return "inner hi" } }
function Outer::Inner::hello() { return "inner hello" }
print(Outer.Inner().hi() + " " + Outer.Inner().hello() + "\n")

// statements following a '}' on the same line
local s = {a = 1} print(s.a + "\n")
local f = function() { return "f" } print(f() + "\n")
if (true) { print("block ") } print("then next\n")
local g = class { x = 5 } print(g().x + "\n")
local q = 0
while (q < 2) { q++ } print("q=" + q + "\n")
local e = 0; try { throw "x" } catch (err) { e = err } print("caught " + e + "\n")
if (q == 2) print("if on one line ") else print("never ")
print("else ok\n")
