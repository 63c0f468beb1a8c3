#include "app/win32/SingleInstance.h"

#include <windows.h>

SingleInstance::SingleInstance()
    : m_mutex(::CreateMutexW(nullptr, FALSE, L"Global\\KrEFM8SwUpgrade.SingleInstance")) {
    // A mutex of another user's instance may exist without granting us access:
    // that too is another instance.
    m_held = m_mutex.IsValid() && ::GetLastError() != ERROR_ALREADY_EXISTS;
}
