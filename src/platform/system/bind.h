#pragma once
// Binding system functions by library and name at run time. The search itself is
// kept apart from the system loader so it can be exercised anywhere.
#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tolvane {

// Searched in this order for a function declared without a library.
inline constexpr std::array<std::string_view, 6> kFunctionSearchLibraries = {
    "Kernel32.dll", "Gdi32.dll", "User32.dll", "Advapi32.dll", "Mpr.dll", "Shell32.dll"};

// A function name starting with '#' stands for an ordinal.
bool NamesOrdinal(std::string_view function);
// The ordinal of "#<decimal>", which must be 1..65535 (ordinals are 16 bits and 0
// names nothing); nullopt for any other text. An out-of-range ordinal is refused
// rather than cut down, which could silently bind a different function.
std::optional<std::uint16_t> ParseOrdinal(std::string_view function);

// The fatal report text for a function that could not be bound; an empty library
// means the function was searched for in kFunctionSearchLibraries.
std::string BindFailureMessage(std::string_view library, std::string_view function);

// "user32" -> "user32.dll": a library named without an extension gets the usual one.
std::string WithLibraryExtension(std::string_view library);

// What the search needs from the system loader.
class ExportLoader {
 public:
  virtual ~ExportLoader() = default;
  virtual void* Load(std::string_view library) = 0;  // nullptr when it cannot be loaded
  virtual void* FindByName(void* module, std::string_view function) = 0;
  virtual void* FindByOrdinal(void* module, std::uint16_t ordinal) = 0;
  virtual void Release(void* module) = 0;
};

struct BoundExport {
  void* address = nullptr;  // nullptr when no library supplies the function
  void* module = nullptr;   // the library that does; it stays loaded
};

// Loads `library` (or each search library in turn) and looks the function up;
// a searched library that does not export it is released again.
BoundExport ResolveExport(ExportLoader& loader, std::string_view library, std::string_view function);

// Reaching the fallback of a function that an older Windows lacks, on any Windows:
// while a DeniedFunction lives, binding a function of that name reports it missing,
// also one already bound. Tests make them; the program never does.
class DeniedFunction {
 public:
  explicit DeniedFunction(std::string_view function);
  ~DeniedFunction();
  DeniedFunction(const DeniedFunction&) = delete;
  DeniedFunction& operator=(const DeniedFunction&) = delete;

 private:
  std::string function_;
};
bool IsDenied(std::string_view function);

// A function declared by library and name, bound on first use and kept bound.
class DeclaredFunction {
 public:
  constexpr DeclaredFunction(std::string_view library, std::string_view function)
      : library_(library), function_(function) {}
  DeclaredFunction(const DeclaredFunction&) = delete;
  DeclaredFunction& operator=(const DeclaredFunction&) = delete;

  // The bound address, nullptr when it cannot be bound (tried again next time) or is denied.
  void* Address(ExportLoader& loader);
  std::string FailureMessage() const { return BindFailureMessage(library_, function_); }
  std::string_view library() const { return library_; }
  std::string_view function() const { return function_; }

 private:
  std::string_view library_;
  std::string_view function_;
  // Atomic so a racing first use on another thread at worst binds twice, harmlessly.
  std::atomic<void*> address_{nullptr};
};

}  // namespace tolvane
