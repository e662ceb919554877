// Linked lists built from tables, nested loops and matrix multiplication with arrays
// of arrays.
function make_list(n) {
  local head = null
  for (local i = n; i > 0; i--) head = {value = i, next = head}
  return head
}
function list_text(l) {
  local s = ""
  while (l) { s += l.value + (l.next ? "->" : ""); l = l.next }
  return s
}
function reverse(l) {
  local prev = null
  while (l != null) {
    local next = l.next
    l.next = prev
    prev = l
    l = next
  }
  return prev
}
local l = make_list(6)
print(list_text(l) + "\n")
l = reverse(l)
print(list_text(l) + "\n")
local count = 0, sum = 0
for (local p = make_list(1000); p; p = p.next) { count++; sum += p.value }
print("count " + count + " sum " + sum + "\n")

// nested loops: the number of times the innermost body runs
local x = 0
local n = 6
for (local a = 0; a < n; a++)
  for (local b = 0; b < n; b++)
    for (local c = 0; c < n; c++)
      for (local d = 0; d < n; d++)
        for (local e = 0; e < n; e++)
          for (local f = 0; f < n; f++)
            x++
print("nested " + x + "\n")

function mkmatrix(rows, cols) {
  local count = 1
  local m = array(rows)
  for (local i = 0; i < rows; i++) {
    m[i] = array(cols)
    for (local j = 0; j < cols; j++) m[i][j] = count++
  }
  return m
}
function mmult(rows, cols, m1, m2) {
  local m3 = array(rows)
  for (local i = 0; i < rows; i++) {
    m3[i] = array(cols)
    for (local j = 0; j < cols; j++) {
      local val = 0
      for (local k = 0; k < cols; k++) val += m1[i][k] * m2[k][j]
      m3[i][j] = val
    }
  }
  return m3
}
local size = 12
local m1 = mkmatrix(size, size), m2 = mkmatrix(size, size)
local mm = null
for (local i = 0; i < 5; i++) mm = mmult(size, size, m1, m2)
print(mm[0][0] + " " + mm[2][3] + " " + mm[3][2] + " " + mm[11][11] + "\n")
local ident = [[1, 0], [0, 1]], m = [[2, 3], [4, 5]]
local p = mmult(2, 2, m, ident)
print(p[0][0] + " " + p[0][1] + " " + p[1][0] + " " + p[1][1] + "\n")
