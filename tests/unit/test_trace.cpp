#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/trace/TraceWriter.h"
#include "device/IspCommand.h"
#include "testbed/sim/TraceReplay.h"
#include "tests/support/FlowHarness.h"

// The trace a run leaves for support, and its replay: the dock's side of a
// trace, played back, must bring the flow to the same ending by the same
// bytes.
namespace {

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// A whole silent update on the simulated dock, traced.
std::string TraceOfASilentUpdate() {
    FlowHarness h({}, '3', UpgradeFlow::Schedule::BackToBack, kSilentAudience);
    h.StartTrace();
    h.flow.OnFwVer();
    while (h.link.Pending() > 0 || h.FireNextTimer()) {
        h.Pump();
    }
    EXPECT_EQ(h.surface.Endings().back(), FlowEnding::RunPassed);
    return h.traced.Text();
}

struct Replayed {
    std::optional<std::string> refusal;
    std::optional<std::string> mismatch;
    bool allSent = false;
    std::optional<FlowEnding> ending;
};

// Plays the dock's side of `text` to a silent tool, with the tool results
// the trace recorded, until nothing is left to hand over.
Replayed Replay(std::string_view text) {
    sim::TraceReplay replay;
    Replayed result;
    result.refusal = replay.Read(text);
    if (result.refusal) {
        return result;
    }
    FlowHarness h({}, '3', UpgradeFlow::Schedule::BackToBack, kSilentAudience);
    EXPECT_EQ(replay.Header("package"),
              Utf8(TracePackageIdentity(h.package.images, h.package.identity)))
        << "a trace is replayed with the package it names";
    if (!replay.HubResult().empty()) {
        h.tools.hubText = std::wstring(replay.HubResult().begin(), replay.HubResult().end());
    }
    if (!replay.DpResult().empty()) {
        h.tools.dpText = std::wstring(replay.DpResult().begin(), replay.DpResult().end());
    }
    h.link.PlayTrace(&replay);
    h.flow.OnFwVer();
    while (h.link.Pending() > 0 || h.FireNextTimer()) {
        h.Pump();
    }
    result.mismatch = replay.Mismatch();
    result.allSent = replay.Done();
    if (!h.surface.Endings().empty()) {
        result.ending = h.surface.Endings().back();
    }
    return result;
}

}  // namespace

// One row for each kind of line, as a short stretch of a run writes it.
TEST(Trace, EachKindOfEventHasItsLine) {
    const LoadedSamplePackage sample;
    std::uint64_t now = 0;
    TraceLines lines;
    TraceWriter trace([&now] { return now; }, lines);
    const device::IspReport query = device::BuildDeviceStatusCommand();
    const std::span<const std::uint8_t> head(query.data(), 6);

    const struct {
        const char* kind;
        std::function<void()> write;
        std::vector<std::wstring> lines;
    } rows[] = {
        {"header",
         [&] { trace.Begin(L"1.2.3.4", sample.images, sample.identity, L"10.0.19045"); },
         {L"# DOCK Firmware Update Tool trace", L"# tool 1.2.3.4",
          L"# package E117 10c4:f607 plan 3 sums ae17 37a1", L"# windows 10.0.19045"}},
        {"the first open names the interface",
         [&] { trace.Opened(L"\\\\?\\hid#dock", 64, 64); },
         {L"# interface \\\\?\\hid#dock in 64 out 64", L"12 open \\\\?\\hid#dock in 64 out 64"}},
        {"a report out", [&] { trace.Sent(head); }, {L"12 > 0203FEFF0700"}},
        {"a report in", [&] { trace.Received(head); }, {L"12 < 0203FEFF0700"}},
        {"a write that failed", [&] { trace.WriteFailed(1167); }, {L"12 write-failed 1167"}},
        {"a removal", [&] { trace.Removed(L"\\\\?\\hid#dock"); }, {L"12 removed \\\\?\\hid#dock"}},
        {"a close", [&] { trace.Closed(); }, {L"12 close"}},
        {"an arrival", [&] { trace.Arrived(L"\\\\?\\hid#dock"); }, {L"12 arrived \\\\?\\hid#dock"}},
        {"a later open",
         [&] { trace.Opened(L"\\\\?\\hid#dock", 64, 64); },
         {L"12 open \\\\?\\hid#dock in 64 out 64"}},
        {"a tool's result",
         [&] { trace.ToolResult(L"hub", L"HUB FW is 0x8720"); },
         {L"12 tool hub HUB FW is 0x8720"}},
        {"the run's ending",
         [&] { trace.RunEnded(L"PendingPowerReset"); },
         {L"12 ending PendingPowerReset"}},
    };
    for (const auto& row : rows) {
        lines.lines.clear();
        row.write();
        EXPECT_EQ(lines.lines, row.lines) << row.kind;
        now = 12;
    }
}

// A full queue drops lines, and says how many before the next it takes; a
// count still unsaid at the end waits for room.
TEST(Trace, LinesAFullQueueDroppedAreSaid) {
    std::uint64_t now = 5;
    TraceLines lines(1);
    TraceWriter trace([&now] { return now; }, lines);
    trace.Closed();
    trace.Closed();
    trace.Closed();
    lines = TraceLines(3);
    now = 9;
    trace.Closed();
    trace.Closed();
    trace.Closed();
    trace.End(std::chrono::milliseconds(0));
    EXPECT_EQ(lines.lines,
              (std::vector<std::wstring>{L"9 2 lines dropped", L"9 close", L"9 close"}));
    lines = TraceLines();
    trace.End(std::chrono::milliseconds(0));
    EXPECT_EQ(lines.lines, (std::vector<std::wstring>{L"9 1 lines dropped"}));
}

TEST(Trace, AWholeRunReplaysToItsEnding) {
    const Replayed replayed = Replay(TraceOfASilentUpdate());
    EXPECT_EQ(replayed.refusal, std::nullopt);
    EXPECT_EQ(replayed.mismatch, std::nullopt);
    EXPECT_TRUE(replayed.allSent);
    EXPECT_EQ(replayed.ending, FlowEnding::RunPassed);
}

// The dock of the replay stops at the first report that is not the one
// recorded, and names the line, the bytes expected and the bytes sent.
TEST(Trace, AReplayStopsAtTheFirstReportThatDiffers) {
    std::vector<std::string> lines;
    std::istringstream recorded(TraceOfASilentUpdate());
    for (std::string line; std::getline(recorded, line);) {
        lines.push_back(line);
    }
    // The 100th report the trace recorded, one digit changed.
    std::size_t at = 0;
    for (int reports = 0; at < lines.size(); ++at) {
        if (lines[at].find(" > ") != std::string::npos && ++reports == 100) {
            break;
        }
    }
    ASSERT_LT(at, lines.size());
    std::string& report = lines[at];
    const std::string sent =
        report.substr(report.find(" > ") + 3, report.size() - 1 - report.find(" > ") - 3);
    report[report.size() - 2] = report[report.size() - 2] == '0' ? '1' : '0';
    const std::string expected = report.substr(report.find(" > ") + 3, sent.size());
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }

    const Replayed replayed = Replay(text);
    EXPECT_EQ(replayed.mismatch,
              "line " + std::to_string(at + 1) + ": expected " + expected + ", sent " + sent);
    EXPECT_FALSE(replayed.allSent);
}

TEST(Trace, ATraceThatCannotBeReplayedIsRefused) {
    const struct {
        const char* text;
        const char* refusal;
    } rows[] = {
        {"12 > 0201\r\n", "no trace of the tool in it"},
        {"# DOCK Firmware Update Tool trace\r\n3 > 02\r\n4 2 lines dropped\r\n",
         "line 3: the trace lost 2 lines, so it cannot be replayed"},
        {"# DOCK Firmware Update Tool trace\r\n3 < 02\r\n",
         "line 2: an answer before the first report"},
        {"# DOCK Firmware Update Tool trace\r\n3 > 0G\r\n",
         "line 2: its bytes are not hexadecimal"},
    };
    for (const auto& row : rows) {
        sim::TraceReplay replay;
        EXPECT_EQ(replay.Read(row.text), row.refusal) << row.text;
    }
}

// Every trace kept with the tests, taken by the real executable, replays to
// the ending it recorded.
TEST(Trace, EveryKeptTraceReplays) {
    const std::filesystem::path folder = std::filesystem::path(KR_SOURCE_DIR) / "tests/data/traces";
    std::size_t replayedTraces = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        SCOPED_TRACE(entry.path().filename().string());
        const std::string text = ReadFile(entry.path());
        sim::TraceReplay recorded;
        ASSERT_EQ(recorded.Read(text), std::nullopt);
        const Replayed replayed = Replay(text);
        EXPECT_EQ(replayed.mismatch, std::nullopt);
        EXPECT_TRUE(replayed.allSent);
        ASSERT_TRUE(replayed.ending.has_value());
        EXPECT_EQ(Utf8(StatusTokenOf(*replayed.ending)), recorded.Ending());
        ++replayedTraces;
    }
    EXPECT_GE(replayedTraces, 3U);
}
