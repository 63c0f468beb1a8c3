#pragma once

#include <windows.h>

// Owns one Windows handle and releases it exactly once, on Reset or at the
// end of its life. Traits name the handle type, its "no handle" value and how
// it is released.
template <typename Traits>
class OwnedHandle {
public:
    using Handle = typename Traits::Handle;

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
    bool IsValid() const noexcept { return m_handle != Traits::Invalid(); }

    // Gives the handle away; this object no longer releases it.
    Handle Release() noexcept {
        const Handle handle = m_handle;
        m_handle = Traits::Invalid();
        return handle;
    }

    void Reset(Handle handle = Traits::Invalid()) noexcept {
        if (IsValid()) {
            Traits::Close(m_handle);
        }
        m_handle = handle;
    }

private:
    Handle m_handle = Traits::Invalid();
};

// CreateFileW reports failure as INVALID_HANDLE_VALUE, not as null.
struct FileHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Handle handle) noexcept { ::CloseHandle(handle); }
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { ::CloseHandle(handle); }
};

template <typename GdiHandle>
struct GdiObjectTraits {
    using Handle = GdiHandle;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { ::DeleteObject(handle); }
};

struct IconTraits {
    using Handle = HICON;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { ::DestroyIcon(handle); }
};

struct MemoryDcTraits {
    using Handle = HDC;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept { ::DeleteDC(handle); }
};

// A pop-up window goes with its owner, which may have taken it along already.
struct WindowTraits {
    using Handle = HWND;
    static Handle Invalid() noexcept { return nullptr; }
    static void Close(Handle handle) noexcept {
        if (::IsWindow(handle)) {
            ::DestroyWindow(handle);
        }
    }
};

using UniqueFileHandle = OwnedHandle<FileHandleTraits>;
using UniqueKernelHandle = OwnedHandle<KernelHandleTraits>;
template <typename GdiHandle>
using UniqueGdiObject = OwnedHandle<GdiObjectTraits<GdiHandle>>;
using UniqueIcon = OwnedHandle<IconTraits>;
using UniqueMemoryDc = OwnedHandle<MemoryDcTraits>;
using UniqueWindow = OwnedHandle<WindowTraits>;
