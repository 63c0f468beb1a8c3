#include "package/ExtendedLengthPath.h"

namespace package {

namespace {

// The classic limit counts the terminator: 259 characters still open plainly.
constexpr std::size_t kClassicPathLimit = 260;

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool IsDriveAbsolute(std::wstring_view path) {
    const bool letter = path.size() >= 3 && ((path[0] >= L'A' && path[0] <= L'Z') ||
                                             (path[0] >= L'a' && path[0] <= L'z'));
    return letter && path[1] == L':' && IsSeparator(path[2]);
}

}  // namespace

std::wstring WithBackslashes(std::wstring_view path) {
    std::wstring literal(path);
    for (wchar_t& c : literal) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return literal;
}

std::wstring ExtendedLengthPath(std::wstring_view path) {
    // The extended form is taken literally, so forward slashes would no
    // longer separate its folders.
    if (path.size() < kClassicPathLimit || path.starts_with(L"\\\\?\\") ||
        path.starts_with(L"\\\\.\\")) {
        return std::wstring(path);
    }
    if (IsDriveAbsolute(path)) {
        return L"\\\\?\\" + WithBackslashes(path);
    }
    if (path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        return L"\\\\?\\UNC\\" + WithBackslashes(path.substr(2));
    }
    return std::wstring(path);
}

}  // namespace package
