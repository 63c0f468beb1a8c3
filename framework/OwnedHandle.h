#pragma once

#include <windows.h>

// Owns one Windows handle and releases it exactly once, on Reset or at the
// end of its life. The template arguments name the handle type, its "no
// handle" value and how it is released.
template <typename Handle, Handle (*Invalid)() noexcept, void (*Close)(Handle) noexcept>
class OwnedHandle {
public:
    OwnedHandle() noexcept = default;
    explicit OwnedHandle(Handle handle) noexcept : m_handle(handle) {}
    ~OwnedHandle() { Reset(); }

    OwnedHandle(OwnedHandle&& other) noexcept : m_handle(other.Release()) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    Handle Get() const noexcept { return m_handle; }
    bool IsValid() const noexcept { return m_handle != Invalid(); }

    // Gives the handle away; this object no longer releases it.
    Handle Release() noexcept {
        const Handle handle = m_handle;
        m_handle = Invalid();
        return handle;
    }

    void Reset(Handle handle = Invalid()) noexcept {
        if (IsValid()) {
            Close(m_handle);
        }
        m_handle = handle;
    }

private:
    Handle m_handle = Invalid();
};

namespace owned_handle {

template <typename Handle>
Handle Null() noexcept {
    return nullptr;
}
// CreateFileW reports failure as INVALID_HANDLE_VALUE, not as null.
inline HANDLE InvalidFile() noexcept {
    return INVALID_HANDLE_VALUE;
}
inline void CloseKernelObject(HANDLE handle) noexcept {
    ::CloseHandle(handle);
}
template <typename GdiHandle>
void DeleteGdiObject(GdiHandle handle) noexcept {
    ::DeleteObject(handle);
}
inline void DestroyIconHandle(HICON handle) noexcept {
    ::DestroyIcon(handle);
}
inline void DeleteMemoryDc(HDC handle) noexcept {
    ::DeleteDC(handle);
}
inline void FreeModuleHandle(HMODULE handle) noexcept {
    ::FreeLibrary(handle);
}
// A pop-up window goes with its owner, which may have taken it along already.
inline void DestroyWindowHandle(HWND handle) noexcept {
    if (::IsWindow(handle)) {
        ::DestroyWindow(handle);
    }
}

}  // namespace owned_handle

using UniqueFileHandle =
    OwnedHandle<HANDLE, &owned_handle::InvalidFile, &owned_handle::CloseKernelObject>;
using UniqueKernelHandle =
    OwnedHandle<HANDLE, &owned_handle::Null<HANDLE>, &owned_handle::CloseKernelObject>;
template <typename GdiHandle>
using UniqueGdiObject = OwnedHandle<GdiHandle, &owned_handle::Null<GdiHandle>,
                                    &owned_handle::DeleteGdiObject<GdiHandle>>;
using UniqueIcon = OwnedHandle<HICON, &owned_handle::Null<HICON>, &owned_handle::DestroyIconHandle>;
using UniqueMemoryDc = OwnedHandle<HDC, &owned_handle::Null<HDC>, &owned_handle::DeleteMemoryDc>;
using UniqueModule =
    OwnedHandle<HMODULE, &owned_handle::Null<HMODULE>, &owned_handle::FreeModuleHandle>;
using UniqueWindow =
    OwnedHandle<HWND, &owned_handle::Null<HWND>, &owned_handle::DestroyWindowHandle>;
