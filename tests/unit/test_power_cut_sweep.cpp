#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/FlowHarness.h"

// The dock loses its power after any report of a whole three-chip run: it has
// handled the report, and its answer never reaches the tool. The run the cut
// struck must come to exactly one ending, within a bound on the virtual
// clock, whatever it says. Powered up again, a technician does what the tool
// asks, at most twice: "FW Ver" when start is off, start when it is offered,
// a power reset when asked; or a deployment system starts the silent tool
// again. Every cut must end with the dock holding all three images and the
// new version, the recovery's run must end passed, and no ending may say
// PASS or Current while a chip differs from the package.
//
// `make test` tries an even spread of cuts; `make sweep` (KR_SWEEP_CUTS=all)
// tries every one.
namespace {

constexpr std::size_t kSpreadCuts = 200;
// The longest a run waits for the dock: chip 1's erase, and one answer more.
constexpr unsigned kEndingBoundMs = ProgrammingRun::kChip1EraseLimitMs + kAnswerTimeoutMs;

bool ChipsHoldThePackage(const sim::DockSimulator& dock) {
    static const std::array<std::vector<std::uint8_t>, package::kImageCount> kImages = [] {
        std::array<std::vector<std::uint8_t>, package::kImageCount> images;
        for (int k = 0; k < package::kImageCount; ++k) {
            images[static_cast<std::size_t>(k)] = package::SampleImages::Image(k);
        }
        return images;
    }();
    const auto& chip2 = dock.Chip2Files();
    const std::span<const std::uint8_t> chip3 = dock.Chip3Written();
    // Chip 2 keeps every file it was sent: the last two are what it runs.
    return dock.Chip1Contents() == kImages[4] && chip2.size() >= 2 &&
           chip2[chip2.size() - 2] == kImages[1] && chip2.back() == kImages[2] &&
           std::equal(chip3.begin(), chip3.end(), kImages[0].begin(), kImages[0].end());
}

bool Recovered(const sim::DockSimulator& dock) {
    return dock.Plugged() && dock.Mode() == device::DeviceMode::Application &&
           dock.ApplicationVersion() == std::array<std::uint8_t, 4>{'E', 1, 1, 7} &&
           ChipsHoldThePackage(dock);
}

// What the sweep watches while the tool handles what it is given.
struct Watch {
    std::size_t looksSeen = 0;
    std::size_t messagesSeen = 0;
    bool passWhileDiffering = false;
};

// Every ending that says PASS or Current is held against the chips when it
// comes.
void WatchTheEndings(FlowHarness& h, Watch& watch) {
    h.surface.onConclusion = [&h, &watch](const Conclusion& conclusion) {
        const bool saysWritten =
            conclusion.ending == FlowEnding::RunPassed || conclusion.ending == FlowEnding::UpToDate;
        if (saysWritten && !ChipsHoldThePackage(h.dock)) {
            watch.passWhileDiffering = true;
        }
    };
}

// Hands over everything and lets every timer run out, in order, until the
// window waits for nothing; then checks any PASS it showed meanwhile.
void Settle(FlowHarness& h, Watch& watch) {
    for (int guard = 0; guard < 1000000; ++guard) {
        h.Pump();
        if (h.link.Pending() == 0 && !h.FireNextTimer()) {
            break;
        }
    }
    const auto& looks = h.surface.looks;
    if (std::find(looks.begin() + static_cast<long>(watch.looksSeen), looks.end(),
                  ResultLook::Pass) != looks.end() &&
        !ChipsHoldThePackage(h.dock)) {
        watch.passWhileDiffering = true;
    }
    watch.looksSeen = looks.size();
}

// The dock is off for a few seconds, as long as a power reset or a cut
// power takes, and boots again: a run that waits for it is still waiting.
void PowerReset(FlowHarness& h, Watch& watch) {
    constexpr unsigned kOffMs = 3000;
    h.link.Unplug();
    h.Pump();
    h.Advance(kOffMs);
    h.link.Plug();
    Settle(h, watch);
}

// The technician, at most twice: "FW Ver" when start is off, start when it
// is offered, a power reset when the tool asks for one.
void ActAsATechnician(FlowHarness& h, Watch& watch) {
    for (int round = 0; round < 2 && !Recovered(h.dock); ++round) {
        if (!h.surface.Enabled(UpgradeFlow::kStartButton)) {
            h.flow.OnFwVer();
            Settle(h, watch);
        }
        if (h.surface.Enabled(UpgradeFlow::kStartButton)) {
            h.flow.OnStartUpgrade();
            Settle(h, watch);
        }
        if (h.surface.messages.size() > watch.messagesSeen) {
            watch.messagesSeen = h.surface.messages.size();
            PowerReset(h, watch);
        }
    }
}

// How the tool meets the dock: the window, with its timers and a person at
// it, or the silent runner, its checks back to back and its offer taken.
enum class Front { Window, Silent };

std::unique_ptr<FlowHarness> MakeTool(Front front) {
    return front == Front::Window
               ? std::make_unique<FlowHarness>()
               : std::make_unique<FlowHarness>(sim::DockSettings{}, '3',
                                               UpgradeFlow::Schedule::BackToBack, kSilentAudience);
}

// The tool checks the dock and starts the update it offers: a press of start
// in the window, by itself when silent.
void StartTheUpdate(FlowHarness& h, Front front) {
    if (front == Front::Window) {
        h.Scan();
        h.flow.OnStartUpgrade();
        return;
    }
    h.flow.OnFwVer();
    while (h.flow.Step() == IspStep::Idle && (h.link.Pending() > 0 || h.FireNextTimer())) {
        h.Pump(1);
    }
}

// Starts a whole run and hands it over until the dock has handled `reports`
// of its reports; then the power goes, with the last answer still on its way.
void RunUntilThePowerGoes(FlowHarness& h, Front front, std::uint32_t reports) {
    StartTheUpdate(h, front);
    const std::uint32_t start = h.dock.ReportCount() - (h.flow.Step() == IspStep::Idle ? 0 : 1);
    while (h.dock.ReportCount() < start + reports) {
        if (h.link.Pending() > 0) {
            h.Pump(1);
        } else if (!h.FireNextTimer()) {
            break;
        }
    }
    while (h.link.TakeNext()) {
    }
}

std::uint32_t ReportsOfAWholeRun(Front front) {
    const std::unique_ptr<FlowHarness> h = MakeTool(front);
    StartTheUpdate(*h, front);
    const std::uint32_t start = h->dock.ReportCount() - (h->flow.Step() == IspStep::Idle ? 0 : 1);
    Watch watch;
    Settle(*h, watch);
    return h->dock.ReportCount() - start;
}

// The cuts to try: every one, or an even spread from the first to the last.
std::vector<std::uint32_t> Cuts(std::uint32_t reports) {
    const char* const all = std::getenv("KR_SWEEP_CUTS");
    const std::uint32_t last = reports - 1;
    std::vector<std::uint32_t> cuts;
    if (all != nullptr && std::string(all) == "all") {
        for (std::uint32_t k = 1; k <= last; ++k) {
            cuts.push_back(k);
        }
        return cuts;
    }
    for (std::size_t i = 0; i < kSpreadCuts; ++i) {
        cuts.push_back(static_cast<std::uint32_t>(1 + i * (last - 1) / (kSpreadCuts - 1)));
    }
    return cuts;
}

// The run the cut struck came to exactly one ending, within the bound, and
// every run of the tool came to one.
bool EndedOnce(const RecordingSurface& surface, unsigned cutAt) {
    const auto& conclusions = surface.conclusions;
    const auto first = std::find_if(conclusions.begin(), conclusions.end(),
                                    [](const Conclusion& c) { return c.ofRun; });
    if (first == conclusions.end()) {
        return false;
    }
    const auto runs = std::count(surface.awakeChanges.begin(), surface.awakeChanges.end(), true);
    const auto runEndings = std::count_if(conclusions.begin(), conclusions.end(),
                                          [](const Conclusion& c) { return c.ofRun; });
    const unsigned endedAt =
        surface.concludedAt[static_cast<std::size_t>(first - conclusions.begin())];
    return runEndings == runs && endedAt - cutAt <= kEndingBoundMs;
}

bool LastRunPassed(const RecordingSurface& surface) {
    const auto last = std::find_if(surface.conclusions.rbegin(), surface.conclusions.rend(),
                                   [](const Conclusion& c) { return c.ofRun; });
    return last != surface.conclusions.rend() && last->ending == FlowEnding::RunPassed;
}

enum class AfterTheCut { SameWindow, ToolStartedAgain };

void Sweep(Front front, AfterTheCut after, const char* name) {
    const std::uint32_t reports = ReportsOfAWholeRun(front);
    const std::vector<std::uint32_t> cuts = Cuts(reports);
    std::size_t recovered = 0;
    std::vector<std::uint32_t> failed;
    for (const std::uint32_t k : cuts) {
        const std::unique_ptr<FlowHarness> cut = MakeTool(front);
        FlowHarness& h = *cut;
        Watch watch;
        WatchTheEndings(h, watch);
        RunUntilThePowerGoes(h, front, k);
        const unsigned cutAt = h.surface.now;
        watch.looksSeen = h.surface.looks.size();
        watch.messagesSeen = h.surface.messages.size();
        // The power comes back, and the tool that was running sees it.
        PowerReset(h, watch);
        bool ok = EndedOnce(h.surface, cutAt);
        if (after == AfterTheCut::SameWindow) {
            ActAsATechnician(h, watch);
            ok = ok && Recovered(h.dock) && LastRunPassed(h.surface);
        } else {
            // The tool is started again on the dock as the cut left it.
            const std::unique_ptr<FlowHarness> again = MakeTool(front);
            FlowHarness& fresh = *again;
            fresh.dock = h.dock;
            WatchTheEndings(fresh, watch);
            if (front == Front::Window) {
                ActAsATechnician(fresh, watch);
            } else {
                fresh.flow.OnFwVer();
                Settle(fresh, watch);
                if (fresh.surface.messages.size() > 0) {
                    PowerReset(fresh, watch);  // as the notice at the console asks
                }
            }
            ok = ok && Recovered(fresh.dock) && LastRunPassed(fresh.surface);
        }
        ok = ok && !watch.passWhileDiffering;
        recovered += ok ? 1 : 0;
        if (!ok) {
            failed.push_back(k);
        }
    }
    std::printf("power-cut sweep (%s): %u reports in a whole run, %zu cuts tried, %zu recovered\n",
                name, reports, cuts.size(), recovered);
    EXPECT_TRUE(failed.empty()) << failed.size() << " cuts not recovered, the first after report "
                                << (failed.empty() ? 0 : failed.front());
}

}  // namespace

TEST(PowerCutSweep, TheSameWindowRecoversEveryCut) {
    Sweep(Front::Window, AfterTheCut::SameWindow, "the same window");
}

TEST(PowerCutSweep, TheToolStartedAgainRecoversEveryCut) {
    Sweep(Front::Window, AfterTheCut::ToolStartedAgain, "the tool started again");
}

TEST(PowerCutSweep, TheSilentToolStartedAgainRecoversEveryCut) {
    Sweep(Front::Silent, AfterTheCut::ToolStartedAgain, "silent, started again");
}
