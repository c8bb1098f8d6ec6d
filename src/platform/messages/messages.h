#pragma once
// Message boxes: the only way the program tells the user anything outside its window.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "platform/datetime/datetime.h"

namespace tolvane {

// Shows one box and returns what the system box returned (IDOK = 1 ... IDNO = 7,
// 0 when the box could not be shown). Texts are GBK.
class MessageBoxService {
 public:
  virtual ~MessageBoxService() = default;
  virtual int ShowBox(const std::string& text, const std::string& title, std::int32_t style) = 0;
};

struct DateTimeValue {
  DateTime value;
};
// Any value the program may put in a box; monostate stands for "anything else".
using MessageValue = std::variant<std::monostate, std::string, std::uint8_t, std::int16_t, std::int32_t,
                                  std::int64_t, float, double, bool, DateTimeValue>;

inline constexpr std::int32_t kMbOk = 0;
inline constexpr std::int32_t kMbOkCancel = 0x1;
inline constexpr std::int32_t kMbIconError = 0x10;
inline constexpr std::int32_t kMbIconQuestion = 0x20;
inline constexpr std::int32_t kMbSystemModal = 0x1000;
inline constexpr std::int32_t kMbTaskModal = 0x2000;

// Button results: 0 OK, 1 Cancel, 2 Abort, 3 Retry, 4 Ignore, 5 Yes, 6 No.
std::string MessageToText(const MessageValue& value);
std::int32_t EffectiveStyle(std::int32_t style);
std::int32_t ButtonResult(int boxReturn);
extern const char* const kDefaultMessageTitle;  // "信息："

std::int32_t ShowMessage(MessageBoxService& boxes, const MessageValue& message, std::int32_t style = 0,
                         const std::optional<std::string>& title = std::nullopt);

}  // namespace tolvane
