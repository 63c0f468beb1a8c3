#include <benchmark/benchmark.h>

#include "app/log/ActivityLog.h"
#include "package/FirmwarePackage.h"
#include "tests/support/MemoryPackageFile.h"
#include "tests/support/PackageBuilder.h"

namespace {

// The whole load of the shipped layout: trailer, window read, record scan and
// both image sums. The file is in memory, so this is the tool's own work
// without the disk.
void BM_LoadShippedPackage(benchmark::State& state) {
    const TestPackage package = TestPackage::Build(1'500'000, {17843, 8192, 262144, 512, 138416});
    MemoryPackageFile file(package.bytes);
    for (auto _ : state) {
        package::ImageTable table;
        std::uint16_t vid = 0;
        std::uint16_t pid = 0;
        benchmark::DoNotOptimize(package::LoadPackage(file, table, vid, pid));
    }
    state.SetBytesProcessed(state.iterations() * (package::kSearchWindowSize + 17843 + 138416));
}
BENCHMARK(BM_LoadShippedPackage)->Unit(benchmark::kMicrosecond);

void BM_RecordScan(benchmark::State& state) {
    const TestPackage package = TestPackage::Build(1'500'000, {17843, 8192, 262144, 512, 138416});
    const std::span<const std::uint8_t> window(
        package.bytes.data() + package.bytes.size() - package::kSearchWindowSize,
        package::kSearchWindowSize);
    for (auto _ : state) {
        benchmark::DoNotOptimize(package::ScanForRecords(window));
    }
    state.SetBytesProcessed(state.iterations() * package::kSearchWindowSize);
}
BENCHMARK(BM_RecordScan)->Unit(benchmark::kMicrosecond);

// A line appended to a log at its limit: the trim from the front is the cost
// every line pays once an update has logged 500 lines.
void BM_LogAppendAtLimit(benchmark::State& state) {
    ActivityLog log;
    for (int i = 0; i <= ActivityLog::kLineBreakLimit; ++i) {
        log.Append(LogRecord{L"Chip 2 File 2/2 packet " + std::to_wstring(i), 0, LogText});
    }
    const LogRecord line{L"Chip 2 File 2/2 packet 4444", 0, LogText};
    for (auto _ : state) {
        benchmark::DoNotOptimize(log.Append(line));
    }
}
BENCHMARK(BM_LogAppendAtLimit);

}  // namespace
