#include <gtest/gtest.h>

#include <string>

#include "package/ExtendedLengthPath.h"

namespace {

// A path of exactly `length` characters below `root`.
std::wstring PathOfLength(const std::wstring& root, std::size_t length) {
    std::wstring path = root;
    while (path.size() + 16 < length) {
        path += L"deep folder\\";
    }
    path += std::wstring(length - path.size() - 4, L'x');
    return path + L".exe";
}

}  // namespace

TEST(ExtendedLengthPath, OnlyLongAbsolutePathsGetTheExtendedForm) {
    const std::wstring drive259 = PathOfLength(L"C:\\Users\\", 259);
    const std::wstring drive260 = PathOfLength(L"C:\\Users\\", 260);
    const std::wstring share300 = PathOfLength(L"\\\\server\\share\\", 300);
    const std::wstring relative300 = PathOfLength(L"Tool\\", 300);
    const std::wstring extended300 = PathOfLength(L"\\\\?\\C:\\", 300);
    const std::wstring device300 = PathOfLength(L"\\\\.\\pipe\\", 300);
    ASSERT_EQ(drive259.size(), 259U);
    ASSERT_EQ(drive260.size(), 260U);

    const struct {
        const char* name;
        std::wstring path;
        std::wstring expected;
    } cases[] = {
        {"short path", L"C:\\Tool\\KrEFM8SwUpgrade.exe", L"C:\\Tool\\KrEFM8SwUpgrade.exe"},
        {"259 characters still open plainly", drive259, drive259},
        {"260 characters need the prefix", drive260, L"\\\\?\\" + drive260},
        {"a share", share300, L"\\\\?\\UNC\\" + share300.substr(2)},
        {"relative paths are left to the system", relative300, relative300},
        {"already extended", extended300, extended300},
        {"a device namespace", device300, device300},
        {"forward slashes become separators", L"D:/" + drive260.substr(3),
         L"\\\\?\\D:\\" + drive260.substr(3)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(package::ExtendedLengthPath(c.path), c.expected) << c.name;
    }
}
