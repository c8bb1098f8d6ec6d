#pragma once
// The idle query on Windows, and the date pickers' display formats, which go
// through the same run-time binding.
#include <cstdint>
#include <string>

#include "platform/idle/idle.h"

namespace tolvane {

class Win32IdleService final : public IdleService {
 public:
  std::int32_t IdleSeconds() override;
};

// Gives a date-time picker its display format (GBK text). Sent as UTF-16 so the
// picker reads correctly whatever the system code page.
void SetPickerFormat(void* hwnd, const std::string& gbkFormat);

}  // namespace tolvane
