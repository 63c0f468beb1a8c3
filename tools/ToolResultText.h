#pragma once

#include <mutex>
#include <string>

// The result text of a vendor tool run: written whole by the tool's worker,
// read whole by the version gate on another thread.
class ToolResultText {
public:
    void Set(std::wstring text) {
        const std::lock_guard lock(m_mutex);
        m_text = std::move(text);
    }
    void Clear() { Set({}); }
    std::wstring Get() const {
        const std::lock_guard lock(m_mutex);
        return m_text;
    }

private:
    mutable std::mutex m_mutex;
    std::wstring m_text;
};

// The last hub tool's result ("HUB FW is 0x%04x") and the DisplayPort tool's
// captured output; empty until a check has run the tool. The tool launcher
// writes them, the version gate reads them: each front end gives one to both.
struct ToolResults {
    ToolResultText m_hubToolText;
    ToolResultText m_dpToolText;
};
