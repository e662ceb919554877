// The rest of the C API a host binding leans on: attributes, bindenv, comparisons, delegates,
// array operations, member handles, threads driven from C, and stack bookkeeping.
#include "squirrel/sqtest_util.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using sqtest::Vm;

// Pushes root[name].
bool push_global(HSQUIRRELVM v, const char* name)
{
    sq_pushroottable(v);
    sq_pushstring(v, name, -1);
    bool ok = SQ_SUCCEEDED(sq_get(v, -2));
    sq_remove(v, ok ? -2 : -1);
    return ok;
}

std::string top_string(HSQUIRRELVM v)
{
    const SQChar* s = nullptr;
    if (SQ_FAILED(sq_getstring(v, -1, &s)))
        return "<not a string>";
    return s;
}

TEST(SqApiAttributes, ClassAndMemberAttributesRoundTrip)
{
    Vm vm;
    HSQUIRRELVM v = vm.v;
    std::string err;
    ASSERT_TRUE(vm.run("class Unit </ kind = \"npc\" /> { </ max = 100 /> hp = 10; }", &err)) << err;
    ASSERT_TRUE(push_global(v, "Unit"));
    sq_pushnull(v);  // the class itself
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getattributes(v, -2)));
    sq_pushstring(v, "kind", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    EXPECT_EQ(top_string(v), "npc");
    sq_pop(v, 2);

    sq_pushstring(v, "hp", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getattributes(v, -2)));
    sq_pushstring(v, "max", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    SQInteger max = 0;
    sq_getinteger(v, -1, &max);
    EXPECT_EQ(max, 100);
    sq_pop(v, 2);

    // replace the member's attributes from C and read them back from a script
    sq_pushstring(v, "hp", -1);
    sq_pushstring(v, "from C", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_setattributes(v, -3)));
    sq_settop(v, 0);
    ASSERT_TRUE(vm.run("print(Unit.getattributes(\"hp\"));", &err)) << err;
    EXPECT_EQ(vm.cap.out, "from C");

    // a missing member is an error, not a crash
    ASSERT_TRUE(push_global(v, "Unit"));
    sq_pushstring(v, "nope", -1);
    EXPECT_TRUE(SQ_FAILED(sq_getattributes(v, -2)));
    sq_settop(v, 0);
}

TEST(SqApiClosures, BindEnvFixesThis)
{
    Vm vm;
    HSQUIRRELVM v = vm.v;
    std::string err;
    ASSERT_TRUE(vm.run("function who() { return this.name; } env <- { name = \"bound\" };", &err)) << err;
    ASSERT_TRUE(push_global(v, "who"));
    ASSERT_TRUE(push_global(v, "env"));
    ASSERT_TRUE(SQ_SUCCEEDED(sq_bindenv(v, -2)));
    // the bound copy ignores the 'this' passed by the caller
    sq_pushroottable(v);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQTrue)));
    EXPECT_EQ(top_string(v), "bound");
    sq_settop(v, 0);
}

TEST(SqApiValues, CompareAndConvert)
{
    Vm vm;
    HSQUIRRELVM v = vm.v;
    sq_pushinteger(v, 3);
    sq_pushfloat(v, 2.5f);
    EXPECT_GT(sq_cmp(v), 0);
    sq_settop(v, 0);
    sq_pushstring(v, "abc", -1);
    sq_pushstring(v, "abd", -1);
    EXPECT_LT(sq_cmp(v), 0);
    sq_settop(v, 0);

    sq_pushfloat(v, 2.5f);
    SQInteger i = 0;
    EXPECT_TRUE(SQ_SUCCEEDED(sq_getinteger(v, -1, &i)));
    EXPECT_EQ(i, 2);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_tostring(v, -1)));
    EXPECT_EQ(top_string(v), "2.5");
    sq_settop(v, 0);

    SQBool b = SQTrue;
    sq_pushnull(v);
    sq_tobool(v, -1, &b);
    EXPECT_FALSE(b);
    sq_pushstring(v, "", 0);
    sq_tobool(v, -1, &b);
    EXPECT_TRUE(b) << "every string is true, even the empty one";
    const SQChar* s = nullptr;
    EXPECT_TRUE(SQ_FAILED(sq_getstring(v, -2, &s)));
    sq_settop(v, 0);

    // sq_tostring honours _tostring
    std::string err;
    ASSERT_TRUE(vm.run("class P { function _tostring() { return \"P!\"; } } p <- P();", &err)) << err;
    ASSERT_TRUE(push_global(v, "p"));
    ASSERT_TRUE(SQ_SUCCEEDED(sq_tostring(v, -1)));
    EXPECT_EQ(top_string(v), "P!");
    ASSERT_TRUE(SQ_SUCCEEDED(sq_typeof(v, -2)));
    EXPECT_EQ(top_string(v), "instance");
    sq_settop(v, 0);
}

TEST(SqApiTables, DelegatesAndRawAccess)
{
    Vm vm;
    HSQUIRRELVM v = vm.v;
    sq_newtable(v);
    sq_newtable(v);  // the delegate
    sq_pushstring(v, "fallback", -1);
    sq_pushinteger(v, 5);
    sq_newslot(v, -3, SQFalse);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_setdelegate(v, -2)));
    sq_pushstring(v, "fallback", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    SQInteger n = 0;
    sq_getinteger(v, -1, &n);
    EXPECT_EQ(n, 5);
    sq_poptop(v);
    sq_pushstring(v, "fallback", -1);
    EXPECT_TRUE(SQ_FAILED(sq_rawget(v, -2))) << "raw access skips the delegate";
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getdelegate(v, -1)));
    EXPECT_EQ(sq_gettype(v, -1), OT_TABLE);
    sq_settop(v, 1);

    // delete with and without the old value
    sq_pushstring(v, "k", -1);
    sq_pushinteger(v, 1);
    sq_newslot(v, -3, SQFalse);
    EXPECT_EQ(sq_getsize(v, -1), 1);
    sq_pushstring(v, "k", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_deleteslot(v, -2, SQTrue)));
    sq_getinteger(v, -1, &n);
    EXPECT_EQ(n, 1);
    sq_poptop(v);
    EXPECT_EQ(sq_getsize(v, -1), 0);
    sq_pushstring(v, "k", -1);
    EXPECT_TRUE(SQ_FAILED(sq_deleteslot(v, -2, SQFalse)));
    sq_settop(v, 0);
}

TEST(SqApiArrays, EditingFromC)
{
    Vm vm;
    HSQUIRRELVM v = vm.v;
    sq_newarray(v, 0);
    for (SQInteger i = 1; i <= 4; ++i) {
        sq_pushinteger(v, i * 10);
        ASSERT_TRUE(SQ_SUCCEEDED(sq_arrayappend(v, -2)));
    }
    sq_pushinteger(v, 5);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_arrayinsert(v, -2, 0)));
    ASSERT_TRUE(SQ_SUCCEEDED(sq_arrayremove(v, -1, 2)));
    ASSERT_TRUE(SQ_SUCCEEDED(sq_arrayreverse(v, -1)));
    ASSERT_TRUE(SQ_SUCCEEDED(sq_arraypop(v, -1, SQTrue)));
    SQInteger popped = 0;
    sq_getinteger(v, -1, &popped);
    EXPECT_EQ(popped, 5);
    sq_poptop(v);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_arrayresize(v, -1, 4)));
    EXPECT_EQ(sq_getsize(v, -1), 4);
    std::string seen;
    for (SQInteger i = 0; i < 4; ++i) {
        sq_pushinteger(v, i);
        ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
        SQInteger x = -1;
        if (sq_gettype(v, -1) == OT_NULL)
            seen += "null ";
        else {
            sq_getinteger(v, -1, &x);
            seen += std::to_string(x) + " ";
        }
        sq_poptop(v);
    }
    EXPECT_EQ(seen, "40 30 10 null ");
    // out-of-range edits fail instead of writing outside the array
    EXPECT_TRUE(SQ_FAILED(sq_arrayremove(v, -1, 10)));
    sq_pushinteger(v, 1);
    EXPECT_TRUE(SQ_FAILED(sq_arrayinsert(v, -2, 99)));
    sq_settop(v, 1);
    EXPECT_TRUE(SQ_FAILED(sq_arrayresize(v, -1, -1)));
    sq_pushinteger(v, 99);
    EXPECT_TRUE(SQ_FAILED(sq_get(v, -2)));
    sq_settop(v, 0);
}

TEST(SqApiThreads, SuspendAndWakeUpFromC)
{
    Vm vm;
    HSQUIRRELVM v = vm.v;
    std::string err;
    ASSERT_TRUE(vm.run("function worker(a) { local got = suspend(a + 1); print(\"got \" + got); return got * 2; }",
                       &err))
        << err;
    HSQUIRRELVM t = sq_newthread(v, 256);
    ASSERT_NE(t, nullptr);
    HSQOBJECT thread_obj;
    sq_resetobject(&thread_obj);
    sq_getstackobj(v, -1, &thread_obj);
    sq_addref(v, &thread_obj);
    sq_poptop(v);

    ASSERT_TRUE(push_global(t, "worker"));
    sq_pushroottable(t);
    sq_pushinteger(t, 41);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(t, 2, SQTrue, SQTrue)));
    EXPECT_EQ(sq_getvmstate(t), SQ_VMSTATE_SUSPENDED);
    SQInteger yielded = 0;
    sq_getinteger(t, -1, &yielded);
    EXPECT_EQ(yielded, 42);
    sq_poptop(t);

    sq_pushinteger(t, 7);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_wakeupvm(t, SQTrue, SQTrue, SQTrue, SQFalse)));
    EXPECT_EQ(sq_getvmstate(t), SQ_VMSTATE_IDLE);
    SQInteger result = 0;
    sq_getinteger(t, -1, &result);
    EXPECT_EQ(result, 14);
    EXPECT_EQ(vm.cap.out, "got 7");
    sq_release(v, &thread_obj);
}

TEST(SqApiStack, TopMoveAndRemoveKeepOrder)
{
    Vm vm;
    HSQUIRRELVM v = vm.v;
    EXPECT_EQ(sq_gettop(v), 0);
    for (SQInteger i = 1; i <= 5; ++i)
        sq_pushinteger(v, i);
    sq_remove(v, 2);   // 1 3 4 5
    sq_push(v, 1);     // 1 3 4 5 1
    sq_settop(v, 3);   // 1 3 4
    sq_pushnull(v);
    sq_settop(v, 6);   // grows with nulls
    EXPECT_EQ(sq_gettype(v, -1), OT_NULL);
    sq_settop(v, 3);
    std::string seen;
    for (SQInteger i = 1; i <= sq_gettop(v); ++i) {
        SQInteger x = 0;
        sq_getinteger(v, i, &x);
        seen += std::to_string(x);
    }
    EXPECT_EQ(seen, "134");

    HSQUIRRELVM other = sq_newthread(v, 64);
    sq_move(other, v, 2);
    SQInteger moved = 0;
    sq_getinteger(other, -1, &moved);
    EXPECT_EQ(moved, 3);
    sq_settop(v, 0);
}

TEST(SqApiClasses, MemberHandlesReadAndWriteFields)
{
    Vm vm;
    HSQUIRRELVM v = vm.v;
    std::string err;
    ASSERT_TRUE(vm.run("class Pos { x = 1; y = 2; static origin = \"o\"; } p <- Pos();", &err)) << err;
    ASSERT_TRUE(push_global(v, "Pos"));
    HSQMEMBERHANDLE hy, horigin;
    sq_pushstring(v, "y", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getmemberhandle(v, -2, &hy)));
    sq_pushstring(v, "origin", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getmemberhandle(v, -2, &horigin)));
    sq_pushstring(v, "nothing", -1);
    HSQMEMBERHANDLE hbad;
    EXPECT_TRUE(SQ_FAILED(sq_getmemberhandle(v, -2, &hbad)));
    sq_settop(v, 0);

    ASSERT_TRUE(push_global(v, "p"));
    sq_pushinteger(v, 20);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_setbyhandle(v, -2, &hy)));
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getbyhandle(v, -1, &horigin)));
    EXPECT_EQ(top_string(v), "o");
    sq_settop(v, 0);
    ASSERT_TRUE(vm.run("print(p.x + \",\" + p.y);", &err)) << err;
    EXPECT_EQ(vm.cap.out, "1,20");
}

}  // namespace
