// The style engine: cascade order, own values, dirty tracking, behaviour
// attachment, transitions and the resolved defaults; screen restyle and
// geometry.
#include "gui_test_util.h"

using namespace guitest;

namespace {

using GuiStyleTest = GuiTest;

GuiSimpleSelector* cls(const char* c, unsigned states = 0) { return new GuiSimpleSelector("", c, states); }

float num(const BaseGuiElement* e, int slot) { return e->getPropNum(slot); }

TEST_F(GuiStyleTest, SpecificityOrdersRulesAndEqualOnesLaterWins) {
  GuiStyle st;
  st.addSheet(new GuiSimpleSelector("ok", ""), GuiRuleBuilder().set(GP_WIDTH, GuiValue::number(1)).take());
  st.addSheet(cls("btn"), GuiRuleBuilder().set(GP_WIDTH, GuiValue::number(2)).set(GP_HEIGHT, GuiValue::number(5)).take());
  st.addSheet(cls("wide"), GuiRuleBuilder().set(GP_HEIGHT, GuiValue::number(6)).take());
  GuiBox e;
  e.classes = "btn wide";
  st.restyle(&e, false);
  EXPECT_EQ(num(&e, GP_HEIGHT), 6) << "equal specificity: the later rule wins";
  EXPECT_EQ(num(&e, GP_WIDTH), 2);
  e.name = "ok";
  e.dirty = true;
  st.restyle(&e, false);
  EXPECT_EQ(num(&e, GP_WIDTH), 1) << "the name rule, added first, is more specific";
  // A state selector adds specificity and applies only in that state.
  st.addSheet(cls("btn", GUI_STATE_HOVER), GuiRuleBuilder().set(GP_HEIGHT, GuiValue::number(9)).take());
  st.restyle(&e, true);
  EXPECT_EQ(num(&e, GP_HEIGHT), 6);
  e.setState(GUI_STATE_HOVER, true);
  EXPECT_TRUE(e.dirty);
  st.restyle(&e, false);
  EXPECT_EQ(num(&e, GP_HEIGHT), 9);
}

TEST_F(GuiStyleTest, OwnValuesAreNeverReplaced) {
  GuiStyle st;
  st.addSheet(new GuiSimpleSelector("me", "x", GUI_STATE_HOVER),
              GuiRuleBuilder().set(GP_BG_COLOR, GuiValue::colour(0xFF112233)).take());
  GuiBox e;
  e.name = "me", e.classes = "x";
  e.setState(GUI_STATE_HOVER, true);
  e.setOwnProp(GP_BG_COLOR, GuiValue::colour(0xFF0000FF));
  st.restyle(&e, true);
  EXPECT_EQ(e.getPropColor(GP_BG_COLOR), 0xFF0000FFu);
  e.clearOwnProp(GP_BG_COLOR);
  st.restyle(&e, false);
  EXPECT_EQ(e.getPropColor(GP_BG_COLOR), 0xFF112233u) << "clearing the own value marks the element dirty";
}

TEST_F(GuiStyleTest, CleanSubtreesAreOnlyVisited) {
  GuiStyle st;
  st.addSheet(cls("a"), GuiRuleBuilder().set(GP_WIDTH, GuiValue::number(3)).take());
  BaseGuiScreen s;
  s.style = &st;
  s.root = box(nullptr, 0, 0, 10, 10, {}, "root");
  BaseGuiElement* left = box(s.root, 0, 0, 1, 1, {});
  BaseGuiElement* deep = box(box(left, 0, 0, 1, 1, {}), 0, 0, 1, 1, {});
  BaseGuiElement* right = box(s.root, 0, 0, 1, 1, {});
  box(right, 0, 0, 1, 1, {});
  s.restyle();
  EXPECT_EQ(st.evaluated, 6);
  st.evaluated = st.visited = 0;
  s.restyle();
  EXPECT_EQ(st.evaluated, 0);
  EXPECT_EQ(st.visited, 6);
  // A dirty element deep down: itself and its subtree only.
  st.evaluated = 0;
  deep->classes = "a";
  deep->dirty = true;
  s.restyle();
  EXPECT_EQ(st.evaluated, 1);
  EXPECT_EQ(num(deep, GP_WIDTH), 3);
  // A dirty parent re-evaluates its whole subtree.
  st.evaluated = 0;
  right->dirty = true;
  s.restyle();
  EXPECT_EQ(st.evaluated, 2);
}

TEST_F(GuiStyleTest, BehavioursAreAttachedOnceWithTheirMasks) {
  int attached = 0;
  struct Counting : NewGuiEventHandler {
    int* n;
    explicit Counting(int* c) : NewGuiEventHandler(GUI_EV_WHEEL), n(c) {}
    int handleEvent(NewGuiEvent&, BaseGuiElement*, int) override { return 1; }
    void attach(BaseGuiElement*) override { (*n)++; }
  } counting(&attached);
  register_behavior(&counting, "counting");
  GuiStyle st;
  st.addSheet(cls("b"), GuiRuleBuilder().behaviors({"counting", "unknown", "counting", "button"}).take());
  st.addSheet(cls("b"), GuiRuleBuilder().behaviors({"counting"}).take());
  GuiBox e;
  e.classes = "b";
  st.restyle(&e, true);
  st.restyle(&e, true);
  EXPECT_EQ(attached, 1);
  ASSERT_EQ(e.behaviors.num, 2);
  EXPECT_EQ(e.behaviors[0], &counting);
  EXPECT_EQ(e.behaviors[1], get_behavior("button"));
  EXPECT_EQ(e.eventMask, counting.eventMask | get_behavior("button")->eventMask);
}

TEST_F(GuiStyleTest, TransitionsStartFromTheShownValueAndOnlyOnChange) {
  GuiTransition fade{1.0f, 0, GUI_EASE_LINEAR};
  GuiStyle st;
  st.addSheet(cls("t"), GuiRuleBuilder()
                            .set(GP_OPACITY, GuiValue::number(20))
                            .transition(&fade, {GP_OPACITY, GP_BG_COLOR})
                            .take());
  st.addSheet(cls("t", GUI_STATE_HOVER), GuiRuleBuilder().set(GP_OPACITY, GuiValue::number(60)).take());
  GuiBox e;
  e.classes = "t";
  st.restyle(&e, false);
  EXPECT_FLOAT_EQ(num(&e, GP_OPACITY), 100) << "starts at the default (100)";
  e.advanceTransitions(0.5f);
  EXPECT_FLOAT_EQ(num(&e, GP_OPACITY), 60);
  e.advanceTransitions(0.5f);
  EXPECT_FLOAT_EQ(num(&e, GP_OPACITY), 20);
  EXPECT_EQ(e.transitions[GP_OPACITY], nullptr) << "a finished transition is dropped";

  e.setState(GUI_STATE_HOVER, true);
  st.restyle(&e, false);
  e.advanceTransitions(0.25f);
  EXPECT_FLOAT_EQ(num(&e, GP_OPACITY), 30);
  // The same property set again (restyle forced): the running transition goes on.
  st.restyle(&e, true);
  ASSERT_NE(e.transitions[GP_OPACITY], nullptr);
  EXPECT_FLOAT_EQ(e.transitions[GP_OPACITY]->time, 0.25f);
  // Interrupted: the new transition starts where the shown value is.
  e.setState(GUI_STATE_HOVER, false);
  st.restyle(&e, false);
  EXPECT_FLOAT_EQ(num(&e, GP_OPACITY), 30);
  e.advanceTransitions(1.0f);
  EXPECT_FLOAT_EQ(num(&e, GP_OPACITY), 20);
}

TEST_F(GuiStyleTest, ResolvedDefaultsAndNonAnimatedSlots) {
  GuiBox e;
  float v[4];
  e.getProp(GP_SHADOW_COLOR, v);
  EXPECT_FLOAT_EQ(v[3], 0x44 / 255.f);
  EXPECT_FLOAT_EQ(v[0], 0);
  EXPECT_EQ(e.getPropColor(GP_TEXT_COLOR), 0xFFFFFFFFu);
  EXPECT_EQ(num(&e, GP_OPACITY), 100);
  EXPECT_EQ(num(&e, GP_FONT_SIZE), 30);
  EXPECT_EQ(num(&e, GP_SPACING), 10);
  EXPECT_EQ(num(&e, GP_WIDTH), 0);
  e.setOwnProp(GP_BG_COLOR, GuiValue::colour(0x80FF0000));
  e.getProp(GP_BG_COLOR, v);
  EXPECT_FLOAT_EQ(v[0], 1);
  EXPECT_FLOAT_EQ(v[1], 0);
  EXPECT_FLOAT_EQ(v[3], 128 / 255.f);
  for (int slot : {0, 2, 3, 14, 24, 30, 32}) {
    e.setOwnProp(slot, GuiValue::number(7));
    EXPECT_EQ(num(&e, slot), 0) << slot;
  }
}

TEST_F(GuiStyleTest, TransitionSlotAbove33Asserts) {
  static GuiTransition t;
  const unsigned char ok[] = {33}, bad[] = {34};
  GuiStyle st;
  st.addSheet(cls("x"), GuiRuleBuilder().transitionRaw(&t, ok, 1).take());
  GuiBox e;
  e.classes = "x";
  st.restyle(&e, true); // slot 33 (the last) is fine
  st.addSheet(cls("x"), GuiRuleBuilder().transitionRaw(&t, bad, 1).take());
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(st.restyle(&e, true), ::testing::ExitedWithCode(100),
              "failed ASSERT\\(\\*s>0 && \\*s<=NUM_GUI_PROPS\\)");
}

TEST_F(GuiStyleTest, SetGeometryLaysOutStacksWithPaddingAndAlignment) {
  // 640 x 480 back buffer is not needed: layout is called directly with the
  // values setGeometry passes (scale 1 keeps the numbers readable).
  GuiStack col(false);
  col.setOwnProp(GP_PAD_X, GuiValue::number(10));
  col.setOwnProp(GP_PAD_Y, GuiValue::number(5));
  col.setOwnProp(GP_SPACING, GuiValue::number(4));
  auto* a = gui_make<GuiBox>(&col, "");
  a->setOwnProp(GP_WIDTH, GuiValue::number(50));
  a->setOwnProp(GP_HEIGHT, GuiValue::number(20));
  auto* row = gui_make<GuiStack>(&col, "");
  row->horizontal = true;
  row->setOwnProp(GP_SPACING, GuiValue::number(2));
  row->setOwnProp(GP_V_ALIGN, GuiValue::number(1)); // bottom
  auto* b = gui_make<GuiBox>(row, "");
  b->setOwnProp(GP_WIDTH, GuiValue::number(30));
  b->setOwnProp(GP_HEIGHT, GuiValue::number(10));
  auto* c = gui_make<GuiBox>(row, "");
  c->setOwnProp(GP_WIDTH, GuiValue::number(30));
  c->setOwnProp(GP_HEIGHT, GuiValue::number(16));
  float w, h;
  col.measure(1, w, h);
  EXPECT_FLOAT_EQ(w, 62 + 20);      // the row: 30 + 2 + 30
  EXPECT_FLOAT_EQ(h, 20 + 4 + 16 + 10);
  col.layout(GuiRect{0, 0, 200, 100}, 100, 100, 1);
  EXPECT_FLOAT_EQ(a->rect.x0, 10);
  EXPECT_FLOAT_EQ(a->rect.x1, 190) << "unset cross alignment stretches";
  EXPECT_FLOAT_EQ(a->rect.y0, 5);
  EXPECT_FLOAT_EQ(row->rect.y0, 29);
  EXPECT_FLOAT_EQ(b->rect.x0, 10);
  EXPECT_FLOAT_EQ(c->rect.x0, 42);
  EXPECT_FLOAT_EQ(b->rect.y1, 45) << "bottom-aligned in the row";
  EXPECT_FLOAT_EQ(b->rect.y0, 35);
  // Hidden children take no room.
  a->setOwnProp(GP_DISPLAY, GuiValue::number(1));
  col.layout(GuiRect{0, 0, 200, 100}, 100, 100, 1);
  EXPECT_FLOAT_EQ(row->rect.y0, 5);
}

} // namespace
