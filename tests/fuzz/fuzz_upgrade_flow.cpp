#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

#include "app/flow/DialogSurface.h"
#include "app/flow/FlowEvents.h"
#include "app/flow/UpgradeFlow.h"
#include "device/HidLink.h"
#include "package/FirmwarePackage.h"
#include "package/PackageIdentity.h"
#include "package/PackageWriter.h"
#include "package/sample/SampleImages.h"
#include "tests/support/MemoryPackageFile.h"
#include "tools/ToolLauncher.h"

// The flow fed arbitrary answers, removals, scans and starts, in any order and
// at any step. Whatever the dock says, the tool may only send the commands of
// its command set and data packets of 1 to 59 bytes, and may only read image
// bytes that lie inside an image; and it may only write the dock inside a
// run that began and has not ended.
namespace {

class QuietSurface final : public DialogSurface {
public:
    void EnableControl(int, bool) override {}
    void SetResultLook(ResultLook) override {}
    void SetProgressPosition(int) override {}
    void SetProgressFill(std::uint32_t) override {}
    void ShowModalMessage(std::wstring_view) override {}
    void SetTimer(int, unsigned) override {}
    void KillTimer(int) override {}
    void Pause(unsigned) override {}
    void PostLog(LogRecord) override {}
    void ClearLog() override {}
    void EndDialog() override {}
};

class CheckingEvents final : public FlowEvents {
public:
    void RunBegan(const CheckFacts&) override { m_underway = true; }
    void RunWrote() override {
        if (!m_underway) {
            __builtin_trap();
        }
    }
    void RunEnded(FlowEnding) override { m_underway = false; }
    void CheckEnded(FlowEnding, const CheckFacts&) override {}

private:
    bool m_underway = false;
};

class CheckingLink final : public HidLink {
public:
    bool OpenDevice(std::uint16_t, std::uint16_t, std::uint16_t) override {
        HidLinkState& state = State();
        state.m_bOpen = state.m_bReadOpen = state.m_bWriteOpen = state.m_bThreadsStarted = true;
        state.m_strDevicePath = L"\\\\?\\hid#vid_10c4&pid_f607#dock";
        return true;
    }
    void CloseDevice() override {}
    void WakeReader() override {}
    bool WriteReport(const device::IspReport& report) override {
        if (report[2] == 0xFE && report[3] == 0xFF) {
            const std::uint8_t code = report[4];
            const bool known = code == 0x02 || code == 0x03 || code == 0x04 || code == 0x05 ||
                               (code >= 0x07 && code <= 0x0F && code != 0x0B);
            if (!known) {
                __builtin_trap();
            }
        } else if (report[1] == 0 || report[1] > 59) {
            __builtin_trap();
        }
        return true;
    }
};

// Reads outside every image would send bytes of a record or of another image.
class CheckingFile final : public PackageFile {
public:
    CheckingFile(PackageFile& file, const package::ImageTable& images)
        : m_file(file), m_images(images) {}
    std::uint64_t Size() const override { return m_file.Size(); }
    bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
        bool inside = false;
        for (int k = 0; k < package::kImageCount; ++k) {
            const std::uint64_t begin = m_images.m_dwImageOffset[k];
            inside = inside || (offset >= begin &&
                                offset + out.size() <= begin + m_images.m_dwImageLength[k]);
        }
        if (!inside) {
            __builtin_trap();
        }
        return m_file.ReadAt(offset, out);
    }

private:
    PackageFile& m_file;
    const package::ImageTable& m_images;
};

class NoTools final : public ToolLauncher {
public:
    std::optional<MissingTool> StartHubTool() override { return std::nullopt; }
    std::optional<MissingTool> StartDpTool() override { return std::nullopt; }
};

struct SamplePackage {
    SamplePackage() : file(Bytes()) {
        if (!package::LoadPackage(file, images, identity.m_wPackageVid, identity.m_wPackagePid)
                 .Ok()) {
            __builtin_trap();
        }
        identity.m_bPackageLoaded = true;
    }
    static std::vector<std::uint8_t> Bytes() {
        package::PackageWriter::Images contents;
        for (int k = 0; k < package::kImageCount; ++k) {
            contents[k] = package::SampleImages::Image(k);
        }
        const auto record = package::SampleImages::kRecord;
        const package::PackageWriter writer(std::vector<std::uint8_t>(record.begin(), record.end()),
                                            contents);
        std::vector<std::uint8_t> bytes(150000 + writer.Package().size(), 0);
        std::memcpy(bytes.data() + 150000, writer.Package().data(), writer.Package().size());
        return bytes;
    }
    MemoryPackageFile file;
    package::ImageTable images;
    PackageIdentity identity;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static SamplePackage sample;
    if (size < 1) {
        return 0;
    }
    package::ImageTable images = sample.images;
    images.m_chUpdatePlan = static_cast<char>("1238"[data[0] & 3]);
    CheckingFile file(sample.file, images);
    QuietSurface surface;
    CheckingLink link;
    NoTools tools;
    ToolResults toolResults;
    CheckingEvents events;
    UpgradeFlow flow(surface, surface, events, link, tools, toolResults, file, images,
                     sample.identity);

    std::size_t at = 1;
    while (at < size) {
        const std::uint8_t op = data[at++];
        switch (op % 8) {
            case 0:
                flow.OnScanDevices();
                break;
            case 1:
                flow.OnStartUpgrade();
                break;
            case 2:
                flow.OnHidRemoval(link.State().m_strDevicePath);
                break;
            default: {
                // An answer of the dock: up to 64 bytes of the input, of any length.
                const std::size_t length = std::min<std::size_t>(op / 8U * 4U + 1U, size - at);
                flow.OnIspReport(std::span(data + at, length));
                at += length;
                break;
            }
        }
    }
    return 0;
}
