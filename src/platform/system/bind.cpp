#include "platform/system/bind.h"

#include <algorithm>
#include <mutex>
#include <vector>

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

namespace {

// The program never denies a function, so a binding normally reads only the count and
// takes no lock (the threads runtime binds GetTickCount64 from its own waits).
std::atomic<int> deniedCount{0};
std::mutex deniedLock;

std::vector<std::string>& DeniedNames() {
  static std::vector<std::string> names;
  return names;
}

}  // namespace

DeniedFunction::DeniedFunction(std::string_view function) : function_(function) {
  const std::lock_guard<std::mutex> hold(deniedLock);
  DeniedNames().push_back(function_);
  deniedCount.fetch_add(1);
}

DeniedFunction::~DeniedFunction() {
  const std::lock_guard<std::mutex> hold(deniedLock);
  auto& names = DeniedNames();
  names.erase(std::find(names.begin(), names.end(), function_));
  deniedCount.fetch_sub(1);
}

bool IsDenied(std::string_view function) {
  if (deniedCount.load() == 0) return false;
  const std::lock_guard<std::mutex> hold(deniedLock);
  const auto& names = DeniedNames();
  return std::find(names.begin(), names.end(), function) != names.end();
}

void* DeclaredFunction::Address(ExportLoader& loader) {
  if (IsDenied(function_)) return nullptr;
  if (void* bound = address_.load(std::memory_order_acquire)) return bound;
  void* address = ResolveExport(loader, library_, function_).address;
  if (address != nullptr) address_.store(address, std::memory_order_release);
  return address;
}

}  // namespace tolvane
