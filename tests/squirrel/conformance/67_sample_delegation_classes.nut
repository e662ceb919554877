// Delegation between tables (setdelegate, metamethods on the delegate) and classes with
// inheritance, static members, attributes and metamethods.
local vector_ops = {
  function _add(o) { return make_vec(x + o.x, y + o.y) }
  function _tostring() { return "(" + x + "," + y + ")" }
  function _get(key) {
    if (key == "length2") return x * x + y * y
    throw null
  }
  function scale(f) { x *= f; y *= f; return this }
}
function make_vec(x, y) { return {x = x, y = y}.setdelegate(vector_ops) }
local a = make_vec(1, 2), b = make_vec(3, 4)
local c = a + b
print(c + " length2=" + c.length2 + "\n")
print(c.scale(2) + " " + (c.getdelegate() == vector_ops) + "\n")
print(c.rawin("scale") + " " + c.rawin("x") + "\n")
try { print(c.nothing) } catch (e) { print("error: " + e + "\n") }

// a chain of delegates: lookups walk up until something answers
local base_t = {kind = "base", greet = function() { return "hello from " + kind }}
local mid_t = {kind = "mid"}.setdelegate(base_t)
local leaf = {}.setdelegate(mid_t)
print(leaf.kind + " " + leaf.greet() + "\n")

class Shape </ description = "any shape", version = 2 /> {
  </ unit = "cm" />
  name = "shape"
  static count = [0]
  constructor() { count[0]++ }
  function area() { return 0 }
  function describe() { return name + " with area " + area() }
  function _tostring() { return "<" + name + ">" }
}
class Rect extends Shape {
  w = 0; h = 0
  constructor(ww, hh) { base.constructor(); name = "rect"; w = ww; h = hh }
  function area() { return w * h }
}
class Square extends Rect {
  constructor(s) { base.constructor(s, s); name = "square" }
  function describe() { return "a square: " + base.describe() }
}
local shapes = [Shape(), Rect(2, 3), Square(4)]
foreach (s in shapes) print(s.describe() + "\n")
print("instances " + Shape.count[0] + "\n")
print(shapes[2] + " " + (shapes[2] instanceof Rect) + " " + (shapes[1] instanceof Square) + "\n")
print((Square.getbase() == Rect) + " " + (Shape.getbase() == null) + "\n")
local attrs = Shape.getattributes(null)
print(attrs.description + " v" + attrs.version + "\n")
print("unit " + Shape.getattributes("name").unit + "\n")
print((Rect.getattributes("name") == null ? "inherited attributes: none" : "inherited attributes: " + Rect.getattributes("name").unit) + "\n")

// metamethods on classes: _cmp for sorting, _call, _set
class Version {
  major = 0; minor = 0
  constructor(a, b) { major = a; minor = b }
  function _cmp(o) { return major != o.major ? major <=> o.major : minor <=> o.minor }
  function _tostring() { return major + "." + minor }
  function _call(env, what) { return what + " " + this }
}
local vs = [Version(1, 10), Version(0, 9), Version(1, 2)]
vs.sort()
foreach (v in vs) print(v + " ")
print("\n" + vs[0]("version") + " " + (vs[1] < vs[2]) + "\n")
