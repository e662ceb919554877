// BaseObject: destroy queues once, deletion detaches the script instance and
// kills weak references, the base push refuses.
#include "script/baseObject.h"

#include <gtest/gtest.h>

#include "script/script_test_util.h"

namespace {

struct Probe : BaseObject {
  int destroyCalls = 0;
  int queuedAtOnDestroy = -1;
  void onDestroy() override {
    destroyCalls++;
    queuedAtOnDestroy = deleted_gameobjs.indexOf(this);
  }
  void push(HSQUIRRELVM v) override {
    if (!scriptObject.isNull()) {
      scriptObject.push(v);
      return;
    }
    sqbind::push_instance(v, static_cast<BaseObject*>(this), sqbind::class_tag<BaseObject>(), "Probe", nullptr);
    scriptObject = SqObject::fromStack(v, -1);
  }
};

class BaseObjectTest : public ScriptTest {
protected:
  void SetUp() override {
    ScriptTest::SetUp();
    deleted_gameobjs.clear();
    SqObject cls = sqbind::create_class(vm, "Probe", nullptr, sqbind::class_tag<BaseObject>());
    // Any bound method shows whether the instance still has its native object.
    sqbind::register_method(vm, cls, "hit", &BaseObject::queryFlags);
  }
  void TearDown() override {
    deleted_gameobjs.clear();
    ScriptTest::TearDown();
  }
};

TEST_F(BaseObjectTest, ANewObjectIsEmpty) {
  Probe p;
  EXPECT_TRUE(p.scriptObject.isNull());
  EXPECT_EQ(p.destroyed, 0);
  EXPECT_EQ(p.serialId, 0);
  EXPECT_STREQ(p.getClassName(), "BaseObject");
  EXPECT_EQ(p.query(3), 0);
  EXPECT_EQ(p.queryFlags(), 0);
}

TEST_F(BaseObjectTest, DestroyQueuesOnceAndCallsOnDestroyAfterQueuing) {
  Probe p;
  p.destroy();
  p.destroy();
  EXPECT_EQ(p.destroyed, 1);
  EXPECT_EQ(p.destroyCalls, 1);
  EXPECT_EQ(p.queuedAtOnDestroy, 0);
  ASSERT_EQ(deleted_gameobjs.num, 1);
  EXPECT_EQ(deleted_gameobjs[0], &p);
}

TEST_F(BaseObjectTest, TheBasePushRefuses) {
  BaseObject o;
  SQInteger top = sq_gettop(vm);
  try {
    o.push(vm);
    FAIL();
  } catch (const SquirrelError& e) {
    EXPECT_STREQ(e.what(), "Can't push BaseObject to script");
  }
  EXPECT_EQ(sq_gettop(vm), top);
}

TEST_F(BaseObjectTest, WeakReferencesLiveThroughDestroyAndDieWithTheObject) {
  Probe* p = new Probe;
  WeakRef<Probe> ref(p);
  p->destroy();
  EXPECT_EQ(ref.get(), p);
  delete p;
  EXPECT_EQ(ref.get(), nullptr);
}

TEST_F(BaseObjectTest, DeletingDetachesTheScriptInstance) {
  Probe* p = new Probe;
  p->push(vm);
  SqObject held = SqObject::fromStack(vm, -1);
  sq_poptop(vm);
  sq_pushroottable(vm);
  sq_pushstring(vm, "probe", -1);
  held.push(vm);
  sq_newslot(vm, -3, SQFalse);
  sq_poptop(vm);
  EXPECT_TRUE(run("probe.hit();"));
  delete p;
  EXPECT_FALSE(run("probe.hit();"));
  EXPECT_EQ(lastError(), "invalid 'this' in C++ method call");
  EXPECT_TRUE(evalBool("probe instanceof Probe"));
}

TEST_F(BaseObjectTest, AScriptObjectHeldWeaklyIsDetachedToo) {
  Probe* p = new Probe;
  p->push(vm);
  SqObject strong = SqObject::fromStack(vm, -1);
  sq_weakref(vm, -1);
  p->scriptObject = SqObject::fromStack(vm, -1);
  sq_pop(vm, 2);
  delete p;
  strong.push(vm);
  SQUserPointer up = (SQUserPointer)1;
  sq_getinstanceup(vm, -1, &up, nullptr);
  sq_poptop(vm);
  EXPECT_EQ(up, nullptr);

  // An instance that died first leaves nothing to detach.
  Probe* q = new Probe;
  q->push(vm);
  sq_weakref(vm, -1);
  q->scriptObject = SqObject::fromStack(vm, -1);
  sq_pop(vm, 2);
  sq_collectgarbage(vm);
  delete q;
}

} // namespace
