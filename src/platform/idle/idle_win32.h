#pragma once
// The idle query on Windows.
#include <cstdint>

#include "platform/idle/idle.h"

namespace tolvane {

class Win32IdleService final : public IdleService {
 public:
  std::int32_t IdleSeconds() override;
};

}  // namespace tolvane
