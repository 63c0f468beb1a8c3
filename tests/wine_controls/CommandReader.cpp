#include "CommandReader.h"

#include <memory>
#include <string>
#include <thread>

namespace {

void Post(HWND window, UINT commandMessage, std::string line) {
    auto command = std::make_unique<std::string>(std::move(line));
    if (::PostMessageW(window, commandMessage, 0, reinterpret_cast<LPARAM>(command.get()))) {
        static_cast<void>(command.release());  // the window owns it now
    }
}

void ReadCommands(HWND window, UINT commandMessage) noexcept {
    try {
        HANDLE const input = ::GetStdHandle(STD_INPUT_HANDLE);
        std::string pending;
        char buffer[256];
        DWORD read = 0;
        while (::ReadFile(input, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
            pending.append(buffer, read);
            for (auto end = pending.find('\n'); end != std::string::npos;
                 end = pending.find('\n')) {
                std::string line = pending.substr(0, end);
                pending.erase(0, end + 1);
                if (!line.empty() && line.back() == '\r') {
                    line.pop_back();
                }
                Post(window, commandMessage, std::move(line));
            }
        }
        Post(window, commandMessage, "quit");
    } catch (...) {
        // Out of memory: the script's next answer never comes, and its time-out fails the test.
    }
}

}  // namespace

void StartCommandReader(HWND window, UINT commandMessage) {
    std::thread(ReadCommands, window, commandMessage).detach();
}
