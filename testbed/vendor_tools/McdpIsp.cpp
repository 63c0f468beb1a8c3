// Stand-in for the DisplayPort vendor's tool: run with -ChipInfo, it prints
// the chip's information, with the application version after "Pegasus App:".
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "testbed/vendor_tools/StandInAnswer.h"

namespace {

// The line from the token on is 30 characters long, as much as the dialog logs.
constexpr const char* kDefaultAppVersion = "7.02.126 (210520)";
constexpr int kUsageError = 2;
constexpr int kModeError = 3;

void PrintChipHeader(std::FILE* stream) {
    Emit(stream, "MCDP ISP tool (stand-in)\r\nChip: MCDP2900\r\n");
}

void PrintAppVersion(std::FILE* stream) {
    const char* version = std::getenv("KR_STANDIN_DP_VERSION");
    Emit(stream, "Pegasus App: ");
    Emit(stream, version != nullptr ? version : kDefaultAppVersion);
    Emit(stream, "\r\n");
}

void PrintAnswer(std::FILE* stream) {
    PrintChipHeader(stream);
    PrintAppVersion(stream);
}

}  // namespace

int main(int argc, char** argv) {
    UseBinaryStandardStreams();
    if (argc != 2 || std::strcmp(argv[1], "-ChipInfo") != 0) {
        Emit(stderr, "usage: McdpIsp -ChipInfo\r\n");
        return kUsageError;
    }
    const std::optional<StandInMode> mode = ReadStandInMode("KR_STANDIN_DP_MODE");
    if (!mode) {
        Emit(stderr, "McdpIsp: unknown KR_STANDIN_DP_MODE\r\n");
        return kModeError;
    }
    switch (*mode) {
        case StandInMode::Normal:
            PrintAnswer(stdout);
            break;
        case StandInMode::Silent:
            break;
        case StandInMode::Flood:
            WriteFloodLines(stdout);
            PrintAnswer(stdout);
            break;
        case StandInMode::StdErr:
            // Both streams reach the same pipe; flushing after each part keeps
            // the order in which the parts were written.
            PrintChipHeader(stdout);
            FlushAll();
            PrintAppVersion(stderr);
            FlushAll();
            Emit(stdout, "End of chip information\r\n");
            break;
        case StandInMode::NoToken:
            PrintChipHeader(stdout);
            Emit(stdout, "Chip not responding\r\n");
            break;
        case StandInMode::Junk:
            WriteJunk(stdout);
            PrintAnswer(stdout);
            break;
        case StandInMode::Hang:
            HangForever();
    }
    FlushAll();
    return 0;
}
