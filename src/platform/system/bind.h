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
// while a DeniedFunction lives, every binding of a function of that name reads as
// missing, also one already bound. The denial is written into the table of bindings,
// so binding a function never asks about denials. Tests make them; the program never does.
class DeniedFunction {
 public:
  explicit DeniedFunction(std::string_view function);
  ~DeniedFunction();
  DeniedFunction(const DeniedFunction&) = delete;
  DeniedFunction& operator=(const DeniedFunction&) = delete;

 private:
  std::string function_;
};
// Whether a DeniedFunction of that name lives now (for the loader, which consults it
// only while it binds a function for the first time).
bool IsDenied(std::string_view function);

// One function's row in the process's table of bindings.
struct BoundFunction;

// A function declared by library and name. Its first use looks it up in the process's
// one table of bindings, where every function is searched for once, the first time any
// declaration of it is used, and kept, also when no library supplies it. Declarations of
// the same function ("user32" and "USER32.DLL" name one library) share one row. Every
// later use reads the row: no library is loaded, nothing allocated, no lock taken.
class DeclaredFunction {
 public:
  constexpr DeclaredFunction(std::string_view library, std::string_view function)
      : library_(library), function_(function) {}
  DeclaredFunction(const DeclaredFunction&) = delete;
  DeclaredFunction& operator=(const DeclaredFunction&) = delete;

  // The bound address; nullptr when no library supplies the function or it is denied.
  // `loader` is used only the first time the process binds this function.
  void* Address(ExportLoader& loader);
  std::string FailureMessage() const { return BindFailureMessage(library_, function_); }
  std::string_view library() const { return library_; }
  std::string_view function() const { return function_; }

 private:
  std::string_view library_;
  std::string_view function_;
  std::atomic<const BoundFunction*> binding_{nullptr};  // the row, once looked up
};

}  // namespace tolvane
