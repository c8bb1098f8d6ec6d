#pragma once
// Run-time binding against the shared libraries that only some features use (Linux
// only): such a library is loaded when the feature is first used, not when the program
// starts, and a missing one leaves only that feature out.
#include <optional>

#include "platform/system/bind.h"

namespace tolvane {

// Loads a library by its file name ("libpulse.so.0") through the dynamic linker's
// usual search, binding all its symbols at once and keeping them to itself.
ExportLoader& SystemExportLoader();

// The bound address of `function`, or nullptr when its library cannot be loaded or lacks it.
void* TryBind(DeclaredFunction& function);

template <typename Fn>
Fn TryBindAs(DeclaredFunction& function) {
  return reinterpret_cast<Fn>(TryBind(function));
}

// A table of the functions that the program calls in such a library, bound together
// so that a caller checks once rather than at every call. The table's struct has a
// TOLVANE_BOUND_MEMBER(function) for each, a member of the function's own name and
// type; a function that returns std::optional of the table binds each member with
// TOLVANE_BIND_OR_RETURN and returns nullopt at the first one that cannot be bound,
// so a library that is missing, or too old for one of them, is not used at all.
#define TOLVANE_BOUND_MEMBER(function) decltype(&::function) function = nullptr;
#define TOLVANE_BIND_OR_RETURN(table, library, function)                                   \
  static ::tolvane::DeclaredFunction function##Declared{library, #function};               \
  (table).function = ::tolvane::TryBindAs<decltype((table).function)>(function##Declared); \
  if ((table).function == nullptr) return std::nullopt;

}  // namespace tolvane
