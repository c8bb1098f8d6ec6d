#pragma once
// The whole program on the headless host, on virtual time.
#include <memory>

#include "app/program.h"
#include "headless/headless_host.h"
#include "headless/memory_files.h"
#include "platform/messages/fatal.h"
#include "ui/control_names.h"

namespace tolvane::testing {

// 2026-12-07 12:00:00, the moment virtual time starts.
inline DateTime StartMoment() { return *BuildDateTime(2026, 12, 7, 12, 0, 0); }
inline DateTime Duration(int seconds) { return AddSeconds(DateOnly(StartMoment()), seconds); }

struct World {
  explicit World(bool build = true, DateTime start = StartMoment()) : host(start) {
    host.SetEventSink(&program);
    if (build) host.Build();
  }
  headless::HeadlessHost host;
  headless::ScriptedMessageBoxes boxes{host};
  headless::RecordingPower power{host};
  headless::RecordingSound sound{host};
  headless::MemoryFileSystem files;
  Program program{Services{host, host, boxes, power, sound, host, &files}};

  // Chooses countdown mode with the given duration and presses "启 动".
  void StartCountdown(int seconds) {
    host.Click(ui::names::单选框6);
    host.SetValue(ui::names::日期框2, Duration(seconds));
    host.Click(ui::names::按钮1);
  }
  void StartIdle(int seconds) {
    host.Click(ui::names::单选框8);
    host.SetValue(ui::names::日期框3, Duration(seconds));
    host.Click(ui::names::按钮1);
  }
  std::string Board() { return host.Caption(ui::names::标签2); }
  bool Running() { return host.Disabled(ui::names::按钮1); }
};

}  // namespace tolvane::testing
