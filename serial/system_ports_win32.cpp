// The COM ports of this machine from SetupAPI (the Ports class, present devices only): the
// port name from the device's own key, its friendly name, maker, USB ids and serial number.
// Names the system maps to COM devices without a SetupAPI entry (virtual ports, some
// drivers) are added from the DOS device names, by their paths alone.
#include <windows.h>
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <cwctype>
#include <vector>

#include "serial/port_directory.h"
#include "serial/system_ports.h"
#include "serial/wide_text.h"

namespace tamsu {
namespace {

std::wstring Property(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
  wchar_t buffer[512] = {};
  DWORD type = 0;
  if (!::SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, reinterpret_cast<BYTE*>(buffer),
                                           sizeof buffer - sizeof(wchar_t), nullptr))
    return {};
  return buffer;  // a multi-string's first string
}

std::wstring PortName(HDEVINFO set, SP_DEVINFO_DATA& device) {
  const HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return {};
  wchar_t name[64] = {};
  DWORD size = sizeof name - sizeof(wchar_t);
  DWORD type = 0;
  const bool ok = ::RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size) ==
                      ERROR_SUCCESS && type == REG_SZ;
  ::RegCloseKey(key);
  return ok ? name : L"";
}

bool IsComName(const std::wstring& name) {
  if (name.size() < 4 || _wcsnicmp(name.c_str(), L"COM", 3) != 0) return false;
  return std::all_of(name.begin() + 3, name.end(), [](wchar_t c) { return std::iswdigit(c) != 0; });
}

// "USB\VID_0403&PID_6001\A50285BI": the ids, and the serial number when the instance id is one
// (a generated one holds '&').
void UsbIds(const std::wstring& instance, SystemPort& port) {
  std::wstring upper = instance;
  for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
  const auto hex = [&](const wchar_t* tag) -> std::optional<uint16_t> {
    const size_t at = upper.find(tag);
    if (at == std::wstring::npos || at + 8 > upper.size()) return std::nullopt;
    return static_cast<uint16_t>(std::wcstoul(upper.substr(at + 4, 4).c_str(), nullptr, 16));
  };
  port.vendorId = hex(L"VID_");
  port.productId = hex(L"PID_");
  const size_t last = instance.rfind(L'\\');
  if (port.vendorId && last != std::wstring::npos && instance.find(L'&', last) == std::wstring::npos)
    port.serialNumber = Narrow(instance.substr(last + 1));
}

}  // namespace

std::vector<SystemPort> EnumerateSystemPorts() {
  std::vector<SystemPort> ports;
  const HDEVINFO set = ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (set != INVALID_HANDLE_VALUE) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &device); ++i) {
      const std::wstring name = PortName(set, device);
      if (!IsComName(name)) continue;  // printer ports share the class
      SystemPort port;
      port.name = Narrow(name);
      port.path = "\\\\.\\" + port.name;
      port.description = Narrow(Property(set, device, SPDRP_FRIENDLYNAME));
      if (port.description.empty()) port.description = Narrow(Property(set, device, SPDRP_DEVICEDESC));
      port.manufacturer = Narrow(Property(set, device, SPDRP_MFG));
      wchar_t instance[512] = {};
      if (::SetupDiGetDeviceInstanceIdW(set, &device, instance, 511, nullptr)) UsbIds(instance, port);
      ports.push_back(std::move(port));
    }
    ::SetupDiDestroyDeviceInfoList(set);
  }
  std::vector<wchar_t> names(65536);
  const DWORD n = ::QueryDosDeviceW(nullptr, names.data(), static_cast<DWORD>(names.size()));
  for (const wchar_t* p = names.data(); n > 0 && *p; p += wcslen(p) + 1) {
    const std::wstring name = p;
    if (!IsComName(name)) continue;
    const std::string narrow = Narrow(name);
    if (std::none_of(ports.begin(), ports.end(), [&](const SystemPort& q) { return q.name == narrow; }))
      ports.push_back({"\\\\.\\" + narrow, narrow, {}, {}, {}, {}, {}});
  }
  std::sort(ports.begin(), ports.end(), [](const SystemPort& a, const SystemPort& b) { return NaturalLess(a.name, b.name); });
  return ports;
}

}  // namespace tamsu
