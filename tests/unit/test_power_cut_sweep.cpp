#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/FlowHarness.h"

// The dock loses its power after any report of a whole three-chip run: it has
// handled the report, and its answer never reaches the tool. Powered up
// again, a technician does what the tool asks, at most twice: "FW Ver" when
// start is off, start when it is offered, a power reset when asked. Every cut
// must end with the dock holding all three images and the new version, and
// PASS must never show while a chip differs from the package.
//
// `make test` tries an even spread of cuts; `make sweep` (KR_SWEEP_CUTS=all)
// tries every one.
namespace {

constexpr std::size_t kSpreadCuts = 200;

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

// What the sweep watches while the window handles what it is given.
struct Watch {
    std::size_t looksSeen = 0;
    std::size_t messagesSeen = 0;
    bool passWhileDiffering = false;
};

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

void PowerReset(FlowHarness& h, Watch& watch) {
    h.link.Unplug();
    Settle(h, watch);
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

// Starts a whole run and hands it over until the dock has handled `reports`
// of its reports; then the power goes, with the last answer still on its way.
void RunUntilThePowerGoes(FlowHarness& h, std::uint32_t reports) {
    h.Scan();
    const std::uint32_t start = h.dock.ReportCount();
    h.flow.OnStartUpgrade();
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

std::uint32_t ReportsOfAWholeRun() {
    FlowHarness h;
    h.Scan();
    const std::uint32_t start = h.dock.ReportCount();
    h.flow.OnStartUpgrade();
    Watch watch;
    Settle(h, watch);
    return h.dock.ReportCount() - start;
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

enum class AfterTheCut { SameWindow, ToolStartedAgain };

void Sweep(AfterTheCut after, const char* name) {
    const std::uint32_t reports = ReportsOfAWholeRun();
    const std::vector<std::uint32_t> cuts = Cuts(reports);
    std::size_t recovered = 0;
    std::vector<std::uint32_t> failed;
    for (const std::uint32_t k : cuts) {
        FlowHarness h;
        RunUntilThePowerGoes(h, k);
        Watch watch{.looksSeen = h.surface.looks.size(),
                    .messagesSeen = h.surface.messages.size(),
                    .passWhileDiffering = false};
        if (after == AfterTheCut::SameWindow) {
            PowerReset(h, watch);
            ActAsATechnician(h, watch);
            recovered += Recovered(h.dock) && !watch.passWhileDiffering ? 1 : 0;
            if (!Recovered(h.dock) || watch.passWhileDiffering) {
                failed.push_back(k);
            }
            continue;
        }
        // The power comes back, and the tool is started again on the dock as
        // the cut left it.
        h.dock.Unplug();
        h.dock.Plug();
        FlowHarness fresh;
        fresh.dock = h.dock;
        Watch freshWatch;
        ActAsATechnician(fresh, freshWatch);
        const bool ok = Recovered(fresh.dock) && !freshWatch.passWhileDiffering;
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
    Sweep(AfterTheCut::SameWindow, "the same window");
}

TEST(PowerCutSweep, TheToolStartedAgainRecoversEveryCut) {
    Sweep(AfterTheCut::ToolStartedAgain, "the tool started again");
}
