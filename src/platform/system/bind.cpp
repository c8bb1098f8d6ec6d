#include "platform/system/bind.h"

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

void* DeclaredFunction::Address(ExportLoader& loader) {
  if (void* bound = address_.load(std::memory_order_acquire)) return bound;
  void* address = ResolveExport(loader, library_, function_).address;
  if (address != nullptr) address_.store(address, std::memory_order_release);
  return address;
}

}  // namespace tolvane
