// sq: runs a Squirrel script file.
//
//   sq FILE [ARGS...]
//
// The script runs with the base library plus the math and string libraries; its
// arguments arrive as strings in vargv. print() writes to standard output; errors, the
// call stack report and compile errors (with file, line and column) go to standard error.
// The exit status is 0 on success, 1 when the script failed to compile or raised an
// uncaught error, 2 on usage or file errors.
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "sqstdaux.h"
#include "sqstdmath.h"
#include "sqstdstring.h"
#include "squirrel.h"

namespace {
void print_out(HSQUIRRELVM, const SQChar *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vfprintf(stdout, fmt, ap);
  va_end(ap);
}

void print_err(HSQUIRRELVM, const SQChar *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vfprintf(stderr, fmt, ap);
  va_end(ap);
}

bool read_file(const char *path, std::string &out) {
  FILE *f = fopen(path, "rb");
  if (!f) return false;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  fclose(f);
  return true;
}
}  // namespace

int main(int argc, char **argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s FILE [ARGS...]\n", argv[0]);
    return 2;
  }
  std::string source;
  if (!read_file(argv[1], source)) {
    fprintf(stderr, "sq: cannot open '%s'\n", argv[1]);
    return 2;
  }
  // A leading "#!" line is a shell interpreter line; '#' starts a comment anyway.
  HSQUIRRELVM v = sq_open(1024);
  sq_setprintfunc(v, print_out, print_err);
  sq_pushroottable(v);
  sqstd_register_mathlib(v);
  sqstd_register_stringlib(v);
  sq_pop(v, 1);
  sqstd_seterrorhandlers(v);

  int status = 0;
  if (SQ_FAILED(sq_compilebuffer(v, source.data(), (SQInteger)source.size(), argv[1], SQTrue))) {
    status = 1;
  } else {
    sq_pushroottable(v);
    for (int i = 2; i < argc; i++) sq_pushstring(v, argv[i], -1);
    if (SQ_FAILED(sq_call(v, argc - 1, SQFalse, SQTrue))) status = 1;
    sq_pop(v, 1);
  }
  fflush(stdout);
  sq_close(v);
  return status;
}
