#include "platform/messages/messages.h"

#include <cstdio>
#include <type_traits>

namespace tolvane {

const char* const kDefaultMessageTitle = "信息：";

namespace {
constexpr std::size_t kMaxConvertedBytes = 100;
}  // namespace

std::string MessageToText(const MessageValue& value) {
  return std::visit(
      [](const auto& v) -> std::string {
        using T = std::decay_t<decltype(v)>;
        std::string text;
        if constexpr (std::is_same_v<T, std::string>) {
          return v;  // texts are shown as they are, whatever their length
        } else if constexpr (std::is_same_v<T, std::monostate>) {
          return text;
        } else if constexpr (std::is_same_v<T, bool>) {
          text = v ? "真" : "假";
        } else if constexpr (std::is_same_v<T, std::uint8_t>) {
          text = std::to_string(static_cast<unsigned>(v));
        } else if constexpr (std::is_same_v<T, std::int16_t> || std::is_same_v<T, std::int32_t>) {
          text = IntegerToText(v);
        } else if constexpr (std::is_same_v<T, std::int64_t>) {
          text = LongToText(v);
        } else if constexpr (std::is_same_v<T, float>) {
          char buffer[64];
          const int n = std::snprintf(buffer, sizeof buffer, "%.6g", static_cast<double>(v));
          text.assign(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
        } else if constexpr (std::is_same_v<T, double>) {
          text = RealToText(v);
        } else if constexpr (std::is_same_v<T, DateTimeValue>) {
          text = DateTimeToText(v.value);
        }
        if (text.size() > kMaxConvertedBytes) text.resize(kMaxConvertedBytes);
        return text;
      },
      value);
}

std::int32_t EffectiveStyle(std::int32_t style) {
  // A box that is not system-modal is task-modal, so the whole program waits for it.
  return (style & kMbSystemModal) != 0 ? style : (style | kMbTaskModal);
}

std::int32_t ButtonResult(int boxReturn) {
  // IDOK (1) .. IDNO (7) become 0 .. 6; a failed box (0) or anything else reads as OK.
  return boxReturn >= 1 && boxReturn <= 7 ? boxReturn - 1 : 0;
}

std::int32_t ShowMessage(MessageBoxService& boxes, const MessageValue& message, std::int32_t style,
                         const std::optional<std::string>& title) {
  const int result =
      boxes.ShowBox(MessageToText(message), title ? *title : std::string(kDefaultMessageTitle), EffectiveStyle(style));
  return ButtonResult(result);
}

}  // namespace tolvane
