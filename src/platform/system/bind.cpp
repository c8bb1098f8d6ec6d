#include "platform/system/bind.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <thread>

namespace tolvane {

bool NamesOrdinal(std::string_view function) { return !function.empty() && function.front() == '#'; }

std::optional<std::uint16_t> ParseOrdinal(std::string_view function) {
  if (!NamesOrdinal(function) || function.size() < 2) return std::nullopt;
  std::uint32_t value = 0;
  for (char c : function.substr(1)) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
    if (value > 0xFFFF) return std::nullopt;  // stop before the sum can grow further
  }
  if (value == 0) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

std::string BindFailureMessage(std::string_view library, std::string_view function) {
  std::string message;
  if (library.empty()) {
    message = "无法找到指定DLL库文件中的输出命令“";
  } else {
    message = "无法找到指定DLL库文件“";
    message += library;
    message += "”中的输出命令“";
  }
  message += function;
  message += "”";
  return message;
}

std::string WithLibraryExtension(std::string_view library) {
  std::string name(library);
  const auto lastSeparator = name.find_last_of("\\/");
  const auto dot = name.rfind('.');
  if (dot == std::string::npos || (lastSeparator != std::string::npos && dot < lastSeparator)) name += ".dll";
  return name;
}

namespace {

void* FindIn(ExportLoader& loader, void* module, std::string_view function) {
  if (!NamesOrdinal(function)) return loader.FindByName(module, function);
  const auto ordinal = ParseOrdinal(function);
  return ordinal ? loader.FindByOrdinal(module, *ordinal) : nullptr;
}

}  // namespace

BoundExport ResolveExport(ExportLoader& loader, std::string_view library, std::string_view function) {
  if (!library.empty()) {
    void* module = loader.Load(library);
    if (module == nullptr) return {};
    if (void* address = FindIn(loader, module, function)) return {address, module};
    loader.Release(module);
    return {};
  }
  for (std::string_view candidate : kFunctionSearchLibraries) {
    void* module = loader.Load(candidate);
    if (module == nullptr) continue;
    if (void* address = FindIn(loader, module, function)) return {address, module};
    loader.Release(module);
  }
  return {};
}

// A row of the table: written under the table's lock, read by callers through `address`.
struct BoundFunction {
  std::string library;
  std::string function;
  void* found = nullptr;              // what the search found, nullptr for nothing
  std::atomic<void*> address{nullptr};  // what callers get: `found`, or nullptr while denied
  BoundFunction* next = nullptr;
};

namespace {

// Held only for a few reads and writes of the table, never across a call into the
// loader or the threads library: the threads library's own timed waits read the tick
// count, which binds a function through this table, so the table waits on none of its locks.
class TableLock {
 public:
  void lock() {
    while (held_.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
  }
  void unlock() { held_.clear(std::memory_order_release); }

 private:
  std::atomic_flag held_ = ATOMIC_FLAG_INIT;
};

// How many DeniedFunction objects name a function.
struct Denial {
  std::string function;
  int count = 0;
  Denial* next = nullptr;
};

// The table. Rows and denial records live as long as the process: a function bound
// once stays bound, and a caller may read its row to the end.
TableLock tableLock;
BoundFunction* bindings = nullptr;
Denial* denials = nullptr;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameText(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) { return Lower(x) == Lower(y); });
}

// A library's name without the ".dll" that loading it would add anyway.
std::string_view LibraryStem(std::string_view library) {
  constexpr std::string_view kExtension = ".dll";
  if (library.size() >= kExtension.size() && SameText(library.substr(library.size() - kExtension.size()), kExtension)) {
    library.remove_suffix(kExtension.size());
  }
  return library;
}

// Under the lock.
BoundFunction* FindBinding(std::string_view library, std::string_view function) {
  for (BoundFunction* row = bindings; row != nullptr; row = row->next) {
    if (row->function == function && SameText(LibraryStem(row->library), LibraryStem(library))) return row;
  }
  return nullptr;
}

Denial* FindDenial(std::string_view function) {
  for (Denial* denial = denials; denial != nullptr; denial = denial->next) {
    if (denial->function == function) return denial;
  }
  return nullptr;
}

bool DeniedNow(std::string_view function) {
  const Denial* denial = FindDenial(function);
  return denial != nullptr && denial->count > 0;
}

// Shows callers of `function` what its rows found, or nothing while it is denied.
void Publish(std::string_view function) {
  const bool denied = DeniedNow(function);
  for (BoundFunction* row = bindings; row != nullptr; row = row->next) {
    if (row->function == function) row->address.store(denied ? nullptr : row->found, std::memory_order_release);
  }
}

const BoundFunction* Bound(ExportLoader& loader, std::string_view library, std::string_view function) {
  {
    const std::lock_guard<TableLock> hold(tableLock);
    if (const BoundFunction* row = FindBinding(library, function)) return row;
  }
  // Searched without the lock: the loader takes the system's own. Two threads binding
  // the same function for the first time may both search; the first to finish fills
  // the row, and the library the other loaded stays loaded, as every bound library does.
  void* found = ResolveExport(loader, library, function).address;
  auto row = std::make_unique<BoundFunction>();
  row->library = library;
  row->function = function;
  row->found = found;
  const std::lock_guard<TableLock> hold(tableLock);
  if (const BoundFunction* earlier = FindBinding(library, function)) return earlier;
  row->next = bindings;
  bindings = row.release();
  Publish(function);
  return bindings;
}

}  // namespace

DeniedFunction::DeniedFunction(std::string_view function) : function_(function) {
  auto created = std::make_unique<Denial>();
  const std::lock_guard<TableLock> hold(tableLock);
  Denial* denial = FindDenial(function_);
  if (denial == nullptr) {
    created->function = function_;
    created->next = denials;
    denials = denial = created.release();
  }
  ++denial->count;
  Publish(function_);
}

DeniedFunction::~DeniedFunction() {
  const std::lock_guard<TableLock> hold(tableLock);
  --FindDenial(function_)->count;
  Publish(function_);
}

bool IsDenied(std::string_view function) {
  const std::lock_guard<TableLock> hold(tableLock);
  return DeniedNow(function);
}

void* DeclaredFunction::Address(ExportLoader& loader) {
  const BoundFunction* row = binding_.load(std::memory_order_acquire);
  if (row == nullptr) {
    row = Bound(loader, library_, function_);
    binding_.store(row, std::memory_order_release);
  }
  return row->address.load(std::memory_order_acquire);
}

}  // namespace tolvane
