// Classic recursive programs: Ackermann, Fibonacci (plain, memoised and iterative),
// Takeuchi and mutual recursion through globals.
function ack(m, n) {
  if (m == 0) return n + 1
  if (n == 0) return ack(m - 1, 1)
  return ack(m - 1, ack(m, n - 1))
}
for (local n = 1; n <= 4; n++) print("ack(2," + n + ")=" + ack(2, n) + " ")
print("\n")
print("ack(3,3)=" + ack(3, 3) + "\n")

function fib(n) return n < 2 ? n : fib(n - 2) + fib(n - 1)
local line = ""
for (local n = 0; n <= 15; n++) line += fib(n) + " "
print(line + "\n")
print("fib(22)=" + fib(22) + "\n")

local memo = {}
function mfib(n) {
  if (n < 2) return n
  if (n in memo) return memo[n]
  memo[n] <- mfib(n - 1) + mfib(n - 2)
  return memo[n]
}
print("mfib(40)=" + mfib(40) + " memo size " + memo.len() + "\n")

local ifib = function(n) {
  local a = 0, b = 1
  while (n-- > 0) { local t = a + b; a = b; b = t }
  return a
}
print("ifib(46)=" + ifib(46) + "\n")

function tak(x, y, z) {
  if (y >= x) return z
  return tak(tak(x - 1, y, z), tak(y - 1, z, x), tak(z - 1, x, y))
}
print("tak(18,12,6)=" + tak(18, 12, 6) + "\n")

function is_even(n) return n == 0 ? true : is_odd(n - 1)
function is_odd(n) return n == 0 ? false : is_even(n - 1)
print("is_even(10)=" + is_even(10) + " is_odd(7)=" + is_odd(7) + "\n")

local fact = @(n) n <= 1 ? 1 : n * callee()(n - 1)
print("10!=" + fact(10) + "\n")
