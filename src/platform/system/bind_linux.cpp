#include "platform/system/bind_linux.h"

#include <dlfcn.h>

#include <string>

namespace tolvane {
namespace {

class LinuxExportLoader final : public ExportLoader {
 public:
  void* Load(std::string_view library) override {
    const std::string name(library);
    return dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  void* FindByName(void* module, std::string_view function) override {
    const std::string name(function);
    return dlsym(module, name.c_str());
  }
  void* FindByOrdinal(void*, std::uint16_t) override { return nullptr; }  // a shared object has no ordinals
  void Release(void* module) override { dlclose(module); }
};

}  // namespace

ExportLoader& SystemExportLoader() {
  static LinuxExportLoader loader;
  return loader;
}

void* TryBind(DeclaredFunction& function) { return function.Address(SystemExportLoader()); }

}  // namespace tolvane
