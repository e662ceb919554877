// Storage of tables, arrays and sorting: table entries in insertion order with holes left
// by removals, growth past the size where blocks become mapped pages, compaction under
// churn, keys that defeat naive integer hashing, arrays of scalars that turn into full
// values, and the in-place sorts.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "sqtest_util.h"
#include "squirrel/sqlib_internal.h"
#include "squirrel/sqobject.h"

using sqtest::Vm;
using sqtest::run_out;

namespace {

TEST(SqTableStorage, IterationFollowsInsertionAndSurvivesRemovalWhileIterating) {
  Vm vm;
  EXPECT_EQ(run_out(vm,
                    "local t = {}; foreach (k in [\"z\", 7, \"a\", 3.5, true, -1]) t[k] <- 1;\n"
                    "foreach (k, v in t) print(k + \" \");\n"
                    // removing the current and later keys while iterating visits each
                    // remaining key once
                    "local seen = 0; foreach (k, v in t) { seen++; delete t[k]; if (k == 7) delete t[3.5]; }\n"
                    "print(\"| \" + seen + \" \" + t.len());\n"
                    // an emptied table starts over and iterates only the new keys
                    "t.q <- 1; t.r <- 2; foreach (k, v in t) print(\" \" + k);"),
            "z 7 a 3.5 true -1 | 5 0 q r");
}

TEST(SqTableStorage, KeysThatShareLowBitsOrDifferOnlyInTypeAreAllFound) {
  Vm vm;
  // 150,000 entries: the entry block grows past 1 MB (mapped pages), and every key pattern
  // here would pile into a few buckets with a hash that ignores high bits.
  EXPECT_EQ(run_out(vm,
                    "local t = {}, n = 0;\n"
                    "for (local i = 0; i < 50000; i++) { t[i * 65536] <- i; t[-i - 1] <- -i; t[i << 12 | 5] <- 1; }\n"
                    "t[1.0] <- \"f\"; t[1] <- \"i\"; t[\"1\"] <- \"s\";\n"
                    "for (local i = 0; i < 50000; i++)\n"
                    "  if (t[i * 65536] == i && t[-i - 1] == -i && ((i << 12 | 5) in t)) n++;\n"
                    "print(n + \" \" + t.len() + \" \" + t[1.0] + t[1] + t[\"1\"] + \" \" + (3 in t));"),
            "50000 150003 fis false");
}

// Longest bucket chain of a table holding the given integer keys.
size_t longest_chain(const std::vector<SQInteger> &keys) {
  SQTable t(nullptr);
  for (SQInteger k : keys) t.NewSlot(SQObject{OT_INTEGER, {.nInteger = k}}, SQObject{OT_NULL, {}});
  size_t longest = 0;
  for (SQInteger b = 0; b < t.BucketCount(); b++) {
    size_t n = 0;
    for (int32_t i = t._buckets[b]; i >= 0; i = t._nodes[i].next) n++;
    longest = std::max(longest, n);
  }
  return longest;
}

TEST(SqTableStorage, IntegerKeysSpreadOverTheBuckets) {
  // Random placement gives chains of about 6 at most here; hashing that keeps equal low
  // bits in the same bucket gives chains in the hundreds.
  for (int shift : {0, 8, 12, 16, 20}) {
    std::vector<SQInteger> keys;
    for (SQInteger i = 0; i < 50000; i++) keys.push_back((SQInteger)((uint32_t)i << shift | 5u));
    EXPECT_LE(longest_chain(keys), 12u) << "keys i << " << shift << " | 5";
  }
  std::vector<SQInteger> neg;
  for (SQInteger i = 0; i < 50000; i++) neg.push_back(-i * 1000);
  EXPECT_LE(longest_chain(neg), 12u);
}

TEST(SqTableStorage, IteratorsOutsideTheTableStartOverOrEnd) {
  // sq_next takes the iterator from the stack, where host code may put any integer: a
  // negative one starts at the first key (it used to read before the entries), a large
  // one ends the iteration.
  Vm vm;
  ASSERT_TRUE(vm.run("tbl <- {}; tbl.a <- 1; tbl.b <- 2; delete tbl.a;"));
  HSQUIRRELVM v = vm.v;
  sq_pushroottable(v);
  sq_pushstring(v, "tbl", -1);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
  sq_pushinteger(v, -7);
  ASSERT_TRUE(SQ_SUCCEEDED(sq_next(v, -2)));
  const SQChar *key = nullptr;
  ASSERT_TRUE(SQ_SUCCEEDED(sq_getstring(v, -2, &key)));
  EXPECT_STREQ(key, "b");
  sq_pop(v, 3);  // key, value, iterator
  sq_pushinteger(v, 1 << 30);
  EXPECT_TRUE(SQ_FAILED(sq_next(v, -2)));
  sq_pop(v, 3);
}

TEST(SqTableStorage, ChurnReusesTheSpaceOfRemovedKeys) {
  Vm vm;
  // A sliding window of 100 live keys over 300,000 distinct ones. Without compacting the
  // holes the entries would pass the 4 MB limit (32 bytes per key ever inserted).
  sqi_set_memory_limit(vm.v, 4u << 20);
  EXPECT_EQ(run_out(vm,
                    "function step(t, i) { t[i] <- i; if (i >= 100) delete t[i - 100]; }\n"
                    "local t = {};\n"
                    "for (local i = 0; i < 300000; i++) step(t, i);\n"
                    "local s = 0; foreach (k, v in t) s += v;\n"
                    "print(t.len() + \" \" + s + \" \" + (299899 in t) + \" \" + (299900 in t));"),
            "100 29994950 false true");
  sqi_set_memory_limit(vm.v, 0);
}

TEST(SqTableStorage, ClonesAndCyclesOfGrownTables) {
  Vm vm;
  EXPECT_EQ(run_out(vm,
                    "local t = {}; for (local i = 0; i < 40000; i++) t[\"k\" + i] <- [i];\n"
                    "for (local i = 0; i < 40000; i += 2) delete t[\"k\" + i];\n"
                    "local c = clone t; c.self <- c; t.k1[0] = -1;\n"
                    "local s = 0; foreach (k, v in c) if (k != \"self\") s += v[0];\n"
                    "print(c.len() + \" \" + s + \" \" + (\"k0\" in c));\n"
                    "c = null; print(\" \" + collectgarbage());"),
            "20001 399999998 false 1");
}

TEST(SqTableStorage, SortsKeepEqualElementsInOrderAndIntegersExact) {
  Vm vm;
  // The merge sort keeps equal keys in their original order at every merge size; the
  // in-place radix sort of an odd-sized integer array loses and duplicates nothing.
  EXPECT_EQ(run_out(vm,
                    "local a = []; for (local i = 0; i < 2001; i++) a.append([(i * 7919) % 13, i]);\n"
                    "a.sort(@(x, y) x[0] <=> y[0]);\n"
                    "local ok = true; for (local i = 1; i < a.len(); i++)\n"
                    "  if (a[i - 1][0] > a[i][0] || (a[i - 1][0] == a[i][0] && a[i - 1][1] > a[i][1])) ok = false;\n"
                    "local b = [], sum = 0; for (local i = 0; i < 4001; i++) { local x = (i * -1640531535) ^ i; b.append(x); sum += x; }\n"
                    "b.sort(); local s2 = 0; foreach (x in b) s2 += x;\n"
                    "for (local i = 1; i < b.len(); i++) if (b[i - 1] > b[i]) ok = false;\n"
                    "print(ok + \" \" + (sum == s2) + \" \" + b.len());"),
            "true true 4001");
}

TEST(SqArrayStorage, ScalarArraysTakeReferencesAndKeepEveryElement) {
  Vm vm;
  // Each array starts with scalars only; the first reference (string, table, weak
  // reference) may arrive through any way of storing, and every element must survive it.
  EXPECT_EQ(run_out(vm,
                    "function show(a) { local s = \"\"; foreach (x in a) s += (typeof x)[0].tochar() + x; return s; }\n"
                    "local a = [1, 2.5, null, true]; a[1] = \"s\"; print(show(a) + \" \");\n"
                    "local b = array(3, 7); b.push({}); b.pop(); b.insert(1, \"i\"); print(show(b) + \" \");\n"
                    "local c = [3, 1, 2]; c.append([9].weakref()); print((c[3] == null) + \" \");\n"
                    "local d = [5, 6]; d.resize(4, \"r\"); d.reverse(); d.remove(0); print(show(d) + \" \");\n"
                    "local e = [4, 5]; local f = clone e; e[0] = \"x\"; print(show(e) + show(f) + \" \");\n"
                    "function va(...) { return vargv; } print(show(va(1, \"v\", 2)));"),
            "i1ssnnullbtrue "
            "i7sii7i7 "
            "true "
            "sri6i5 "
            "sxi5i4i5 "
            "i1svi2");
}

TEST(SqArrayStorage, WidenedArraysHoldAndFreeTheirReferences) {
  Vm vm;
  // A cycle made through an array that started as integers is found by the collector,
  // and an integer array sorted after it held references sorts by value.
  EXPECT_EQ(run_out(vm,
                    "local a = [1, 2, 3]; a.append(a); a = null;\n"
                    "print(collectgarbage() + \" \");\n"
                    "local b = [3, -1, 2]; b.append(\"t\"); b.pop(); b.sort();\n"
                    "local c = []; for (local i = 0; i < 70000; i++) c.push(i % 3 ? i : \"k\" + i);\n"
                    "c.resize(1); print(b[0] + \",\" + b[1] + \",\" + b[2] + \" \" + c.len() + c[0]);"),
            "1 -1,2,3 1k0");
}

}  // namespace
