#include "ui/keyboard.h"

#include <algorithm>

#include "ui/events.h"

namespace tolvane::ui {
namespace {

// The candidates in reading order: rows by the first control's vertical band, each
// row left to right.
std::vector<const FocusCandidate*> ReadingOrder(std::span<const FocusCandidate> candidates) {
  std::vector<const FocusCandidate*> byTop;
  for (const FocusCandidate& c : candidates) byTop.push_back(&c);
  std::stable_sort(byTop.begin(), byTop.end(), [](auto* a, auto* b) { return a->rect.top < b->rect.top; });
  std::vector<const FocusCandidate*> out;
  std::vector<bool> placed(byTop.size(), false);
  for (std::size_t i = 0; i < byTop.size(); ++i) {
    if (placed[i]) continue;
    const int bandTop = byTop[i]->rect.top, bandBottom = bandTop + byTop[i]->rect.height;
    std::vector<const FocusCandidate*> row;
    for (std::size_t j = i; j < byTop.size(); ++j) {
      const int centre = byTop[j]->rect.top + byTop[j]->rect.height / 2;
      if (!placed[j] && centre >= bandTop && centre < bandBottom) row.push_back(byTop[j]), placed[j] = true;
    }
    if (!placed[i]) row.push_back(byTop[i]), placed[i] = true;  // a control of no height
    std::stable_sort(row.begin(), row.end(), [](auto* a, auto* b) { return a->rect.left < b->rect.left; });
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

const FocusCandidate* Find(std::span<const FocusCandidate> candidates, std::string_view name) {
  for (const FocusCandidate& c : candidates) {
    if (c.name == name) return &c;
  }
  return nullptr;
}

}  // namespace

std::vector<std::string_view> TabOrder(std::span<const FocusCandidate> candidates) {
  std::vector<std::string_view> stops;
  std::vector<std::string_view> groupsSeen;
  for (const FocusCandidate* c : ReadingOrder(candidates)) {
    if (c->group.empty()) {
      stops.push_back(c->name);
      continue;
    }
    if (std::find(groupsSeen.begin(), groupsSeen.end(), c->group) != groupsSeen.end()) continue;
    groupsSeen.push_back(c->group);
    std::string_view stop = c->name;
    for (const FocusCandidate& other : candidates) {
      if (other.group == c->group && other.checked) stop = other.name;
    }
    stops.push_back(stop);
  }
  return stops;
}

std::string_view NextTabStop(std::span<const FocusCandidate> candidates, std::string_view current, bool forward) {
  const std::vector<std::string_view> stops = TabOrder(candidates);
  if (stops.empty()) return {};
  // A radio box that is not its group's stop stands at its group's stop.
  if (const FocusCandidate* c = Find(candidates, current); c != nullptr && !c->group.empty()) {
    for (std::string_view stop : stops) {
      if (const FocusCandidate* s = Find(candidates, stop); s != nullptr && s->group == c->group) current = stop;
    }
  }
  const auto it = std::find(stops.begin(), stops.end(), current);
  if (it == stops.end()) return forward ? stops.front() : stops.back();
  const std::size_t i = static_cast<std::size_t>(it - stops.begin()), n = stops.size();
  return stops[forward ? (i + 1) % n : (i + n - 1) % n];
}

std::string_view NextInRadioGroup(std::span<const FocusCandidate> candidates, std::string_view current, bool forward) {
  const FocusCandidate* c = Find(candidates, current);
  if (c == nullptr || c->group.empty()) return current;
  std::vector<std::string_view> members;
  for (const FocusCandidate* m : ReadingOrder(candidates)) {
    if (m->group == c->group) members.push_back(m->name);
  }
  const std::size_t i = static_cast<std::size_t>(std::find(members.begin(), members.end(), current) - members.begin());
  const std::size_t n = members.size();
  return members[forward ? (i + 1) % n : (i + n - 1) % n];
}

bool ClickableLabel(std::string_view name) {
  const ControlDef* def = FindControl(name);
  if (def == nullptr || def->type != ControlType::Label) return false;
  return FindBinding(name, Event::LeftButtonDown) != nullptr;
}

bool TakesFocus(const ControlDef& control) {
  using T = ControlType;
  switch (control.type) {
    case T::Button:
    case T::CheckBox:
    case T::RadioBox:
    case T::EditBox:
    case T::DatePicker: return true;
    case T::Label: return ClickableLabel(control.name);
    default: return false;
  }
}

}  // namespace tolvane::ui
