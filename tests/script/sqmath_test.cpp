// Script math and colour types: vec4f and its operators, the vector
// functions, the random generator's exact draws, colour conversions and
// the ramp classes with their dump format.
#include "script/sqMath.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "core/app_globals.h"
#include "script/script_test_util.h"

namespace {

class SqMathTest : public ScriptTest {
protected:
  void SetUp() override {
    ScriptTest::SetUp();
    register_script_math(vm);
  }

  // The components of a vec4f-valued expression.
  Vec4f vec(const std::string& expr) {
    SqObject o = eval(expr);
    EXPECT_EQ(o.type(), OT_INSTANCE) << expr;
    if (o.type() != OT_INSTANCE) return Vec4f{-999, -999, -999, -999};
    o.push(vm);
    Vec4f r = sqbind::getInst<SqVec4f>(vm, -1)->v;
    sq_poptop(vm);
    return r;
  }
  void expectVec(const std::string& expr, float x, float y, float z, float w, float tolerance = 0) {
    Vec4f v = vec(expr);
    EXPECT_NEAR(v.x, x, tolerance) << expr;
    EXPECT_NEAR(v.y, y, tolerance) << expr;
    EXPECT_NEAR(v.z, z, tolerance) << expr;
    EXPECT_NEAR(v.w, w, tolerance) << expr;
  }
  std::string errorOf(const std::string& code) {
    EXPECT_FALSE(run(code)) << code;
    return lastError();
  }
};

// An independent model of the generator: MMIX LCG, high 32 bits of the new state.
struct Lcg {
  uint64_t s;
  uint32_t next() {
    s = s * 6364136223846793005ull + 1442695040888963407ull;
    return (uint32_t)(s >> 32);
  }
};

TEST_F(SqMathTest, Vec4fConstructorTakesFourComponentsOrRepeatsTheFirst) {
  expectVec("vec4f(1, 2, 3, 4)", 1, 2, 3, 4);
  expectVec("vec4f(2)", 2, 2, 2, 2);
  expectVec("vec4f(1, 2)", 1, 1, 1, 1);
  expectVec("make4f(0.5, 1, 1.5, 2)", 0.5f, 1, 1.5f, 2);
  expectVec("make4f(3)", 3, 3, 3, 3);
  EXPECT_EQ(errorOf("vec4f(\"x\")"), "sq_get*() failed (type error)");
}

TEST_F(SqMathTest, Vec4fIndexingIsLimitedToFourComponents) {
  EXPECT_FLOAT_EQ(evalFloat("vec4f(1, 2, 3, 4)[2]"), 3.0f);
  EXPECT_TRUE(run("::v <- vec4f(0); v[3] = 7;"));
  EXPECT_FLOAT_EQ(evalFloat("v[3]"), 7.0f);
  EXPECT_EQ(errorOf("v[4] = 1;"), "vec4f index out of range");
  EXPECT_EQ(errorOf("local x = v[-1];"), "vec4f index out of range");
  EXPECT_EQ(errorOf("local x = v.x;"), "vec4f index out of range");
}

TEST_F(SqMathTest, Vec4fOperatorsWorkComponentWiseWithConvertedOperands) {
  expectVec("vec4f(1, 1, 1, 1) + 2", 3, 3, 3, 3);
  expectVec("vec4f(1, 1, 1, 1) + [1, 2, 3, 4]", 2, 3, 4, 5);
  expectVec("vec4f(5, 6, 7, 8) - vec4f(1, 2, 3, 4)", 4, 4, 4, 4);
  expectVec("vec4f(1, 2, 3, 4) * 0.5", 0.5f, 1, 1.5f, 2);
  expectVec("vec4f(2, 4, 6, 8) / vec4f(2, 2, 3, 4)", 1, 2, 2, 2);
  expectVec("-vec4f(1, -2, 3, 0)", -1, 2, -3, 0);
  // An integer operand is a number here, not a packed colour.
  expectVec("vec4f(0) + 255", 255, 255, 255, 255);
  EXPECT_EQ(errorOf("local x = vec4f(1) + [1, 2];"), "vec4f: the array has fewer than 4 elements");
  EXPECT_EQ(errorOf("local x = vec4f(1) + {};"), "getInst: invalid argument type");
}

TEST_F(SqMathTest, Vec4fComparisonIsEqualAllGreaterOrLess) {
  EXPECT_EQ(evalInt("vec4f(1, 2, 3, 4) <=> vec4f(0, 0, 0, 0)"), 1);
  EXPECT_EQ(evalInt("vec4f(1, 2, 3, 4) <=> vec4f(0, 5, 0, 0)"), -1);
  EXPECT_EQ(evalInt("vec4f(1, 2, 3, 4) <=> vec4f(1, 2, 3, 4)"), 0);
  EXPECT_TRUE(evalBool("vec4f(1) > vec4f(0)"));
  EXPECT_FALSE(evalBool("vec4f(1, 0, 1, 1) > vec4f(0)"));
}

TEST_F(SqMathTest, VectorFunctions) {
  expectVec("cross(vec4f(1, 0, 0, 0), vec4f(0, 1, 0, 0))", 0, 0, 1, 0);
  expectVec("dot3(vec4f(1, 2, 3, 100), [4, 5, 6, 100])", 32, 32, 32, 32);
  expectVec("len3(vec4f(3, 4, 0, 9))", 5, 5, 5, 5);
  expectVec("len3Sq(vec4f(3, 4, 0, 9))", 25, 25, 25, 25);
  expectVec("norm3(vec4f(0, 3, 4, 10))", 0, 0.6f, 0.8f, 2, 1e-6f);
  expectVec("norm3(vec4f(0, 0, 0, 5))", 0, 0, 0, 0);
  expectVec("norm3a(vec4f(0, 3, 4, 10))", 0, 0.6f, 0.8f, 2, 2e-3f);
  EXPECT_FLOAT_EQ(evalFloat("getx(vec4f(1, 2, 3, 4))"), 1);
  EXPECT_FLOAT_EQ(evalFloat("gety([1, 2, 3, 4])"), 2);
  EXPECT_FLOAT_EQ(evalFloat("getz(vec4f(1, 2, 3, 4))"), 3);
  expectVec("make_dir_xz(0.25)", 0, 0, 1, 0, 1e-6f);
  expectVec("make_dir_2d(vec4f(1, 0, 0, 0), vec4f(0, 0, 1, 0), 0.5)", -1, 0, 0, 0, 1e-6f);
  EXPECT_EQ(errorOf("make_dir_2d([1, 0, 0, 0], vec4f(0), 0.5)"), "getInst: invalid argument type");
}

TEST_F(SqMathTest, RoundGoesHalfToEvenAndWrapReducesIntoTheHalfOpenRange) {
  EXPECT_EQ(evalInt("round(2.5)"), 2);
  EXPECT_EQ(evalInt("round(3.5)"), 4);
  EXPECT_EQ(evalInt("round(-2.5)"), -2);
  EXPECT_EQ(evalInt("round(2.4)"), 2);
  EXPECT_EQ(evalInt("wrap(300)"), 44);
  EXPECT_EQ(evalInt("wrap(128)"), 128);
  EXPECT_EQ(evalInt("wrap(-128)"), 128);
  EXPECT_EQ(evalInt("wrap(129)"), -127);
  EXPECT_EQ(evalInt("wrap(-300)"), -44);
  EXPECT_FLOAT_EQ(evalFloat("wrap(300.5)"), 44.5f);
  EXPECT_FLOAT_EQ(evalFloat("wrap(-128.0)"), 128.0f);
  EXPECT_FLOAT_EQ(evalFloat("wrap(-127.5)"), -127.5f);
}

TEST_F(SqMathTest, RandomFunctionsDrawExactlyFromTheGenerator) {
  EXPECT_TRUE(run("set_rnd_seed(-1);"));
  EXPECT_EQ(game_rnd_seed, 0xFFFFFFFFFFFFFFFFull);
  EXPECT_TRUE(run("set_rnd_seed(12345);"));
  Lcg model{12345};
  EXPECT_EQ(evalInt("hmrnd()"), (int)(model.next() & 255));
  EXPECT_EQ(evalInt("irnd()"), (int)(model.next() & 0x7FFFFFFF));
  EXPECT_FLOAT_EQ(evalFloat("frnd()"), (float)(model.next() / 4294967296.0));
  EXPECT_FLOAT_EQ(evalFloat("srnd()"), (float)(model.next() / 4294967296.0 * 2 - 1));
  EXPECT_NEAR(evalFloat("hmfrnd()"), model.next() / 4294967296.0 * 256, 1e-4);
  EXPECT_NEAR(evalFloat("hmsrnd()"), (model.next() / 4294967296.0 * 2 - 1) * 128, 1e-4);
  EXPECT_NEAR(evalFloat("rndf(10, 20)"), 10 + model.next() / 4294967296.0 * 10, 1e-5);
  uint32_t u = model.next();
  EXPECT_EQ(evalInt("rndi(7, -3)"), -3 + (int)((11ull * u) >> 32));
  EXPECT_EQ(game_rnd_seed, model.s);

  // rndi with equal ends is that value and still advances the state.
  uint64_t before = game_rnd_seed;
  EXPECT_EQ(evalInt("rndi(5, 5)"), 5);
  EXPECT_NE(game_rnd_seed, before);
  model.next();
  EXPECT_EQ(game_rnd_seed, model.s);
  // The full integer range.
  u = model.next();
  EXPECT_EQ(evalInt("rndi(-2147483647 - 1, 2147483647)"), (int)((int64_t)INT32_MIN + (int64_t)u));
}

TEST_F(SqMathTest, RandomSeedFromTheClockDoesNotDraw) {
  game_rnd_seed = 0;
  EXPECT_TRUE(run("randomize_rnd_seed();"));
  EXPECT_NE(game_rnd_seed, 0u);
}

TEST_F(SqMathTest, HsvConversionsMatchHandComputedValues) {
  expectVec("hsv2rgba(360, 1, 1, 1)", 1, 0, 0, 1);
  expectVec("hsv2rgba(0, 1, 1, 1)", 1, 0, 0, 1);
  expectVec("hsv2rgba(120, 0.5, 0.8, 0.3)", 0.4f, 0.8f, 0.4f, 0.3f, 1e-6f);
  expectVec("hsv2rgba(30, 1, 1, 1)", 1, 0.5f, 0, 1, 1e-6f);
  expectVec("hsv2rgba(-90, 1, 1, 0)", 0.5f, 0, 1, 0, 1e-6f);
  expectVec("hsv2rgba(77, 0, 0.25, 1)", 0.25f, 0.25f, 0.25f, 1);
  Vec4f h = rgb2hsv(Vec4f{1, 0.5f, 0, 1});
  EXPECT_NEAR(h.x, 30, 1e-4);
  EXPECT_FLOAT_EQ(h.y, 1);
  EXPECT_FLOAT_EQ(h.z, 1);
  EXPECT_FLOAT_EQ(h.w, 0);
  h = rgb2hsv(Vec4f{0.2f, 0.4f, 0.2f, 1});
  EXPECT_NEAR(h.x, 120, 1e-4);
  EXPECT_NEAR(h.y, 0.5f, 1e-6);
  EXPECT_NEAR(h.z, 0.4f, 1e-6);
  h = rgb2hsv(Vec4f{1, 0, 0.5f, 1});
  EXPECT_NEAR(h.x, 330, 1e-4);
  h = rgb2hsv(Vec4f{0, 0, 0, 1});
  EXPECT_EQ(h.x + h.y + h.z + h.w, 0);
  h = rgb2hsv(Vec4f{0.5f, 0.5f, 0.5f, 1});
  EXPECT_FLOAT_EQ(h.z, 0.5f);
  EXPECT_FLOAT_EQ(h.y, 0);
}

TEST_F(SqMathTest, LchConversionMatchesHandComputedValues) {
  expectVec("lch2rgba(100, 0, 0, 0.5)", 1.0000011f, 1.0000334f, 0.9999272f, 0.5f, 2e-4f);
  expectVec("lch2rgba(50, 30, 45, 1)", 0.6397579f, 0.4093499f, 0.3294561f, 1, 2e-4f);
  expectVec("lch2rgba(5, 0, 0, 1)", 0.0660306f, 0.0660344f, 0.0660222f, 1, 2e-4f);
}

TEST_F(SqMathTest, ColourFunctionsUnpackIntegersAsPackedColours) {
  expectVec("lerpcolor(0xFF000000, 0xFFFFFFFF, 0.5)", 0.5f, 0.5f, 0.5f, 1, 1e-6f);
  expectVec("lerpcolor(vec4f(0), [1, 2, 3, 4], 0.25)", 0.25f, 0.5f, 0.75f, 1);
  expectVec("mix3colors(0xFFFF0000, 0.5, 0xFF00FF00, 0.25, vec4f(0, 0, 1, 0), 2)", 0.5f, 0.25f, 2, 0.75f, 1e-6f);
  expectVec("mix4colors(1.0, 1, 2.0, 1, 3.0, 1, 4.0, 1)", 10, 10, 10, 10);
  EXPECT_EQ(evalInt("tocolor(0.5)"), (int)0x80808080u);
  EXPECT_EQ(evalInt("tocolor(0x12345678)"), 0x12345678);
  EXPECT_EQ(evalInt("tocolor(vec4f(1, 0, 0.2, 2))"), (int)0xFFFF0033u);
  EXPECT_EQ(evalInt("tocolor([-1, 0.5, 1, 1])"), (int)0xFF0080FFu);
}

TEST_F(SqMathTest, RampsSampleBuildAndInterpolate) {
  EXPECT_TRUE(run("::fr <- FloatRamp(function(t) { return t * 2; });"
                  "::cr <- ColorRamp(function(t) { return t < 0.5 ? 0xFF000000 : vec4f(1, t, 0, 1); });"));
  EXPECT_FLOAT_EQ(evalFloat("fr.get(0.5)"), 1.0f);
  EXPECT_FLOAT_EQ(evalFloat("fr.get(1.0)"), 2.0f);
  EXPECT_FLOAT_EQ(evalFloat("fr.get(7)"), 2.0f);
  EXPECT_FLOAT_EQ(evalFloat("fr.get(-5)"), 0.0f);
  EXPECT_NEAR(evalFloat("fr.get(0.3)"), 0.6f, 1e-6);
  expectVec("cr.get(0.25)", 0, 0, 0, 1);
  expectVec("cr.get(1.0)", 1, 1, 0, 1);
  expectVec("cr.get(-5)", 0, 0, 0, 1);

  EXPECT_FLOAT_EQ(evalFloat("FloatRamp.constRamp(3).get(0.7)"), 3.0f);
  EXPECT_FLOAT_EQ(evalFloat("FloatRamp.linear(1, 3).get(0.75)"), 2.5f);
  expectVec("ColorRamp.linear(0xFF000000, 0xFFFFFFFF).get(0.5)", 0.5f, 0.5f, 0.5f, 1, 1e-6f);
  EXPECT_TRUE(run("::fade <- FloatRamp.fadeInOut(0, 1, 0, 0.25, 0.25);"));
  EXPECT_FLOAT_EQ(evalFloat("fade.get(0)"), 0.0f);
  EXPECT_FLOAT_EQ(evalFloat("fade.get(0.125)"), 0.5f);
  EXPECT_FLOAT_EQ(evalFloat("fade.get(0.5)"), 1.0f);
  EXPECT_FLOAT_EQ(evalFloat("fade.get(0.875)"), 0.5f);
  EXPECT_FLOAT_EQ(evalFloat("fade.get(1)"), 0.0f);
  expectVec("ColorRamp.fadeInOut(vec4f(0), vec4f(1), vec4f(2), 0.5, 0.5).get(0.25)", 0.5f, 0.5f, 0.5f, 0.5f);

  EXPECT_EQ(errorOf("FloatRamp(function(t) { return \"no\"; });"), "sq_get*() failed (type error)");
  EXPECT_EQ(errorOf("FloatRamp(function(t) { throw \"inner\"; });"), "SqFunc<> call failed");
  EXPECT_EQ(errorOf("FloatRamp.instance().get(0.5);"), "invalid 'this' in C++ method call");
}

TEST_F(SqMathTest, RampsDumpAsSourceText) {
  EXPECT_TRUE(run("FloatRamp.constRamp(0.5).dump(\"fr\"); ColorRamp.constRamp(vec4f(1, 0.5, 0, 1)).dump(\"cr\");"));
  std::string expected = "\nstatic FloatRamp fr=\n{\n ";
  for (int i = 0; i < 257; i++) {
    expected += " 0.5,";
    if (i % 8 == 7) expected += "\n ";
  }
  expected += "\n};\n\nstatic ColorRamp cr=\n{\n ";
  for (int i = 0; i < 257; i++) {
    expected += " make4f(1, 0.5, 0, 1),";
    if (i % 4 == 3) expected += "\n ";
  }
  expected += "\n};\n";
  EXPECT_EQ(logText(), expected);
}

TEST_F(SqMathTest, RegisteringAgainReusesTheClasses) {
  EXPECT_TRUE(run("::v <- vec4f(1);"));
  register_script_math(vm);
  EXPECT_TRUE(evalBool("v instanceof vec4f"));
  expectVec("v + 1", 2, 2, 2, 2);
}

} // namespace
