#pragma once

#include "controls/GdiplusUseCount.h"

// What one GDI+ guard decides, apart from how the process is marked and GDI+
// is started: the first guard of a process that finds no mark makes the mark
// and starts GDI+; every guard counts itself as a user; GDI+ is shut down
// only by the guard that started it, and only when it lets go as the last
// user. The window side supplies the mark and the start and shutdown.
class GdiplusLifetimeGuard {
public:
    // What marking the process as having started GDI+ found.
    enum class Mark {
        Made,      // no guard had marked it: this guard starts GDI+
        Existing,  // another guard of the process has started GDI+
        Failed,    // the mark could not be made: GDI+ is not started
    };

    explicit GdiplusLifetimeGuard(GdiplusUseCount& users) noexcept : m_users(users) {}
    virtual ~GdiplusLifetimeGuard() = default;
    GdiplusLifetimeGuard(const GdiplusLifetimeGuard&) = delete;
    GdiplusLifetimeGuard& operator=(const GdiplusLifetimeGuard&) = delete;

    void Initialize() {
        if (!m_started && MarkProcess() == Mark::Made) {
            m_started = StartGdiplus();
            if (!m_started) {
                UnmarkProcess();
            }
        }
        m_users.AddUser();
    }

    void Deinitialize() {
        if (m_users.RemoveUser() && m_started) {
            StopGdiplus();
            UnmarkProcess();
            m_started = false;
        }
    }

    bool Started() const noexcept { return m_started; }

protected:
    // Marks the process; with Existing or Failed nothing is left to undo.
    virtual Mark MarkProcess() = 0;
    // Removes the mark made by MarkProcess.
    virtual void UnmarkProcess() noexcept = 0;
    // True when GDI+ runs.
    virtual bool StartGdiplus() = 0;
    virtual void StopGdiplus() noexcept = 0;

private:
    GdiplusUseCount& m_users;
    bool m_started = false;
};
