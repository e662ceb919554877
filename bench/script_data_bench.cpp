// Saving and loading script data: many shared objects (target: 50,000 saved
// in under 0.1 s, growing linearly: each back-reference lookup is constant
// time) and a deeply nested value (a 100,000-node linked list of tables).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "core/log.h"
#include "core/stream.h"
#include "script/scriptData.h"
#include "script/sqbind.h"

namespace {

void use_temp_data_home() {
  static bool done = false;
  if (done) return;
  done = true;
  char tmpl[] = "/tmp/rh_script_data_bench_XXXXXX";
  setenv("XDG_DATA_HOME", mkdtemp(tmpl), 1);
  setenv("RUNEHOLM_HEADLESS", "1", 0);
}

HSQUIRRELVM open_with(const std::string& code) {
  use_temp_data_home();
  HSQUIRRELVM v = sqbind::open_vm(1024);
  SQInteger top = sq_gettop(v);
  if (SQ_SUCCEEDED(sq_compilebuffer(v, code.c_str(), (SQInteger)code.size(), "bench", SQTrue))) {
    sq_pushroottable(v);
    sq_call(v, 1, SQFalse, SQTrue);
  }
  sq_settop(v, top);
  return v;
}

// `count` tables, each listed twice: once where it is first met, once as a back-reference.
std::string shared_objects(int count) {
  return "::g <- { list = [], again = [] };\n"
         "for (local i = 0; i < " + std::to_string(count) + "; i++) g.list.push({ id = i });\n"
         "foreach (t in g.list) g.again.push(t);\n";
}

std::string linked_list(int count) {
  return "local head = null;\n"
         "for (local i = 0; i < " + std::to_string(count) + "; i++) head = { next = head, i = i };\n"
         "::g <- { list = head };\n";
}

void save(HSQUIRRELVM v, MemoryOutputStream& out, benchmark::State& state) {
  SqObject g = sqbind::getGlobal<SqObject>(v, "g");
  try {
    save_script_data(g, out);
  } catch (const StreamIOException& e) {
    state.SkipWithError(e.message);
  }
  save_script_refs(out);
}

void bench_save(benchmark::State& state, const std::string& code) {
  HSQUIRRELVM v = open_with(code);
  for (auto _ : state) {
    MemoryOutputStream out;
    save(v, out, state);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  sqbind::close_vm(v);
}

void bench_load(benchmark::State& state, const std::string& code) {
  HSQUIRRELVM v = open_with(code);
  MemoryOutputStream out;
  save(v, out, state);
  HSQUIRRELVM target = open_with("");
  for (auto _ : state) {
    MemoryInputStream in(out.data(), out.size());
    try {
      SqObject g = load_script_data(in, target);
      finish_loading_script_data(target);
    } catch (const StreamIOException& e) {
      state.SkipWithError(e.message);
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  sqbind::close_vm(target);
  sqbind::close_vm(v);
}

void BM_SaveSharedObjects(benchmark::State& state) { bench_save(state, shared_objects((int)state.range(0))); }
BENCHMARK(BM_SaveSharedObjects)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

void BM_LoadSharedObjects(benchmark::State& state) { bench_load(state, shared_objects((int)state.range(0))); }
BENCHMARK(BM_LoadSharedObjects)->Arg(5000)->Arg(50000)->Unit(benchmark::kMillisecond);

void BM_SaveLinkedList(benchmark::State& state) { bench_save(state, linked_list((int)state.range(0))); }
BENCHMARK(BM_SaveLinkedList)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_LoadLinkedList(benchmark::State& state) { bench_load(state, linked_list((int)state.range(0))); }
BENCHMARK(BM_LoadLinkedList)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
