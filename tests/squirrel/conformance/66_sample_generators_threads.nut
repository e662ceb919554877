// Generators (yield, resume, foreach over a generator) and coroutines (threads with
// suspend and wakeup passing values both ways).
function range_gen(from, to, step) {
  for (local i = from; i < to; i += step) yield i
  return null
}
foreach (i, v in range_gen(0, 10, 3)) print(i + ":" + v + " ")
print("\n")

function fib_gen() {
  local a = 0, b = 1
  while (true) {
    yield a
    local t = a + b
    a = b
    b = t
  }
}
local g = fib_gen()
local firsts = []
for (local i = 0; i < 10; i++) firsts.append(resume g)
foreach (v in firsts) print(v + " ")
print("\n" + g.getstatus() + "\n")

local done = (function() { yield 1 })()
print((resume done) + " " + done.getstatus() + "\n")
resume done
print(done.getstatus() + "\n")
try { resume done } catch (e) { print("error: " + e + "\n") }

// a coroutine that receives values through wakeup and returns a result at the end
function accumulator(first) {
  local total = first
  while (true) {
    local v = ::suspend(total)
    if (v == null) break
    total += v
  }
  return "final " + total
}
local co = newthread(accumulator)
print(co.getstatus() + "\n")
local r = co.call(10)
print("started: " + r + " " + co.getstatus() + "\n")
foreach (v in [5, 7, 100]) print("wakeup -> " + co.wakeup(v) + "\n")
print(co.wakeup(null) + " " + co.getstatus() + "\n")

// producer/consumer with two threads
local log = []
local producer = newthread(function() {
  foreach (item in ["bread", "milk", "eggs"]) {
    log.append("make " + item)
    suspend(item)
  }
  return null
})
local item = producer.call()
while (item != null) {
  log.append("eat " + item)
  item = producer.wakeup()
}
foreach (s in log) print(s + "; ")
print("\n")
