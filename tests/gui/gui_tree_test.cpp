// The element tree: dispatch modes, hit testing, hover and capture, the
// button family, the key box, tooltips, the registry and the destruction
// queues.
#include "gui_test_util.h"

using namespace guitest;

namespace {

struct Screen : BaseGuiScreen {
  Screen() { root = box(nullptr, 0, 0, 100, 100, {"solid_box"}, "root"); }
  void feed(std::initializer_list<InputEvent> evs) {
    for (const InputEvent& e : evs) processOneInput(e);
  }
};

using GuiTreeTest = GuiTest;

TEST_F(GuiTreeTest, HitTestEdgesOverlapAndChildrenFirst) {
  Screen s;
  BaseGuiElement* a = box(s.root, 10, 10, 20, 20, {"solid_box"}, "a");
  BaseGuiElement* b = box(s.root, 15, 15, 30, 30, {"solid_box"}, "b"); // overlaps a
  BaseGuiElement* inner = box(b, 25, 25, 28, 28, {"solid_box"}, "inner");

  EXPECT_EQ(hit_test(s.root, 10, 12), s.root) << "left edge misses";
  EXPECT_EQ(hit_test(s.root, 12, 10), s.root) << "top edge misses";
  EXPECT_EQ(hit_test(s.root, 20, 12), a) << "right edge hits";
  EXPECT_EQ(hit_test(s.root, 12, 20), a) << "bottom edge hits";
  EXPECT_EQ(hit_test(s.root, 17, 17), a) << "lower child index wins";
  EXPECT_EQ(hit_test(s.root, 26, 26), inner) << "child wins over its parent";
  EXPECT_EQ(hit_test(s.root, 200, 5), nullptr);
  b->hitTestExcluded = true;
  EXPECT_EQ(hit_test(s.root, 29, 29), s.root) << "an excluded element is transparent";
  EXPECT_EQ(hit_test(s.root, 26, 26), inner) << "its children still answer";
  // An element without a hit-test behaviour is transparent.
  BaseGuiElement* plain = box(s.root, 40, 40, 50, 50, {}, "plain");
  EXPECT_EQ(hit_test(s.root, 45, 45), s.root);
  (void)plain;
}

TEST_F(GuiTreeTest, SendEventModesVisitInTheDesignedOrder) {
  std::vector<std::string> log;
  Recorder pass(&log, GUI_EV_RESET, 0), stop(&log, GUI_EV_RESET, 1), no_descend(&log, GUI_EV_RESET, 2);
  auto* root = box(nullptr, 0, 0, 1, 1, {}, "root");
  auto* mid = box(root, 0, 0, 1, 1, {}, "mid");
  auto* leaf = box(mid, 0, 0, 1, 1, {}, "leaf");
  auto* side = box(root, 0, 0, 1, 1, {}, "side");
  for (auto* e : {root, mid, leaf, side}) attach(e, &pass);
  NewGuiEvent ev(GUI_EV_RESET);

  EXPECT_EQ(send_event(ev, leaf, GUI_SEND_DOWN_ANCESTRY), 0);
  EXPECT_EQ(log, (std::vector<std::string>{"root:1024", "mid:1024", "leaf:1024"}));
  log.clear();
  EXPECT_EQ(send_event(ev, leaf, GUI_SEND_UP_ANCESTRY, mid), 0);
  EXPECT_EQ(log, (std::vector<std::string>{"leaf:1024", "mid:1024"})) << "stops after serving `stop`";
  log.clear();
  EXPECT_EQ(send_event(ev, root, GUI_SEND_BROADCAST), 0);
  EXPECT_EQ(log, (std::vector<std::string>{"root:1024", "mid:1024", "leaf:1024", "side:1024"}));

  // Result 2 skips the subtree and the broadcast goes on; 1 stops everything.
  log.clear();
  mid->behaviors[0] = &no_descend;
  EXPECT_EQ(send_event(ev, root, GUI_SEND_BROADCAST), 0);
  EXPECT_EQ(log, (std::vector<std::string>{"root:1024", "mid:1024", "side:1024"}));
  log.clear();
  mid->behaviors[0] = &stop;
  EXPECT_EQ(send_event(ev, root, GUI_SEND_BROADCAST), 1);
  EXPECT_EQ(log, (std::vector<std::string>{"root:1024", "mid:1024"}));

  // The element's mask gates its behaviours; a null element answers 0.
  log.clear();
  side->eventMask = 0;
  EXPECT_EQ(send_event(ev, side, GUI_SEND_ELEMENT), 0);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(send_event(ev, nullptr, GUI_SEND_BROADCAST), 0);
  delete root;
}

TEST_F(GuiTreeTest, PressDragOffReleaseDoesNotClickDragBackDoes) {
  Screen s;
  BaseGuiElement* btn = box(s.root, 10, 10, 30, 30, {"solid_box", "button"}, "btn");
  int clicks = 0, button_code = 0;
  btn->clickListeners.push_back([&](BaseGuiElement*, int b) { clicks++, button_code = b; });
  const int L = IEF_LBUTTON;

  s.feed({mouse(INPUT_MOUSE_MOVE, 20, 20), mouse(INPUT_BUTTON_DOWN, 20, 20, L, 1)});
  EXPECT_EQ(s.captured, btn);
  EXPECT_TRUE(btn->hasState(GUI_STATE_PRESSED));
  s.feed({mouse(INPUT_MOUSE_MOVE, 60, 60, L)});
  EXPECT_EQ(s.hovered, nullptr) << "while captured only the captured element can be hovered";
  EXPECT_FALSE(btn->hasState(GUI_STATE_PRESSED | GUI_STATE_HOVER));
  s.feed({mouse(INPUT_BUTTON_UP, 60, 60, 0, 1)});
  EXPECT_EQ(clicks, 0) << "released elsewhere";
  EXPECT_EQ(s.captured, nullptr);

  s.feed({mouse(INPUT_MOUSE_MOVE, 20, 20), mouse(INPUT_BUTTON_DOWN, 20, 20, L, 1),
          mouse(INPUT_MOUSE_MOVE, 60, 60, L), mouse(INPUT_MOUSE_MOVE, 21, 21, L)});
  EXPECT_EQ(s.hovered, btn);
  EXPECT_TRUE(btn->hasState(GUI_STATE_PRESSED)) << "entering with the button held presses again";
  s.feed({mouse(INPUT_BUTTON_UP, 21, 21, 0, 1)});
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(button_code, 1);
  EXPECT_FALSE(btn->hasState(GUI_STATE_PRESSED));
  EXPECT_TRUE(btn->hasState(GUI_STATE_HOVER));

  // Disabled buttons ignore everything.
  btn->setState(GUI_STATE_DISABLED, true);
  s.feed({mouse(INPUT_BUTTON_DOWN, 20, 20, L, 1), mouse(INPUT_BUTTON_UP, 20, 20, 0, 1)});
  EXPECT_EQ(clicks, 1);
}

TEST_F(GuiTreeTest, CheckboxTogglesAndRadioButtonsExcludeTheirSiblings) {
  Screen s;
  BaseGuiElement* check = box(s.root, 0, 0, 10, 10, {"solid_box", "checkbox"});
  BaseGuiElement* r1 = box(s.root, 0, 20, 10, 30, {"solid_box", "radio_button"});
  BaseGuiElement* r2 = box(s.root, 20, 20, 30, 30, {"solid_box", "radio_button"});
  BaseGuiElement* other = box(s.root, 40, 20, 50, 30, {"solid_box", "checkbox"});
  other->setState(GUI_STATE_CHECKED, true);
  auto click = [&](float x, float y) {
    s.feed({mouse(INPUT_BUTTON_DOWN, x, y, IEF_LBUTTON, 1), mouse(INPUT_BUTTON_UP, x, y, 0, 1)});
  };
  click(5, 5);
  EXPECT_TRUE(check->hasState(GUI_STATE_CHECKED));
  click(5, 5);
  EXPECT_FALSE(check->hasState(GUI_STATE_CHECKED));
  click(5, 25);
  EXPECT_TRUE(r1->hasState(GUI_STATE_CHECKED));
  click(25, 25);
  EXPECT_TRUE(r2->hasState(GUI_STATE_CHECKED));
  EXPECT_FALSE(r1->hasState(GUI_STATE_CHECKED));
  EXPECT_TRUE(other->hasState(GUI_STATE_CHECKED)) << "a sibling without the radio behaviour keeps its state";

  // The reset clears interaction state and never clicks.
  int clicks = 0;
  r1->clickListeners.push_back([&](BaseGuiElement*, int) { clicks++; });
  s.feed({mouse(INPUT_BUTTON_DOWN, 5, 25, IEF_LBUTTON, 1)});
  ASSERT_TRUE(r1->hasState(GUI_STATE_PRESSED));
  NewGuiEvent reset(GUI_EV_RESET);
  send_event(reset, s.root, GUI_SEND_BROADCAST);
  EXPECT_FALSE(r1->hasState(GUI_STATE_PRESSED | GUI_STATE_HOVER));
  EXPECT_EQ(clicks, 0);
}

TEST_F(GuiTreeTest, KeysGoToTheElementUnderTheMouseThenUpItsAncestry) {
  Screen s;
  std::vector<std::string> log;
  Recorder pass(&log, GUI_EV_KEY, 0);
  BaseGuiElement* panel = box(s.root, 0, 0, 50, 50, {"solid_box"}, "panel");
  BaseGuiElement* leaf = box(panel, 10, 10, 20, 20, {"solid_box"}, "leaf");
  attach(s.root, &pass), attach(panel, &pass), attach(leaf, &pass);
  s.feed({mouse(INPUT_MOUSE_MOVE, 15, 15), mouse(INPUT_KEY_DOWN, 15, 15, 0, 'K')});
  EXPECT_EQ(log, (std::vector<std::string>{"leaf:4", "panel:4", "root:4"}));

  // Without a target (outside the root) keys are broadcast from the root.
  log.clear();
  s.feed({mouse(INPUT_MOUSE_MOVE, 300, 300), mouse(INPUT_KEY_DOWN, 300, 300, 0, 'K')});
  EXPECT_EQ(log, (std::vector<std::string>{"root:4", "panel:4", "leaf:4"}));
}

TEST_F(GuiTreeTest, KeyBoxPassesTheNextKeyOrButtonOverItToItsListeners) {
  Screen s;
  BaseGuiElement* kb = box(s.root, 10, 10, 40, 20, {"solid_box", "keybox"});
  std::vector<int> keys;
  kb->keyListeners.push_back([&](BaseGuiElement*, int k) { keys.push_back(k); });
  s.feed({mouse(INPUT_MOUSE_MOVE, 20, 15)});
  EXPECT_TRUE(kb->hasState(GUI_STATE_FOCUSED));
  s.feed({mouse(INPUT_KEY_DOWN, 20, 15, 0, 'Q'), mouse(INPUT_KEY_UP, 20, 15, 0, 'Q'),
          mouse(INPUT_BUTTON_DOWN, 20, 15, IEF_RBUTTON, 2), mouse(INPUT_BUTTON_UP, 20, 15, 0, 2)});
  EXPECT_EQ(keys, (std::vector<int>{'Q', 2})) << "key-ups are not bindings";
  s.feed({mouse(INPUT_MOUSE_MOVE, 80, 80)});
  EXPECT_FALSE(kb->hasState(GUI_STATE_FOCUSED));
  s.feed({mouse(INPUT_KEY_DOWN, 80, 80, 0, 'W')});
  EXPECT_EQ(keys.size(), 2u);

  kb->text = "Q";
  NewGuiEvent reset(GUI_EV_RESET);
  EXPECT_EQ(send_event(reset, kb, GUI_SEND_ELEMENT), 0) << "the reset is not handled";
  EXPECT_EQ(kb->text, "");
}

TEST_F(GuiTreeTest, TooltipQueryHidesEveryFrameUnlessAnElementAnswers) {
  TooltipSpy spy;
  Screen s;
  BaseGuiElement* tip = box(s.root, 10, 10, 20, 20, {"solid_box", "tooltip_box"});
  tip->tooltip = "Fire ball";
  for (int frame = 0; frame < 3; frame++) s.queryTooltip(50, 50);
  EXPECT_EQ(TooltipSpy::hides, 3);
  s.queryTooltip(15, 15);
  EXPECT_EQ(TooltipSpy::hides, 3);
  EXPECT_EQ(TooltipSpy::shows, 1);
  EXPECT_EQ(TooltipSpy::last, "Fire ball");
  // Null entries do nothing.
  gameobj_api.hide_tooltip = nullptr;
  gameobj_api.show_tooltip = nullptr;
  s.queryTooltip(50, 50);
  s.queryTooltip(15, 15);
}

TEST_F(GuiTreeTest, ResetStateSendsLeaveAndDropsCapture) {
  Screen s;
  BaseGuiElement* btn = box(s.root, 10, 10, 30, 30, {"solid_box", "button"});
  s.feed({mouse(INPUT_MOUSE_MOVE, 20, 20), mouse(INPUT_BUTTON_DOWN, 20, 20, IEF_LBUTTON, 1)});
  ASSERT_EQ(s.captured, btn);
  s.resetState();
  EXPECT_EQ(s.captured, nullptr);
  EXPECT_EQ(s.hovered, nullptr);
  EXPECT_FALSE(btn->hasState(GUI_STATE_HOVER | GUI_STATE_PRESSED));
}

TEST_F(GuiTreeTest, ScreenWithoutRootDropsEventsAndUnknownTypesAreFatal) {
  BaseGuiScreen empty;
  empty.processOneInput(mouse(INPUT_BUTTON_DOWN, 1, 1, IEF_LBUTTON, 1));
  EXPECT_EQ(empty.captured, nullptr);
  Screen s;
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(s.processOneInput(mouse(7, 1, 1)), ::testing::ExitedWithCode(100),
              "failed ASSERT\\(!\"unknown input event type\"\\)");
}

TEST_F(GuiTreeTest, RegisteringANameTwiceKeepsTheFirst) {
  std::vector<std::string> log;
  Recorder first(&log, GUI_EV_RESET, 0), second(&log, GUI_EV_RESET, 0);
  register_behavior(&first, "mine");
  register_behavior(&second, "mine");
  EXPECT_EQ(get_behavior("mine"), &first);
  register_behavior(&second, "button");
  EXPECT_NE(get_behavior("button"), &second);
  EXPECT_EQ(get_behavior("nope"), nullptr);
  EXPECT_NE(get_behavior("keybox"), nullptr);
}

// {===== Destruction

int alive = 0;
struct Counted : GuiBox {
  std::function<void()> onDelete;
  Counted() { alive++; }
  ~Counted() override {
    alive--;
    if (onDelete) onDelete();
  }
};
struct CountedScreen : BaseGuiScreen {
  std::function<void()> onDelete;
  CountedScreen() { alive++; }
  ~CountedScreen() override {
    alive--;
    if (onDelete) onDelete();
  }
};

TEST_F(GuiTreeTest, QueuesDestroyOnceAndTakeWhatDestructorsQueue) {
  alive = 0;
  auto* a = new Counted;
  queue_destruction(a);
  queue_destruction(a);
  queue_destruction((BaseGuiElement*)nullptr);
  EXPECT_EQ(queued_gui_destructions(), 1);

  // A screen whose destructor queues another screen and an element.
  auto* s1 = new CountedScreen;
  auto* s2 = new CountedScreen;
  auto* late = new Counted;
  s1->onDelete = [&] { queue_destruction(s2), queue_destruction(late); };
  queue_destruction(s1);

  // A parent and its child both queued, the parent first: the child goes
  // with its parent and is not deleted again.
  auto* parent = new Counted;
  auto* child = new Counted;
  parent->add(child);
  queue_destruction(parent);
  queue_destruction(child);

  EXPECT_EQ(alive, 6);
  destroy_queued_gui_elements();
  EXPECT_EQ(alive, 0);
  EXPECT_EQ(queued_gui_destructions(), 0);
}

TEST_F(GuiTreeTest, NothingIsDeletedDuringDispatchAndDeletedElementsLeaveTheScreen) {
  Screen s;
  auto* btn = new Counted;
  btn->rect = GuiRect{10, 10, 30, 30};
  attach(btn, get_behavior("solid_box"));
  attach(btn, get_behavior("button"));
  s.root->add(btn);
  alive = 1;
  // A click listener that closes its own element: queued, deleted after.
  btn->clickListeners.push_back([&](BaseGuiElement* e, int) { queue_destruction(e); });
  s.feed({mouse(INPUT_MOUSE_MOVE, 20, 20), mouse(INPUT_BUTTON_DOWN, 20, 20, IEF_LBUTTON, 1),
          mouse(INPUT_BUTTON_UP, 20, 20, 0, 1)});
  EXPECT_EQ(alive, 1);
  EXPECT_EQ(s.hovered, btn);
  destroy_queued_gui_elements();
  EXPECT_EQ(alive, 0);
  EXPECT_EQ(s.hovered, nullptr) << "no dangling hover";
  EXPECT_EQ(s.root->children.num, 0);
  s.feed({mouse(INPUT_MOUSE_MOVE, 21, 21)}); // would touch freed memory under ASan
  EXPECT_EQ(s.hovered, s.root);
}

} // namespace
