#pragma once

#include <string>
#include <string_view>

namespace package {

// The executable may sit deeper than the classic 260-character path limit
// (a long user profile, a deep network share). Windows opens such a file only
// by its extended-length form, so a long absolute path gets the "\\?\" prefix
// ("\\?\UNC\" for a share). Short paths, relative paths and paths that already
// name a namespace are returned unchanged, so the usual case opens exactly as
// it always has.
std::wstring ExtendedLengthPath(std::wstring_view path);

// The path with each forward slash made a backslash: the system reads both
// as separators, except in the extended form and in a decision about a path.
std::wstring WithBackslashes(std::wstring_view path);

}  // namespace package
