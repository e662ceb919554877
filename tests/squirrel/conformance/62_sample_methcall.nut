// Method calls on class instances in a loop, with methods and constructors defined
// outside the class body and a derived class that calls its base.
class Toggle {
  bool = null
}
function Toggle::constructor(startstate) {
  bool = startstate
}
function Toggle::value() {
  return bool
}
function Toggle::activate() {
  bool = !bool
  return this
}

class NthToggle extends Toggle {
  count_max = null
  counter = 0
  constructor(start_state, max_counter) {
    base.constructor(start_state)
    count_max = max_counter
  }
  function activate() {
    if (++counter >= count_max) {
      base.activate()
      counter = 0
    }
    return this
  }
}

function run(n) {
  local val = true
  local toggle = Toggle(val)
  for (local i = 0; i < n; i++) val = toggle.activate().value()
  print(toggle.value() ? "true\n" : "false\n")

  val = true
  local ntoggle = NthToggle(val, 3)
  for (local i = 0; i < n; i++) val = ntoggle.activate().value()
  print(ntoggle.value() ? "true\n" : "false\n")
}
run(1000)
run(1001)
run(7)

// methods called through a stored reference, with an explicit 'this'
local t = Toggle(false)
local act = t.activate
act.call(t)
print("via call: " + t.value() + "\n")
local counts = {}
foreach (name, member in NthToggle) if (typeof member == "function") counts[name] <- true
local names = []
foreach (name, _ in counts) names.append(name)
names.sort()
foreach (n in names) print(n + " ")
print("\n")
print((NthToggle(true, 2) instanceof Toggle) + "\n")
