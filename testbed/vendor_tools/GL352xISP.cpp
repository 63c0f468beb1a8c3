// Stand-in for the hub vendor's tool: run with -f, it ends with the hub's
// firmware version in the low 16 bits of its exit code, after
// KR_STANDIN_HUB_DELAY_MS milliseconds when that is set.
#include <windows.h>

#include <cstring>

#include "testbed/vendor_tools/StandInAnswer.h"

namespace {

constexpr unsigned long kHubFirmwareVersion = 0x8720;
// Exit codes of a call the stand-in cannot answer.
constexpr int kUsageError = 2;
constexpr int kModeError = 3;

void PrintAnswer(std::FILE* stream, unsigned long exitCode) {
    Emit(stream, "GL352x hub firmware 0x" + HexNumber(exitCode & 0xFFFFUL, 4) + "\r\n");
}

}  // namespace

int main(int argc, char** argv) {
    UseBinaryStandardStreams();
    if (argc != 2 || std::strcmp(argv[1], "-f") != 0) {
        Emit(stderr, "usage: GL352xISP -f\r\n");
        return kUsageError;
    }
    const std::optional<StandInMode> mode = ReadStandInMode("KR_STANDIN_HUB_MODE");
    const unsigned long exitCode =
        ReadStandInNumber("KR_STANDIN_HUB_EXIT_CODE", kHubFirmwareVersion);
    if (!mode) {
        Emit(stderr, "GL352xISP: unknown KR_STANDIN_HUB_MODE\r\n");
        return kModeError;
    }
    // A tool slower than the checks' timers expect.
    ::Sleep(static_cast<DWORD>(ReadStandInNumber("KR_STANDIN_HUB_DELAY_MS", 0)));
    switch (*mode) {
        case StandInMode::Normal:
            PrintAnswer(stdout, exitCode);
            break;
        case StandInMode::Silent:
            break;
        case StandInMode::Flood:
            WriteFloodLines(stdout);
            PrintAnswer(stdout, exitCode);
            break;
        case StandInMode::StdErr:
            PrintAnswer(stderr, exitCode);
            break;
        case StandInMode::Junk:
            WriteJunk(stdout);
            PrintAnswer(stdout, exitCode);
            break;
        case StandInMode::Hang:
            HangForever();
        case StandInMode::NoToken:
            Emit(stderr, "GL352xISP: notoken is a mode of the DisplayPort tool\r\n");
            return kModeError;
    }
    FlushAll();
    // The exit code carries the version; all its 32 bits are passed on.
    return static_cast<int>(exitCode);
}
