#pragma once

#include <windows.h>

#include "framework/OwnedHandle.h"

// A library of the system, taken from the system folder and nowhere else.
//
// The tool is run from download folders. For a library that is not one of the
// system's known DLLs, Windows looks in the executable's own folder first, so
// a file of the same name that was downloaded beside the tool would run with
// the user's rights. The tool therefore imports no such library: it loads it
// here, at run time, and finds the few functions it uses by name.
class SystemLibrary {
public:
    explicit SystemLibrary(const wchar_t* fileName) noexcept
        : m_module(::LoadLibraryExW(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)) {}

    // Sets `function` to the exported function `name`, typed as the system's
    // header declares it; false, and null, when the library could not be
    // loaded or does not export it.
    template <typename Function>
    bool Find(const char* name, Function*& function) const noexcept {
        // Through the one function type that converts to any other: the
        // export's real type is the caller's to know.
        using AnyFunction = void (*)();
        function = m_module.IsValid() ? reinterpret_cast<Function*>(reinterpret_cast<AnyFunction>(
                                            ::GetProcAddress(m_module.Get(), name)))
                                      : nullptr;
        return function != nullptr;
    }

private:
    UniqueModule m_module;
};
