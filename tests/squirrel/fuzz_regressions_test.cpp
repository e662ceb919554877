// Replays every input the fuzzer once broke the runtime with (tests/squirrel/fuzz_regressions/):
// each must compile and run, or fail with a script error, without crashing. Under the
// sanitizer build (RUNEHOLM_SANITIZE) leaks and memory errors fail the run as well.
#include "squirrel/sqlib_internal.h"
#include "squirrel/sqtest_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

TEST(SqFuzzRegressions, EveryReproducerEndsCleanly)
{
    fs::path source = __FILE__;
    // A compiler cache may record the path relative to the build folder,
    // which holds the test programs in tests/.
    if (source.is_relative())
        source = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / source;
    const fs::path dir = source.parent_path() / "fuzz_regressions";
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file())
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty()) << "no reproducers in " << dir;
    for (const fs::path& f : files) {
        SCOPED_TRACE(f.filename().string());
        std::ifstream in(f, std::ios::binary);
        std::ostringstream src;
        src << in.rdbuf();
        sqtest::Vm vm(true);
        // the same limits as the fuzzer, so endless loops end as script errors
        sqi_set_step_limit(vm.v, 300000);
        sqi_set_memory_limit(vm.v, 256u << 20);
        std::string err;
        vm.run(src.str(), &err);
        sq_collectgarbage(vm.v);
    }
}

}  // namespace
