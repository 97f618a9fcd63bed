#include "survey_entry/console/window/box_model.h"

#include <algorithm>

namespace console::window {

namespace {

constexpr int margin = 14;
constexpr int button_min_width = 75;
constexpr int button_gap = 10;
constexpr int box_min_width = 240;

std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  for (;;) {
    const auto end = text.find('\n');
    lines.push_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

}  // namespace

BoxAnswer dismissed_answer(BoxButtons buttons) {
  return buttons == BoxButtons::ok ? BoxAnswer::ok : BoxAnswer::no;
}

BoxLayout lay_out_box(std::string_view text, BoxButtons buttons, const BoxFontMetrics& metrics) {
  BoxLayout layout;
  const int line_height = metrics.ascent + metrics.descent + 3;
  const int button_height = line_height + 10;

  int text_width = 0;
  int baseline = margin + metrics.ascent;
  for (const std::string_view line : split_lines(text)) {
    layout.lines.push_back({std::string(line), margin, baseline});
    text_width = std::max(text_width, metrics.text_width(line));
    baseline += line_height;
  }

  if (buttons == BoxButtons::yes_no) {
    layout.buttons = {{BoxAnswer::yes, "Yes", {}}, {BoxAnswer::no, "No", {}}};
  } else {
    layout.buttons = {{BoxAnswer::ok, "OK", {}}};
  }
  int row_width = button_gap * static_cast<int>(layout.buttons.size() - 1);
  for (BoxButton& b : layout.buttons) {
    b.rect.width = std::max(button_min_width, metrics.text_width(b.label) + 20);
    b.rect.height = button_height;
    row_width += b.rect.width;
  }

  layout.width = std::max({box_min_width, text_width + 2 * margin, row_width + 2 * margin});
  const int text_height = static_cast<int>(layout.lines.size()) * line_height;
  layout.height = margin + text_height + margin + button_height + margin;

  int x = (layout.width - row_width) / 2;
  for (BoxButton& b : layout.buttons) {
    b.rect.x = x;
    b.rect.y = layout.height - margin - button_height;
    b.label_x = b.rect.x + (b.rect.width - metrics.text_width(b.label)) / 2;
    b.label_baseline = b.rect.y + (b.rect.height + metrics.ascent - metrics.descent) / 2;
    x += b.rect.width + button_gap;
  }
  return layout;
}

BoxModel::BoxModel(std::string_view text, BoxButtons buttons, const BoxFontMetrics& metrics)
    : kind_(buttons), layout_(lay_out_box(text, buttons, metrics)) {}

int BoxModel::button_at(int x, int y) const {
  for (std::size_t i = 0; i < layout_.buttons.size(); ++i) {
    if (layout_.buttons[i].rect.contains(x, y)) return static_cast<int>(i);
  }
  return -1;
}

BoxOutcome BoxModel::move_focus(int step) {
  const int count = static_cast<int>(layout_.buttons.size());
  focus_ = ((focus_ + step) % count + count) % count;
  return {std::nullopt, true};
}

BoxOutcome BoxModel::key(BoxKey key) {
  switch (key) {
    case BoxKey::enter:
    case BoxKey::space:
      return {layout_.buttons[static_cast<std::size_t>(focus_)].answer, false};
    case BoxKey::tab:
    case BoxKey::right:
    case BoxKey::down:
      return move_focus(1);
    case BoxKey::back_tab:
    case BoxKey::left:
    case BoxKey::up:
      return move_focus(-1);
    case BoxKey::y:
      if (kind_ == BoxButtons::yes_no) return {BoxAnswer::yes, false};
      return {};
    case BoxKey::n:
      if (kind_ == BoxButtons::yes_no) return {BoxAnswer::no, false};
      return {};
    case BoxKey::escape:
      if (kind_ == BoxButtons::ok) return {BoxAnswer::ok, false};
      return {};
    case BoxKey::other:
      return {};
  }
  return {};
}

BoxOutcome BoxModel::press(int x, int y) {
  held_ = button_at(x, y);
  if (held_ >= 0) focus_ = held_;
  return {std::nullopt, true};
}

BoxOutcome BoxModel::release(int x, int y) {
  const int released = button_at(x, y);
  const int was_held = held_;
  held_ = -1;
  if (released >= 0 && released == was_held) {
    return {layout_.buttons[static_cast<std::size_t>(released)].answer, true};
  }
  return {std::nullopt, true};
}

std::optional<BoxAnswer> BoxModel::close_button() const {
  if (kind_ == BoxButtons::ok) return BoxAnswer::ok;
  return std::nullopt;
}

}  // namespace console::window
