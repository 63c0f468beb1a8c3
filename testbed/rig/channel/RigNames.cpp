#include "testbed/rig/channel/RigNames.h"

namespace rig {
namespace {

constexpr std::wstring_view kInterfacePrefix = L"docksim-";

}  // namespace

std::wstring InterfacePipePath(unsigned index) {
    return std::wstring(L"\\\\.\\pipe\\") + std::wstring(kInterfacePrefix) + std::to_wstring(index);
}

std::optional<unsigned> InterfaceIndexOf(std::wstring_view pipeName) {
    const std::size_t slash = pipeName.rfind(L'\\');
    std::wstring_view name =
        slash == std::wstring_view::npos ? pipeName : pipeName.substr(slash + 1);
    if (!name.starts_with(kInterfacePrefix)) {
        return std::nullopt;
    }
    name.remove_prefix(kInterfacePrefix.size());
    if (name.empty() || name.size() > 4) {
        return std::nullopt;
    }
    unsigned index = 0;
    for (const wchar_t digit : name) {
        if (digit < L'0' || digit > L'9') {
            return std::nullopt;
        }
        index = index * 10 + static_cast<unsigned>(digit - L'0');
    }
    return index;
}

}  // namespace rig
