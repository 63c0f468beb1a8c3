// docksim.exe: the dock simulator behind named pipes, for the tool under Wine
// with the stand-in hid.dll and setupapi.dll; or, with --send, one request
// to a docksim that runs already.
#include <windows.h>

#include <cstdio>
#include <exception>
#include <optional>
#include <string>

#include "testbed/rig/channel/ControlRequest.h"
#include "testbed/rig/docksim/DockSimOptions.h"
#include "testbed/rig/docksim/DockSimServer.h"

namespace {

// Plugging and unplugging reply once the window was told, which may take a
// hung window's whole notice time.
constexpr DWORD kReplyMs = 30000;

int SendRequest(const DockSimOptions& options) {
    if (!rig::AwaitDockSim(options.waitMs)) {
        std::fprintf(stderr, "docksim: no docksim took requests within %u ms\n",
                     static_cast<unsigned>(options.waitMs));
        return 1;
    }
    const std::optional<std::string> reply = rig::AskDockSim(*options.request, kReplyMs);
    if (!reply) {
        std::fprintf(stderr, "docksim: no reply to \"%s\"\n", options.request->c_str());
        return 1;
    }
    std::fputs(reply->c_str(), stdout);
    return reply->starts_with(std::string(rig::kReplyOk) + "\n") ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::string error;
    const std::optional<DockSimOptions> options = ParseDockSimOptions(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "docksim: %s\n%s", error.c_str(), kDockSimUsage);
        return 2;
    }
    try {
        if (options->request) {
            return SendRequest(*options);
        }
        DockSimServer server(*options);
        return server.Run();
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "docksim: %s\n", failure.what());
        return 1;
    }
}
