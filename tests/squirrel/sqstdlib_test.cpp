// The standard libraries through their C entry points and the edge cases the conformance
// scripts do not reach: sqstd_format from a host function, the sqstd_rex_* functions, zero
// bytes inside strings, integer edge values and regexp instances misused from scripts.
#include "squirrel/sqtest_util.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using sqtest::Vm;

SQInteger host_format(HSQUIRRELVM v)
{
    SQChar* out = nullptr;
    SQInteger len = 0;
    if (SQ_FAILED(sqstd_format(v, 2, &len, &out)))
        return SQ_ERROR;
    std::string wrapped = "<";
    wrapped.append(out, size_t(len));
    wrapped += '>';
    sq_pushstring(v, wrapped.data(), SQInteger(wrapped.size()));
    return 1;
}

TEST(SqStdFormat, HostFunctionsFormatLikeTheScriptFunction)
{
    Vm vm;
    sq_pushroottable(vm.v);
    sq_pushstring(vm.v, "hostfmt", -1);
    sq_newclosure(vm.v, host_format, 0);
    sq_newslot(vm.v, -3, SQFalse);
    sq_poptop(vm.v);
    std::string err;
    ASSERT_TRUE(vm.run("print(hostfmt(\"%s=%5.2f|%-4d|%x\", \"k\", 2.5, 7, 255));", &err)) << err;
    EXPECT_EQ(vm.cap.out, "<k= 2.50|7   |ff>");
    EXPECT_FALSE(vm.run("hostfmt(\"%d\", \"x\");", &err));
    EXPECT_EQ(err, "integer expected for the specified format");
}

TEST(SqStdFormat, StringsWithZeroBytesAndExtremeValues)
{
    Vm vm;
    std::string err;
    ASSERT_TRUE(vm.run("local s = format(\"[%s]\", \"a\\x00b\"); print(s.len() + \" \" + (s[2] == 0));", &err))
        << err;
    EXPECT_EQ(vm.cap.out, "5 true");
    vm.cap.out.clear();
    ASSERT_TRUE(vm.run("print(format(\"%d %d %c|\", 1e30, -1e30, 0).len());", &err)) << err;
    EXPECT_EQ(vm.cap.out, "25");
    vm.cap.out.clear();
    ASSERT_TRUE(vm.run("print(format(\"%99.99f\", 3.0e38).len());", &err)) << err;
    EXPECT_EQ(vm.cap.out, "139");
    vm.cap.out.clear();
    ASSERT_TRUE(vm.run("print(format(\"%\" + \"s%%\", \"x\"));", &err)) << err;
    EXPECT_EQ(vm.cap.out, "x%");
    EXPECT_FALSE(vm.run("format(\"abc%\", 1);", &err));
    EXPECT_EQ(err, "invalid format");
}

TEST(SqStdString, SplitSkipEmptyAndZeroBytes)
{
    Vm vm;
    std::string err;
    ASSERT_TRUE(vm.run("print(split(\",a,,b,\", \",\", true).len() + \" \" + split(\"a\\x00b\", \"\\x00\").len());",
                       &err))
        << err;
    EXPECT_EQ(vm.cap.out, "2 2");
    vm.cap.out.clear();
    ASSERT_TRUE(vm.run("print(strip(\"\\x00 x \\x00\").len() + \" \" + escape(\"\\x00\\xff\"));", &err)) << err;
    EXPECT_EQ(vm.cap.out, "5 \\x00\\xff");
}

TEST(SqStdMath, AbsAndRandEdgeCases)
{
    Vm vm;
    std::string err;
    ASSERT_TRUE(vm.run("print(abs(-2147483647 - 1) + \" \" + abs(-1e20) + \" \" + abs(1e20));", &err)) << err;
    EXPECT_EQ(vm.cap.out, "-2147483648 2147483647 2147483647");
    vm.cap.out.clear();
    ASSERT_TRUE(vm.run("srand(5); local a = rand(); srand(5); print(a == rand());", &err)) << err;
    EXPECT_EQ(vm.cap.out, "true");
}

TEST(SqStdRegexp, ScriptClassRejectsMisuse)
{
    Vm vm;
    std::string err;
    EXPECT_FALSE(vm.run("regexp(\"a\").search(\"abc\", -1);", &err));
    EXPECT_EQ(err, "invalid starting position");
    // a method called on an instance of another class must not read its user pointer
    EXPECT_FALSE(vm.run("class Fake {} regexp.search.call(Fake(), \"abc\");", &err));
    // a start at or past the end finds nothing
    ASSERT_TRUE(vm.run("print(regexp(\"b\").search(\"abc\", 3) == null);", &err)) << err;
    ASSERT_TRUE(vm.run("print(regexp(\"a\").search(\"abc\", 4) == null);", &err)) << err;
    ASSERT_TRUE(vm.run("print(regexp(\"a\").capture(\"abc\", 1e9) == null);", &err)) << err;
    EXPECT_EQ(vm.cap.out, "truetruetrue");
    vm.cap.out.clear();
    // many short-lived instances: each frees its compiled program (checked under ASan)
    ASSERT_TRUE(vm.run("for (local i = 0; i < 1000; i++) regexp(\"(a|b)*c\" + i).match(\"abc\" + i);", &err))
        << err;
    ASSERT_TRUE(vm.run("print(regexp(\"x\\x00y\").search(\"ax\\x00yb\").begin);", &err)) << err;
    EXPECT_EQ(vm.cap.out, "1");
    vm.cap.out.clear();
    // a clone owns its own copy of the program: dropping either leaves the other working
    ASSERT_TRUE(vm.run("local r = regexp(\"(b+)\"); local c = clone r; r = null;"
                       "print(c.capture(\"abbc\")[1].end + \" \" + c.subexpcount());",
                       &err))
        << err;
    EXPECT_EQ(vm.cap.out, "3 2");
}

TEST(SqStdRegexp, CApiCompilesSearchesAndReportsCaptures)
{
    const SQChar* error = nullptr;
    EXPECT_EQ(sqstd_rex_compile("a{", &error), nullptr);
    EXPECT_STREQ(error, "number expected");

    SQRex* rex = sqstd_rex_compile("(\\w+)=(\\d+)?", &error);
    ASSERT_NE(rex, nullptr);
    EXPECT_EQ(sqstd_rex_getsubexpcount(rex), 3);
    const char* text = "  key=12 ";
    const SQChar *b = nullptr, *e = nullptr;
    ASSERT_TRUE(sqstd_rex_search(rex, text, &b, &e));
    EXPECT_EQ(b, text + 2);
    EXPECT_EQ(e, text + 8);
    SQRexMatch m;
    ASSERT_TRUE(sqstd_rex_getsubexp(rex, 1, &m));
    EXPECT_EQ(std::string(m.begin, size_t(m.len)), "key");
    ASSERT_TRUE(sqstd_rex_getsubexp(rex, 2, &m));
    EXPECT_EQ(std::string(m.begin, size_t(m.len)), "12");
    EXPECT_FALSE(sqstd_rex_getsubexp(rex, 3, &m));

    ASSERT_TRUE(sqstd_rex_search(rex, "x=", &b, &e));
    ASSERT_TRUE(sqstd_rex_getsubexp(rex, 2, &m));
    EXPECT_EQ(m.begin, nullptr);
    EXPECT_EQ(m.len, 0);

    // searchrange stops at text_end and anchors ^ at text_begin
    const char* range = "ab=1cd=2";
    ASSERT_TRUE(sqstd_rex_searchrange(rex, range, range + 3, &b, &e));
    EXPECT_EQ(e, range + 3);
    ASSERT_TRUE(sqstd_rex_searchrange(rex, range + 4, range + 8, &b, &e));
    EXPECT_EQ(b, range + 4);
    EXPECT_TRUE(sqstd_rex_match(rex, "abc=123"));
    EXPECT_FALSE(sqstd_rex_match(rex, "abc=123 "));
    sqstd_rex_free(rex);

    SQRex* anchored = sqstd_rex_compile("^cd", &error);
    ASSERT_NE(anchored, nullptr);
    EXPECT_TRUE(sqstd_rex_searchrange(anchored, range + 4, range + 8, &b, &e));
    sqstd_rex_free(anchored);
}

}  // namespace
