#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// The dock models of the product line, by USB product ID, so a wrong dock can
// be named in the log. Fixed at program start; unused rows hold ID 0.
struct ModelName {
    std::uint16_t productId = 0;
    std::wstring_view name;
};

inline constexpr std::size_t kModelNameRows = 50;
extern const std::array<ModelName, kModelNameRows> g_modelNames;

// What the lookup gives for a product ID that no row names.
inline constexpr std::wstring_view kUnknownModelName = L"Device Name error";

// The first row's name for the product ID, or kUnknownModelName.
std::wstring LookUpModelName(std::uint16_t productId);
