#pragma once

#include <string>

// The running executable's full path, however long it is; empty when the
// system cannot tell it.
std::wstring ModuleFileName();
