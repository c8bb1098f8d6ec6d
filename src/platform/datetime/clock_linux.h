#pragma once
// The local wall clock of Linux (the time zone from the C library).
#include "platform/datetime/datetime.h"

namespace tolvane {

class LinuxClock : public Clock {
 public:
  DateTimeParts LocalNow() const override;
};

}  // namespace tolvane
