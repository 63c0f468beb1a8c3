#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/flow/DialogSurface.h"
#include "app/flow/UpgradeFlow.h"
#include "app/log/LogFileLine.h"
#include "app/outcome/RunOutcome.h"
#include "app/trace/TraceWriter.h"
#include "package/FirmwarePackage.h"
#include "package/PackageIdentity.h"
#include "package/PackageWriter.h"
#include "package/sample/SampleImages.h"
#include "testbed/sim/DockSimulator.h"
#include "testbed/sim/SimHidLink.h"
#include "tests/support/MemoryPackageFile.h"
#include "tools/ToolLauncher.h"
#include "tools/ToolResultText.h"

// The window as the flow sees it, and what the outcome asks of the front
// end, recorded, with timers on a virtual clock.
class RecordingSurface final : public DialogSurface {
public:
    struct Timer {
        unsigned due = 0;
    };

    void EnableControl(int id, bool enabled) override { enabled_[id] = enabled; }
    void SetResultLook(ResultLook look) override {
        look_ = look;
        looks.push_back(look);
    }
    void SetProgressPosition(int position) override { progress = position; }
    void SetProgressFill(std::uint32_t argb) override { fills.push_back(argb); }
    void ShowModalMessage(std::wstring_view text) override {
        messages.emplace_back(text);
        if (onMessage) {
            onMessage();
        }
    }
    void SetTimer(int id, unsigned milliseconds) override {
        timers[id] = Timer{now + milliseconds};
    }
    void KillTimer(int id) override { timers.erase(id); }
    void Pause(unsigned milliseconds) override {
        pauses.push_back(milliseconds);
        now += milliseconds;
    }
    void PostLog(LogRecord record) override { records.push_back(std::move(record)); }
    void ClearLog() override {
        records.clear();
        ++clears;
    }
    void EndDialog() override { ended = true; }
    OutcomeActions Actions() {
        return {.keepAwake = [this](bool awake) { awakeChanges.push_back(awake); },
                .takeOffer = [this] { ++offersTaken; },
                .conclude = [this](const Conclusion& conclusion) { Record(conclusion); }};
    }
    void Record(const Conclusion& conclusion) {
        conclusions.push_back(conclusion);
        concludedAt.push_back(now);
        if (onConclusion) {
            onConclusion(conclusion);
        }
    }

    // The log's text lines, in order, without the progress records.
    std::vector<std::wstring> Lines() const {
        std::vector<std::wstring> lines;
        for (const LogRecord& record : records) {
            if (record.kind == LogText) {
                lines.push_back(record.text);
            }
        }
        return lines;
    }
    bool Enabled(int id) const {
        const auto it = enabled_.find(id);
        return it != enabled_.end() && it->second;
    }
    ResultLook Look() const { return look_; }
    std::vector<FlowEnding> Endings() const {
        std::vector<FlowEnding> endings;
        for (const Conclusion& conclusion : conclusions) {
            endings.push_back(conclusion.ending);
        }
        return endings;
    }

    unsigned now = 0;
    std::map<int, Timer> timers;
    std::vector<LogRecord> records;
    std::vector<ResultLook> looks;
    // The endings that counted, with all that the outcome made of them.
    std::vector<Conclusion> conclusions;
    std::vector<unsigned> concludedAt;  // on the virtual clock
    std::function<void(const Conclusion&)> onConclusion;
    std::vector<bool> awakeChanges;
    int offersTaken = 0;
    std::vector<std::uint32_t> fills;
    std::vector<std::wstring> messages;
    std::vector<unsigned> pauses;
    std::function<void()> onMessage;
    int progress = -1;
    int clears = 0;
    bool ended = false;

private:
    std::map<int, bool> enabled_{{UpgradeFlow::kStartButton, false},
                                 {UpgradeFlow::kExitButton, true},
                                 {UpgradeFlow::kFwVerButton, true},
                                 {UpgradeFlow::kScanButton, false}};
    ResultLook look_ = ResultLook::Neutral;
};

// The enabled state of start, "FW Ver" and exit, the three buttons that guide
// the user through a check and a run.
struct Buttons {
    bool start;
    bool fwVer;
    bool exit;
    bool operator==(const Buttons&) const = default;
};

inline Buttons ButtonsOf(const RecordingSurface& surface) {
    return {surface.Enabled(UpgradeFlow::kStartButton), surface.Enabled(UpgradeFlow::kFwVerButton),
            surface.Enabled(UpgradeFlow::kExitButton)};
}

inline std::vector<std::wstring> LastLines(const RecordingSurface& surface, std::size_t count) {
    const auto lines = surface.Lines();
    return {lines.end() - static_cast<long>(std::min(count, lines.size())), lines.end()};
}

// Vendor tools that answer with the texts a test gives them: at once, never
// (still running when the dock's version is judged), or by failing; and that
// may be missing from the installation.
class ScriptedTools final : public ToolLauncher {
public:
    enum class Answer { Done, Running, Failed };

    std::optional<MissingTool> StartHubTool() override {
        ++hubStarts;
        hubTicket = Start(results.m_hubToolText, hubAnswer, hubText);
        return hubMissing;
    }
    std::optional<MissingTool> StartDpTool() override {
        ++dpStarts;
        dpTicket = Start(results.m_dpToolText, dpAnswer, dpText);
        return dpMissing;
    }

    static std::uint64_t Start(ToolResultText& result, Answer answer, const std::wstring& text) {
        const std::uint64_t ticket = result.Begin();
        if (answer == Answer::Done) {
            result.Finish(ticket, text);
        } else if (answer == Answer::Failed) {
            result.Fail(ticket, text);
        }
        return ticket;
    }

    ToolResults results;
    std::wstring hubText = L"HUB FW is 0x8720";
    std::wstring dpText = L"Chip: MCDP2900\r\nPegasus App: 7.02.05 Boot: 1.1\r\n";
    Answer hubAnswer = Answer::Done;
    Answer dpAnswer = Answer::Done;
    std::uint64_t hubTicket = 0;
    std::uint64_t dpTicket = 0;
    std::optional<MissingTool> hubMissing;
    std::optional<MissingTool> dpMissing;
    int hubStarts = 0;
    int dpStarts = 0;
};

// The sample package in memory, loaded as the dialog loads it.
struct LoadedSamplePackage {
    explicit LoadedSamplePackage(char updatePlan = '3') : file(Build(updatePlan)) {
        identity.m_bPackageLoaded =
            package::LoadPackage(file, images, identity.m_wPackageVid, identity.m_wPackagePid).Ok();
    }

    // Built once per update plan: a sweep builds hundreds of harnesses.
    static const std::vector<std::uint8_t>& Build(char updatePlan) {
        static std::mutex mutex;
        static std::map<char, std::vector<std::uint8_t>> built;
        const std::lock_guard lock(mutex);
        auto found = built.find(updatePlan);
        if (found == built.end()) {
            found = built.emplace(updatePlan, BuildOnce(updatePlan)).first;
        }
        return found->second;
    }

    static std::vector<std::uint8_t> BuildOnce(char updatePlan) {
        package::PackageWriter::Images contents;
        for (int k = 0; k < package::kImageCount; ++k) {
            contents[k] = package::SampleImages::Image(k);
        }
        std::vector<std::uint8_t> record(package::SampleImages::kRecord.begin(),
                                         package::SampleImages::kRecord.end());
        record[package::kUpdatePlanPos] = static_cast<std::uint8_t>(updatePlan);
        const package::PackageWriter writer(std::move(record), contents);
        // Some executable bytes before the package, as in the shipped tool.
        constexpr std::size_t kExecutableBytes = 200000;
        const std::vector<std::uint8_t>& appended = writer.Package();
        std::vector<std::uint8_t> bytes(kExecutableBytes + appended.size(), 0x90);
        std::copy(appended.begin(), appended.end(), bytes.begin() + kExecutableBytes);
        return bytes;
    }

    MemoryPackageFile file;
    package::ImageTable images;
    PackageIdentity identity;
};

// A trace's lines as the tool's file would hold them, taken at once; with a
// capacity, a full queue that refuses what does not fit.
class TraceLines final : public LineSink {
public:
    explicit TraceLines(std::size_t capacity = std::numeric_limits<std::size_t>::max())
        : m_capacity(capacity) {}
    bool Post(std::wstring line) override {
        if (lines.size() >= m_capacity) {
            return false;
        }
        lines.push_back(std::move(line));
        return true;
    }
    bool PostAndWait(std::wstring line, std::chrono::milliseconds /*timeout*/) override {
        return Post(std::move(line));
    }
    // The file's text, in UTF-8.
    std::string Text() const {
        std::string text;
        for (const std::wstring& line : lines) {
            text += Utf8(line) + "\r\n";
        }
        return text;
    }

    std::vector<std::wstring> lines;

private:
    std::size_t m_capacity;
};

// Whom the silent runner's outcome is for: no one watches, the console is told.
inline constexpr Audience kSilentAudience{.unattended = true, .checkOnly = false, .notice = true};

// A dialog's flow wired to the simulated dock: answers, removals and arrivals
// are handed to the flow the way the dialog's window thread hands them over.
class FlowHarness {
public:
    explicit FlowHarness(sim::DockSettings settings = {}, char updatePlan = '3',
                         UpgradeFlow::Schedule schedule = UpgradeFlow::Schedule::WindowTimers,
                         Audience audience = {})
        : package(updatePlan),
          dock(settings),
          link(dock),
          outcome(audience, surface.Actions()),
          events(outcome, &trace),
          flow(surface, surface, events, link, tools, tools.results, package.file, package.images,
               package.identity, schedule) {}

    // Hands over everything the dock has produced until it waits for the
    // tool, or until `limit` deliveries (a dock that never stops).
    void Pump(std::size_t limit = 100000) {
        for (std::size_t i = 0; i < limit; ++i) {
            // An offer taken is started once the handler that made it is done.
            TakeOffers();
            // The window thread handles timers that fell due between answers
            // (a pause moves the clock on).
            FireTimersDueBy(surface.now, limit > 1);
            const auto delivery = link.TakeNext();
            if (!delivery) {
                return;
            }
            // A dock that takes its time: what falls due meanwhile comes first.
            if (delivery->afterMs > 0) {
                Advance(delivery->afterMs, /*pump=*/false);
            }
            switch (delivery->kind) {
                case SimHidLink::Delivery::Kind::Report:
                    flow.OnIspReport(std::span(delivery->bytes.data(), delivery->length));
                    break;
                case SimHidLink::Delivery::Kind::Removed:
                    flow.OnHidRemoval(delivery->path);
                    break;
                case SimHidLink::Delivery::Kind::Arrived:
                    flow.OnHidArrival();
                    break;
            }
        }
    }

    // Moves the virtual clock on, firing each timer when it falls due and
    // pumping what its handler set off.
    // With `pump` false, what the timers set off stays queued for the test
    // to hand over step by step.
    void Advance(unsigned milliseconds, bool pump = true) {
        const unsigned end = surface.now + milliseconds;
        FireTimersDueBy(end, pump);
        surface.now = std::max(surface.now, end);
    }

    // Fires, in order of their due times, the timers due by `end`, and hands
    // over what each one set off.
    void FireTimersDueBy(unsigned end, bool pump = true) {
        while (FireNextTimer(end)) {
            if (pump) {
                Pump();
            }
        }
    }

    // Fires the earliest timer when it is due by `end`, with the clock moved
    // on to its due time. False when there is none.
    bool FireNextTimer(unsigned end = std::numeric_limits<unsigned>::max()) {
        const auto next = std::min_element(
            surface.timers.begin(), surface.timers.end(),
            [](const auto& a, const auto& b) { return a.second.due < b.second.due; });
        if (next == surface.timers.end() || next->second.due > end) {
            return false;
        }
        surface.now = std::max(surface.now, next->second.due);
        flow.OnDialogTimer(next->first);
        return true;
    }

    // From now on what goes over the wire is traced, on the virtual clock.
    void StartTrace() {
        trace.Begin(L"1.0.0.0", package.images, package.identity, L"native");
        link.SetTrace(&trace);
    }

    // Starts each update the outcome took from a check, as the silent runner does.
    void TakeOffers() {
        while (offersStarted < surface.offersTaken) {
            ++offersStarted;
            flow.OnStartUpgrade();
        }
    }

    // The user powers the dock off and on, as the message after PASS asks:
    // only then does the dock leave its bootloader for the new application.
    void PowerReset() {
        link.Unplug();
        link.Plug();
    }

    // A scan that finds the dock, as the arrival timer or "FW Ver" runs it.
    void Scan() {
        flow.OnScanDevices();
        Pump();
    }

    LoadedSamplePackage package;
    RecordingSurface surface;
    ScriptedTools tools;
    sim::DockSimulator dock;
    SimHidLink link;
    TraceLines traced;
    TraceWriter trace{[this] { return std::uint64_t{surface.now}; }, traced};
    RunOutcome outcome;
    TracedEvents events;
    UpgradeFlow flow;
    int offersStarted = 0;
};

// Reaches into the flow for what no handler can do: put it into a step value
// that nothing ever sets. One definition for every test that needs it.
struct UpgradeFlowTestAccess {
    static void SetStep(UpgradeFlow& flow, IspStep step) { flow.m_run.m_step = step; }
    // Runs the step the run stands in, as an answer would.
    static void StepSequencer(UpgradeFlow& flow) { flow.m_run.StepSequencer(); }
};
