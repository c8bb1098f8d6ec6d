#pragma once
// The local wall clock of Windows (time zone and daylight saving applied).
#include "platform/datetime/datetime.h"

namespace tolvane {

class Win32Clock : public Clock {
 public:
  DateTimeParts LocalNow() const override;
};

}  // namespace tolvane
