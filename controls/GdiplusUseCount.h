#pragma once

#include <atomic>

// Counts, for the whole process, the guards that have asked for GDI+. Only the
// last one to let go may shut it down.
class GdiplusUseCount {
public:
    void AddUser() noexcept { m_users.fetch_add(1); }

    // Returns true when this was the last user: the count went from 1 to 0.
    // A count that is already 0 stays 0.
    bool RemoveUser() noexcept {
        int users = m_users.load();
        while (users > 0 && !m_users.compare_exchange_weak(users, users - 1)) {
        }
        return users == 1;
    }

    int Users() const noexcept { return m_users.load(); }

private:
    std::atomic<int> m_users{0};
};
