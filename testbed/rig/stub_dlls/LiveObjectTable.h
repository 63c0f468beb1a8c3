#pragma once

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

// Objects a stand-in DLL hands out as opaque handles (a device information
// set, a collection's preparsed data). A handle is taken back only while its
// object lives, so a stale or foreign value is refused instead of followed.
template <typename Object>
class LiveObjectTable {
public:
    // The object's handle; throws only when memory runs out.
    void* Add(std::unique_ptr<Object> object) {
        const std::lock_guard lock(m_lock);
        m_objects.push_back(std::move(object));
        return m_objects.back().get();
    }

    // The caller keeps the handle for as long as it uses the object.
    Object* Find(const void* handle) {
        const std::lock_guard lock(m_lock);
        const auto found = Position(handle);
        return found == m_objects.end() ? nullptr : found->get();
    }

    std::unique_ptr<Object> Take(const void* handle) {
        const std::lock_guard lock(m_lock);
        const auto found = Position(handle);
        if (found == m_objects.end()) {
            return nullptr;
        }
        std::unique_ptr<Object> object = std::move(*found);
        m_objects.erase(found);
        return object;
    }

private:
    typename std::vector<std::unique_ptr<Object>>::iterator Position(const void* handle) {
        return std::find_if(
            m_objects.begin(), m_objects.end(),
            [handle](const std::unique_ptr<Object>& object) { return object.get() == handle; });
    }

    std::mutex m_lock;
    std::vector<std::unique_ptr<Object>> m_objects;
};
