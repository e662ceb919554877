function f(n) { return f(n); }
f(0);
