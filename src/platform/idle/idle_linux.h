#pragma once
// The idle query on a Linux desktop: one source chosen at start-up (see
// ChooseIdleSource), asked on each tick of an idle-mode schedule.
#include <cstdint>
#include <memory>

#include "platform/idle/idle.h"

namespace tolvane {

class LinuxIdleSource;

class LinuxIdleService final : public IdleService {
 public:
  LinuxIdleService();
  ~LinuxIdleService() override;
  std::int32_t IdleSeconds() override;
  // False from start-up when no source answered, and from the moment the chosen
  // source is lost.
  bool Available() override;

 private:
  std::unique_ptr<LinuxIdleSource> source_;
};

}  // namespace tolvane
