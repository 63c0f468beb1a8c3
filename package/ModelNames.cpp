#include "package/ModelNames.h"

namespace {

constexpr std::array<ModelName, kModelNameRows> MakeModelNames() {
    std::array<ModelName, kModelNameRows> rows{};
    rows[0] = {0xF601, L"KR-Dock 100 USB-C"};
    rows[1] = {0xF602, L"KR-Dock 200 USB-C"};
    rows[2] = {0xF603, L"KR-Dock 210 USB-C DP"};
    rows[3] = {0xF604, L"KR-Dock 300 Dual DP"};
    rows[4] = {0xF605, L"KR-Dock 310 Dual DP PD"};
    rows[5] = {0xF606, L"KR-Dock 400 Travel"};
    rows[6] = {0xF608, L"KR-Dock 500 Pro"};
    return rows;
}

}  // namespace

const std::array<ModelName, kModelNameRows> g_modelNames = MakeModelNames();

std::wstring LookUpModelName(std::uint16_t productId) {
    for (const ModelName& row : g_modelNames) {
        if (row.productId == productId) {
            return std::wstring(row.name);
        }
    }
    return std::wstring(kUnknownModelName);
}
