#include "device/ReportHandOff.h"

#include <algorithm>

bool ReportHandOff::Offer(std::span<const std::uint8_t> bytes, std::uint32_t openNumber) {
    const std::lock_guard lock(m_mutex);
    if (m_bStopped) {
        return false;
    }
    const std::size_t length = std::min(bytes.size(), m_report.bytes.size());
    m_report.bytes.fill(0);
    std::copy_n(bytes.begin(), length, m_report.bytes.begin());
    m_report.length = static_cast<std::uint16_t>(length);
    m_report.openNumber = openNumber;
    m_bPending = true;
    return true;
}

void ReportHandOff::Withdraw() noexcept {
    Handled();
}

bool ReportHandOff::WaitHandled() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_bPending || m_bStopped; });
    return !m_bStopped;
}

void ReportHandOff::Stop() noexcept {
    {
        const std::lock_guard lock(m_mutex);
        m_bStopped = true;
    }
    m_changed.notify_all();
}

std::optional<ReportHandOff::Report> ReportHandOff::Take() {
    const std::lock_guard lock(m_mutex);
    if (!m_bPending || m_bStopped) {
        return std::nullopt;
    }
    return m_report;
}

void ReportHandOff::Handled() noexcept {
    {
        const std::lock_guard lock(m_mutex);
        m_bPending = false;
    }
    m_changed.notify_all();
}
