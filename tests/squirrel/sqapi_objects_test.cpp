// The C API around objects: classes with type tags, instances with user pointers and release
// hooks, the registry, weak references, iteration with sq_next and the cycle collector.
#include "squirrel/sqtest_util.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

using sqtest::Vm;

int g_released = 0;
SQUserPointer g_released_ptr = nullptr;

SQInteger count_release(SQUserPointer p, SQInteger)
{
    ++g_released;
    g_released_ptr = p;
    return 1;
}

const int kTagA = 0, kTagB = 0;
SQUserPointer tag_a() { return SQUserPointer(&kTagA); }
SQUserPointer tag_b() { return SQUserPointer(&kTagB); }

// Pushes a new class with the given type tag and registers it in the root table as `name`.
void make_class(HSQUIRRELVM v, const char* name, SQUserPointer tag, bool has_base = false)
{
    sq_pushroottable(v);
    sq_pushstring(v, name, -1);
    if (has_base) {
        sq_push(v, -3);  // the base class sits just below the root table
    }
    sq_newclass(v, has_base ? SQTrue : SQFalse);
    sq_settypetag(v, -1, tag);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);
}

TEST(SqApiClasses, TypeTagsGuardInstanceUserPointers)
{
    Vm vm;
    HSQUIRRELVM v = vm.v;
    make_class(v, "A", tag_a());
    sq_pushroottable(v);
    sq_pushstring(v, "A", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    make_class(v, "B", tag_b(), true);  // B extends A
    sq_pop(v, 2);

    sq_pushroottable(v);
    sq_pushstring(v, "B", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    SQUserPointer tag = nullptr;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_gettypetag(v, -1, &tag)));
    EXPECT_EQ(tag, tag_b());
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getbase(v, -1)));
    ASSERT_TRUE(SQ_SUCCEEDED(sq_gettypetag(v, -1, &tag)));
    EXPECT_EQ(tag, tag_a());
    sq_poptop(v);

    int payload = 7;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_createinstance(v, -1)));
    ASSERT_TRUE(SQ_SUCCEEDED(sq_setinstanceup(v, -1, &payload)));
    SQUserPointer up = nullptr;
    EXPECT_TRUE(SQ_SUCCEEDED(sq_getinstanceup(v, -1, &up, tag_b())));
    EXPECT_EQ(up, &payload);
    // a base class's tag also matches; an unrelated tag does not
    up = nullptr;
    EXPECT_TRUE(SQ_SUCCEEDED(sq_getinstanceup(v, -1, &up, tag_a())));
    EXPECT_EQ(up, &payload);
    int other = 0;
    EXPECT_TRUE(SQ_FAILED(sq_getinstanceup(v, -1, &up, SQUserPointer(&other))));
    // no tag: no check
    EXPECT_TRUE(SQ_SUCCEEDED(sq_getinstanceup(v, -1, &up, nullptr)));

    // sq_instanceof and sq_getclass agree with the hierarchy
    sq_pushroottable(v);
    sq_pushstring(v, "A", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    sq_remove(v, -2);
    EXPECT_TRUE(sq_instanceof(v));
    sq_poptop(v);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getclass(v, -1)));
    EXPECT_EQ(sq_gettype(v, -1), OT_CLASS);
    sq_settop(v, 0);
}

TEST(SqApiClasses, ReleaseHookRunsExactlyOnce)
{
    g_released = 0;
    int payload = 1;
    {
        Vm vm;
        HSQUIRRELVM v = vm.v;
        make_class(v, "Thing", tag_a());
        ASSERT_TRUE(vm.run("keep <- null;"));
        sq_pushroottable(v);
        sq_pushstring(v, "Thing", -1);
        ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
        ASSERT_TRUE(SQ_SUCCEEDED(sq_createinstance(v, -1)));
        sq_setinstanceup(v, -1, &payload);
        sq_setreleasehook(v, -1, count_release);
        EXPECT_EQ(sq_getreleasehook(v, -1), count_release);
        // hand the only reference to a script variable, then drop it
        sq_pushstring(v, "keep", -1);
        sq_push(v, -2);
        ASSERT_TRUE(SQ_SUCCEEDED(sq_set(v, -5)));
        sq_settop(v, 0);
        EXPECT_EQ(g_released, 0);
        ASSERT_TRUE(vm.run("keep = null;"));
        EXPECT_EQ(g_released, 1);
        EXPECT_EQ(g_released_ptr, &payload);
    }
    EXPECT_EQ(g_released, 1) << "closing the VM must not release it again";
}

TEST(SqApiClasses, ReleaseHookOfInstanceInACycleRunsOnceOnCollect)
{
    g_released = 0;
    Vm vm;
    HSQUIRRELVM v = vm.v;
    make_class(v, "Node", tag_a());
    ASSERT_TRUE(vm.run("Node.next <- null; function mk() { return Node(); }"));
    sq_pushroottable(v);
    sq_pushstring(v, "mk", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    sq_pushroottable(v);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_call(v, 1, SQTrue, SQTrue)));
    sq_setreleasehook(v, -1, count_release);
    // instance.next = instance: a self cycle that reference counting alone cannot free
    sq_pushstring(v, "next", -1);
    sq_push(v, -2);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_set(v, -3)));
    sq_settop(v, 0);
    EXPECT_EQ(g_released, 0);
    EXPECT_GE(sq_collectgarbage(v), 1);
    EXPECT_EQ(g_released, 1);
    EXPECT_EQ(sq_collectgarbage(v), 0);
    EXPECT_EQ(g_released, 1);
}

TEST(SqApiClasses, UserdataReleaseHookGetsItsSize)
{
    g_released = 0;
    {
        Vm vm;
        SQUserPointer p = sq_newuserdata(vm.v, 24);
        ASSERT_NE(p, nullptr);
        sq_settypetag(vm.v, -1, tag_a());
        sq_setreleasehook(vm.v, -1, count_release);
        SQUserPointer got = nullptr, tag = nullptr;
        ASSERT_TRUE(SQ_SUCCEEDED(sq_getuserdata(vm.v, -1, &got, &tag)));
        EXPECT_EQ(got, p);
        EXPECT_EQ(tag, tag_a());
        sq_poptop(vm.v);
        EXPECT_EQ(g_released, 1);
    }
    EXPECT_EQ(g_released, 1);
}

TEST(SqApiTables, RegistryIsSeparateFromTheRootTable)
{
    Vm vm;
    HSQUIRRELVM v = vm.v;
    sq_pushregistrytable(v);
    sq_pushstring(v, "secret", -1);
    sq_pushinteger(v, 99);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_newslot(v, -3, SQFalse)));
    sq_poptop(v);
    std::string err;
    EXPECT_FALSE(vm.run("return secret;", &err));
    EXPECT_NE(err.find("secret"), std::string::npos) << err;

    sq_pushregistrytable(v);
    sq_pushstring(v, "secret", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_rawget(v, -2)));
    SQInteger i = 0;
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getinteger(v, -1, &i)));
    EXPECT_EQ(i, 99);
    sq_settop(v, 0);
}

TEST(SqApiTables, NextIteratesTablesAndArrays)
{
    Vm vm;
    HSQUIRRELVM v = vm.v;
    ASSERT_TRUE(vm.run("t <- {a = 1, b = 2, c = 3}; arr <- [10, 20, 30];"));
    sq_pushroottable(v);
    sq_pushstring(v, "t", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    std::map<std::string, SQInteger> seen;
    sq_pushnull(v);
    while (SQ_SUCCEEDED(sq_next(v, -2))) {
        const SQChar* k = nullptr;
        SQInteger val = 0;
        ASSERT_TRUE(SQ_SUCCEEDED(sq_getstring(v, -2, &k)));
        ASSERT_TRUE(SQ_SUCCEEDED(sq_getinteger(v, -1, &val)));
        seen[k] = val;
        sq_pop(v, 2);
    }
    sq_poptop(v);  // the iterator
    EXPECT_EQ(seen, (std::map<std::string, SQInteger>{{"a", 1}, {"b", 2}, {"c", 3}}));
    sq_poptop(v);

    sq_pushstring(v, "arr", -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_get(v, -2)));
    std::string order;
    sq_pushnull(v);
    while (SQ_SUCCEEDED(sq_next(v, -2))) {
        SQInteger k = -1, val = 0;
        sq_getinteger(v, -2, &k);
        sq_getinteger(v, -1, &val);
        order += std::to_string(k) + "=" + std::to_string(val) + " ";
        sq_pop(v, 2);
    }
    EXPECT_EQ(order, "0=10 1=20 2=30 ");
    sq_settop(v, 0);
}

TEST(SqApiWeakRefs, WeakReferenceDiesWithItsTarget)
{
    Vm vm;
    HSQUIRRELVM v = vm.v;
    sq_newtable(v);
    sq_weakref(v, -1);
    ASSERT_EQ(sq_gettype(v, -1), OT_WEAKREF);
    HSQOBJECT weak;
    sq_resetobject(&weak);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getstackobj(v, -1, &weak)));
    sq_addref(v, &weak);
    sq_settop(v, 0);  // the table's last strong reference goes

    sq_pushobject(v, weak);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getweakrefval(v, -1)));
    EXPECT_EQ(sq_gettype(v, -1), OT_NULL);
    sq_settop(v, 0);
    sq_release(v, &weak);

    // a live target is reachable through the weak reference
    sq_newarray(v, 3);
    sq_weakref(v, -1);
    ASSERT_TRUE(SQ_SUCCEEDED(sq_getweakrefval(v, -1)));
    EXPECT_EQ(sq_gettype(v, -1), OT_ARRAY);
    EXPECT_EQ(sq_getsize(v, -1), 3);
    sq_settop(v, 0);

    // weak references to plain values are the values themselves
    sq_pushinteger(v, 5);
    sq_weakref(v, -1);
    EXPECT_EQ(sq_gettype(v, -1), OT_INTEGER);
    sq_settop(v, 0);
}

TEST(SqApiRefs, AddrefKeepsObjectsAliveUntilReleased)
{
    g_released = 0;
    Vm vm;
    HSQUIRRELVM v = vm.v;
    sq_newuserdata(v, 8);
    sq_setreleasehook(v, -1, count_release);
    HSQOBJECT o;
    sq_resetobject(&o);
    sq_getstackobj(v, -1, &o);
    sq_addref(v, &o);
    sq_addref(v, &o);
    sq_settop(v, 0);
    EXPECT_EQ(sq_getrefcount(v, &o), 2u);
    EXPECT_FALSE(sq_release(v, &o));
    EXPECT_EQ(g_released, 0);
    EXPECT_TRUE(sq_release(v, &o));
    EXPECT_EQ(g_released, 1);
}

TEST(SqApiGc, CollectGarbageCountsFreedCycleObjects)
{
    Vm vm;
    HSQUIRRELVM v = vm.v;
    sq_collectgarbage(v);
    ASSERT_TRUE(vm.run("local a = {}, b = {}; a.other <- b; b.other <- a;"));
    EXPECT_EQ(sq_collectgarbage(v), 2);
    ASSERT_TRUE(vm.run("local arr = []; arr.append(arr);"));
    EXPECT_EQ(sq_collectgarbage(v), 1);
    // acyclic garbage is freed by reference counting, reachable cycles stay
    ASSERT_TRUE(vm.run("local x = {}; keep <- {}; keep.self <- keep;"));
    EXPECT_EQ(sq_collectgarbage(v), 0);
    ASSERT_TRUE(vm.run("return keep.self == keep;"));
    ASSERT_TRUE(vm.run("delete keep;"));
    EXPECT_EQ(sq_collectgarbage(v), 1);
}

}  // namespace
