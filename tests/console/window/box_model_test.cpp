// The message box without its window: the places of its text and buttons,
// and the answers its keys, pointer and close button give.
#include "survey_entry/console/window/box_model.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace console::window {
namespace {

// The measures of the X server's "fixed" font (6x13): 6 pixels a byte.
BoxFontMetrics fixed_font() {
  return {[](std::string_view s) { return static_cast<int>(s.size()) * 6; }, 11, 2};
}

TEST(BoxLayout, YesNoBoxOfTwoLines) {
  const BoxLayout layout = lay_out_box("A line\nAnother line", BoxButtons::yes_no, fixed_font());
  // Lines of 16 pixels; buttons of 75 x 26, 10 apart, centred at the bottom.
  EXPECT_EQ(layout.width, 240);  // the least width: text and buttons are narrower
  EXPECT_EQ(layout.height, 14 + 2 * 16 + 14 + 26 + 14);
  ASSERT_EQ(layout.lines.size(), 2u);
  EXPECT_EQ(layout.lines[0].text, "A line");
  EXPECT_EQ(layout.lines[1].text, "Another line");
  EXPECT_EQ(layout.lines[0].x, 14);
  EXPECT_EQ(layout.lines[0].baseline, 25);
  EXPECT_EQ(layout.lines[1].baseline, 41);
  ASSERT_EQ(layout.buttons.size(), 2u);
  EXPECT_EQ(layout.buttons[0].answer, BoxAnswer::yes);
  EXPECT_EQ(layout.buttons[0].label, "Yes");
  EXPECT_EQ(layout.buttons[0].rect, (BoxRect{40, 60, 75, 26}));
  EXPECT_EQ(layout.buttons[1].answer, BoxAnswer::no);
  EXPECT_EQ(layout.buttons[1].label, "No");
  EXPECT_EQ(layout.buttons[1].rect, (BoxRect{125, 60, 75, 26}));
  // Labels centred: "Yes" is 18 pixels wide, "No" 12.
  EXPECT_EQ(layout.buttons[0].label_x, 40 + (75 - 18) / 2);
  EXPECT_EQ(layout.buttons[1].label_x, 125 + (75 - 12) / 2);
  EXPECT_EQ(layout.buttons[0].label_baseline, 60 + (26 + 11 - 2) / 2);
}

TEST(BoxLayout, OkBoxAsWideAsItsLongestLine) {
  const std::string long_line(50, 'x');  // 300 pixels
  const BoxLayout layout = lay_out_box("short\n" + long_line + "\n", BoxButtons::ok, fixed_font());
  EXPECT_EQ(layout.width, 300 + 2 * 14);
  // The text's last '\n' ends an empty third line.
  ASSERT_EQ(layout.lines.size(), 3u);
  EXPECT_EQ(layout.lines[2].text, "");
  EXPECT_EQ(layout.height, 14 + 3 * 16 + 14 + 26 + 14);
  ASSERT_EQ(layout.buttons.size(), 1u);
  EXPECT_EQ(layout.buttons[0].answer, BoxAnswer::ok);
  EXPECT_EQ(layout.buttons[0].rect, (BoxRect{(328 - 75) / 2, 14 + 48 + 14, 75, 26}));
}

TEST(BoxLayout, WideLabelsWidenTheirButtonsAndTheBox) {
  // A font of 40 pixels a byte and a taller line (20 + 5 + 3).
  const BoxFontMetrics wide{[](std::string_view s) { return static_cast<int>(s.size()) * 40; }, 20,
                            5};
  const BoxLayout layout = lay_out_box("Q", BoxButtons::yes_no, wide);
  // Yes: 120 + 20 pixels, No: 80 + 20; the row 250 with its gap.
  EXPECT_EQ(layout.width, 250 + 2 * 14);
  EXPECT_EQ(layout.height, 14 + 28 + 14 + 38 + 14);
  const int row_y = 14 + 28 + 14;
  EXPECT_EQ(layout.buttons[0].rect, (BoxRect{14, row_y, 140, 38}));
  EXPECT_EQ(layout.buttons[1].rect, (BoxRect{14 + 140 + 10, row_y, 100, 38}));
  EXPECT_EQ(layout.buttons[1].label_x, 164 + (100 - 80) / 2);
  EXPECT_EQ(layout.buttons[1].label_baseline, row_y + (38 + 20 - 5) / 2);
}

// One input of a sequence: a key, or the pointer's first button pressed or
// released at a place, or the close button.
struct Press {
  int x, y;
};
struct Release {
  int x, y;
};
struct Close {};
using Input = std::variant<BoxKey, Press, Release, Close>;

// Places in the two-button layout above, and one outside every button.
constexpr Press press_yes{50, 70}, press_no{190, 85}, press_outside{5, 5};
constexpr Release release_yes{114, 60}, release_no{125, 70}, release_outside{120, 70};

struct Case {
  const char* name;
  BoxButtons buttons;
  std::vector<Input> inputs;
  std::optional<BoxAnswer> answer;  // of the last input; the ones before give none
  int focus_after;
};

std::optional<BoxAnswer> give(BoxModel& box, const Input& input) {
  if (const auto* key = std::get_if<BoxKey>(&input)) return box.key(*key).answer;
  if (const auto* p = std::get_if<Press>(&input)) return box.press(p->x, p->y).answer;
  if (const auto* r = std::get_if<Release>(&input)) return box.release(r->x, r->y).answer;
  return box.close_button();
}

class BoxRules : public testing::TestWithParam<Case> {};

TEST_P(BoxRules, SequenceGivesItsAnswer) {
  const Case& c = GetParam();
  BoxModel box("A line\nAnother line", c.buttons, fixed_font());
  std::optional<BoxAnswer> answer;
  for (std::size_t i = 0; i < c.inputs.size(); ++i) {
    answer = give(box, c.inputs[i]);
    if (i + 1 < c.inputs.size()) {
      ASSERT_FALSE(answer) << "input " << i << " answered";
    }
  }
  EXPECT_EQ(answer, c.answer);
  EXPECT_EQ(box.focused(), c.focus_after);
}

std::string case_name(const testing::TestParamInfo<Case>& param_info) {
  return param_info.param.name;
}

using enum BoxKey;
using enum BoxAnswer;
constexpr BoxButtons yes_no_box = BoxButtons::yes_no;
constexpr BoxButtons ok_box = BoxButtons::ok;

INSTANTIATE_TEST_SUITE_P(
    Keys, BoxRules,
    testing::Values(Case{"EnterTakesYesFocusedFirst", yes_no_box, {enter}, yes, 0},
                    Case{"SpaceTakesYes", yes_no_box, {space}, yes, 0},
                    Case{"Y", yes_no_box, {y}, yes, 0}, Case{"N", yes_no_box, {n}, no, 0},
                    Case{"YAfterTheFocusMovedToNo", yes_no_box, {tab, y}, yes, 1},
                    Case{"TabEnterTakesNo", yes_no_box, {tab, enter}, no, 1},
                    Case{"TabTabComesBackToYes", yes_no_box, {tab, tab, space}, yes, 0},
                    Case{"ShiftTabGoesRoundToNo", yes_no_box, {back_tab, enter}, no, 1},
                    Case{"LeftGoesRoundToNo", yes_no_box, {left}, std::nullopt, 1},
                    Case{"UpGoesRoundToNo", yes_no_box, {up}, std::nullopt, 1},
                    Case{"RightMovesToNo", yes_no_box, {right}, std::nullopt, 1},
                    Case{"DownDownComesBackToYes", yes_no_box, {down, down}, std::nullopt, 0},
                    Case{"EscIsNothingWithoutCancel", yes_no_box, {escape}, std::nullopt, 0},
                    Case{"OtherKeyIsNothing", yes_no_box, {other}, std::nullopt, 0},
                    Case{"OkEnter", ok_box, {enter}, ok, 0},
                    Case{"OkSpace", ok_box, {space}, ok, 0}, Case{"OkEsc", ok_box, {escape}, ok, 0},
                    Case{"OkTabStaysOnOk", ok_box, {tab, back_tab, right}, std::nullopt, 0},
                    Case{"OkIgnoresYAndN", ok_box, {y, n, other}, std::nullopt, 0}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    Pointer, BoxRules,
    testing::Values(
        Case{"ClickOnYes", yes_no_box, {press_yes, release_yes}, yes, 0},
        Case{"ClickOnNo", yes_no_box, {press_no, release_no}, no, 1},
        Case{"PressOnNoDraggedOntoYes", yes_no_box, {press_no, release_yes}, std::nullopt, 1},
        Case{"PressOnYesDraggedOntoNo", yes_no_box, {press_yes, release_no}, std::nullopt, 0},
        Case{"PressOnYesDraggedOutside", yes_no_box, {press_yes, release_outside}, std::nullopt, 0},
        Case{
            "PressOutsideReleasedOnYes", yes_no_box, {press_outside, release_yes}, std::nullopt, 0},
        Case{"ReleaseAloneIsNothing", yes_no_box, {release_no}, std::nullopt, 0},
        Case{"DragOffThenClickAgain",
             yes_no_box,
             {press_no, release_yes, press_no, release_no},
             no,
             1},
        Case{"PressOnNoMovesTheFocusForEnter",
             yes_no_box,
             {press_no, release_outside, enter},
             no,
             1},
        Case{"PressOutsideKeepsTheFocus", yes_no_box, {tab, press_outside, enter}, no, 1},
        Case{"OkClick", ok_box, {Press{90, 70}, Release{156, 85}}, ok, 0},
        Case{"OkPressDraggedJustPastItsEdge",
             ok_box,
             {Press{90, 70}, Release{157, 70}},
             std::nullopt,
             0}),
    case_name);

INSTANTIATE_TEST_SUITE_P(
    CloseButton, BoxRules,
    testing::Values(Case{"NothingOnYesNo", yes_no_box, {Close{}}, std::nullopt, 0},
                    Case{"OkOnOk", ok_box, {Close{}}, ok, 0}),
    case_name);

TEST(BoxModel, ABoxDismissedGivesNoOrOk) {
  EXPECT_EQ(BoxModel("q", BoxButtons::yes_no, fixed_font()).dismissed(), BoxAnswer::no);
  EXPECT_EQ(BoxModel("q", BoxButtons::ok, fixed_font()).dismissed(), BoxAnswer::ok);
}

// The button held down between press and release, and when the box asks
// to be drawn again.
TEST(BoxModel, HeldButtonAndRedraws) {
  BoxModel box("A line\nAnother line", BoxButtons::yes_no, fixed_font());
  EXPECT_EQ(box.held(), -1);
  EXPECT_EQ(box.press(press_no.x, press_no.y), (BoxOutcome{std::nullopt, true}));
  EXPECT_EQ(box.held(), 1);
  EXPECT_EQ(box.release(release_yes.x, release_yes.y), (BoxOutcome{std::nullopt, true}));
  EXPECT_EQ(box.held(), -1);
  EXPECT_EQ(box.key(BoxKey::tab), (BoxOutcome{std::nullopt, true}));
  EXPECT_EQ(box.key(BoxKey::other), (BoxOutcome{std::nullopt, false}));
  EXPECT_EQ(box.key(BoxKey::escape), (BoxOutcome{std::nullopt, false}));
  EXPECT_EQ(box.key(BoxKey::enter), (BoxOutcome{BoxAnswer::yes, false}));
}

}  // namespace
}  // namespace console::window
