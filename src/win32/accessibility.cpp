// Dynamic Annotation of controls whose own text does not tell a screen reader what
// they are: ole32 and the annotation service are bound at run time.
#include "win32/accessibility.h"

#include <oleacc.h>

#include "platform/system/bind_win32.h"

namespace tolvane::win32 {
namespace {
DeclaredFunction coInitializeExFunction{"ole32", "CoInitializeEx"};
DeclaredFunction coUninitializeFunction{"ole32", "CoUninitialize"};
DeclaredFunction coCreateInstanceFunction{"ole32", "CoCreateInstance"};

using CoInitializeExFn = HRESULT(WINAPI*)(void* reserved, DWORD model);
using CoUninitializeFn = void(WINAPI*)();
using CoCreateInstanceFn = HRESULT(WINAPI*)(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** out);

// Spelled out here so no import library is needed for them.
constexpr GUID kAccPropServicesClass = {0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
constexpr GUID kAccPropServicesInterface = {0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
constexpr GUID kNameProperty = {0x608d3df8, 0x8128, 0x4aa7, {0xa4, 0x28, 0xf5, 0x5e, 0x49, 0x26, 0x72, 0x91}};
constexpr GUID kValueProperty = {0x123fe443, 0x211a, 0x4615, {0x95, 0x27, 0xc4, 0x5a, 0x7e, 0x93, 0x71, 0x7a}};
}  // namespace

AccessibleNames::~AccessibleNames() {
  if (services_ != nullptr) services_->Release();
  if (comStarted_) {
    if (auto uninitialize = TryBindAs<CoUninitializeFn>(coUninitializeFunction)) uninitialize();
  }
}

bool AccessibleNames::Ready() {
  if (tried_) return services_ != nullptr;
  tried_ = true;
  const auto initialize = TryBindAs<CoInitializeExFn>(coInitializeExFunction);
  const auto create = TryBindAs<CoCreateInstanceFn>(coCreateInstanceFunction);
  if (initialize == nullptr || create == nullptr) return false;
  const HRESULT started = initialize(nullptr, COINIT_APARTMENTTHREADED);
  comStarted_ = SUCCEEDED(started);  // S_FALSE too: each success is paired with an uninitialise
  if (FAILED(started) && started != RPC_E_CHANGED_MODE) return false;
  void* services = nullptr;
  if (FAILED(create(kAccPropServicesClass, nullptr, CLSCTX_INPROC_SERVER, kAccPropServicesInterface, &services))) {
    return false;
  }
  services_ = static_cast<IAccPropServices*>(services);
  return true;
}

void AccessibleNames::Set(HWND control, const std::wstring& name, const std::wstring* value) {
  if (control == nullptr || !Ready()) return;
  services_->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, kNameProperty, name.c_str());
  if (value != nullptr) {
    services_->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, kValueProperty, value->c_str());
  }
}

}  // namespace tolvane::win32
