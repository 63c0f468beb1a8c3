#include "app/outcome/Announcements.h"

#include "app/outcome/ExitCodes.h"

std::optional<EndingEvent> EventOf(int code) {
    const auto id = static_cast<std::uint16_t>(1000 + code);
    switch (code) {
        case exit_code::kUpdateApplies:
        case exit_code::kRestartNeeded:
        case exit_code::kNothingToDo:
            return EndingEvent{id, EventType::Information};
        case exit_code::kNoDock:
        case exit_code::kNotApplicable:
        case exit_code::kAlreadyRunning:
            return EndingEvent{id, EventType::Warning};
        case exit_code::kFailed:
            return EndingEvent{id, EventType::Error};
        default:
            return std::nullopt;
    }
}

std::optional<std::wstring_view> ConsoleNoticeOf(int code, bool wroteDock) {
    if (code == exit_code::kRestartNeeded) {
        return L"Your dock's firmware was updated. To finish, unplug the dock's own power cable "
               L"(not only the cable to this computer), wait 10 seconds and plug it back in.";
    }
    if (code == exit_code::kFailed && wroteDock) {
        return L"Your dock's firmware update did not finish, and the dock may not work until it "
               L"is updated again. Leave it connected; if it still does not work later, contact "
               L"your IT support.";
    }
    return std::nullopt;
}

std::optional<std::wstring> NoticeRefusal(std::optional<std::uint32_t> consoleSession,
                                          std::wstring_view userName) {
    if (!consoleSession) {
        return std::wstring(L"no session is attached to the console");
    }
    if (userName.empty()) {
        return L"no one is logged on at the console (session " + std::to_wstring(*consoleSession) +
               L")";
    }
    return std::nullopt;
}
