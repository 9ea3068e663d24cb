// Reading the mail list and compacting a full received-mail store (32,767 records, about
// 1 GB of real records in a temporary folder).
//
// Counters: read_per_store / written_per_store are the bytes the process read and wrote
// (from /proc/self/io) per iteration, divided by the store size: the list must read a small
// fraction of the store, a compaction about one store's worth each way. disk_read_per_store
// is what the disk itself delivered (readahead included), which matters with a cold cache.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/file_io.h"
#include "store/received_mail_store.h"

namespace {

using tsubame::ReceivedMailRecord;
using tsubame::ReceivedMailStore;

struct IoCounters {
    double read = 0;
    double written = 0;
    double fromDisk = 0;
};

IoCounters processIo() {
    std::ifstream in("/proc/self/io");
    IoCounters io;
    std::string key;
    double value = 0;
    while (in >> key >> value) {
        if (key == "rchar:") io.read = value;
        if (key == "wchar:") io.written = value;
        if (key == "read_bytes:") io.fromDisk = value;
    }
    return io;
}

// One full store, made once for all benchmarks and removed at exit.
class FullStore {
  public:
    static FullStore& instance() {
        static FullStore store;
        return store;
    }
    const std::filesystem::path& path() const { return path_; }
    ReceivedMailStore store() const { return ReceivedMailStore(path_, folder_ / "KORDATA2.TMP"); }
    double size() const { return static_cast<double>(std::filesystem::file_size(path_)); }

    // Forgets the store's pages, so the next read comes from the disk.
    void dropCache() const {
        tsubame::UniqueFd fd = tsubame::openFile(path_, O_RDONLY);
        ::fdatasync(fd.get());
        ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_DONTNEED);
    }

    // Brings the store back to 32,767 records after a compaction removed some.
    void refill() const {
        ReceivedMailStore s = store();
        while (s.count() < ReceivedMailStore::kMaxRecords) {
            if (!s.append(sample(static_cast<int>(s.count()) + 1))) std::abort();
        }
    }

  private:
    FullStore() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tsubame-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        folder_ = pattern;
        path_ = folder_ / "kordata2.data";
        // Written in large blocks of real records (no holes), then flushed.
        tsubame::UniqueFd fd = tsubame::openFile(path_, O_WRONLY | O_CREAT | O_TRUNC);
        constexpr int kPerBlock = 64;
        std::string block;
        std::int64_t offset = 0;
        for (int n = 1; n <= ReceivedMailStore::kMaxRecords; ++n) {
            ReceivedMailRecord record = sample(n);
            block.append(record.bytes.data(), record.bytes.size());
            if (n % kPerBlock == 0 || n == ReceivedMailStore::kMaxRecords) {
                if (!tsubame::writeAt(fd.get(), block.data(), block.size(), offset)) std::abort();
                offset += static_cast<std::int64_t>(block.size());
                block.clear();
            }
        }
        if (!tsubame::syncFd(fd.get())) std::abort();
    }
    ~FullStore() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }

    static ReceivedMailRecord sample(int n) {
        ReceivedMailRecord record;
        const std::string number = std::to_string(n);
        std::string body;
        while (body.size() < 31000) body += "本文の行です。line " + number + "\r\n";
        record.fill("Subject " + number, "Mon, 7 Dec 2026 09:00:00 +0900",
                    "sender" + number + "@example.jp", body);
        return record;
    }

    std::filesystem::path folder_;
    std::filesystem::path path_;
};

void reportIo(benchmark::State& state, const IoCounters& before, double storeSize) {
    const IoCounters after = processIo();
    const double iterations = static_cast<double>(state.iterations());
    state.counters["read_per_store"] = (after.read - before.read) / iterations / storeSize;
    state.counters["written_per_store"] = (after.written - before.written) / iterations / storeSize;
    state.counters["disk_read_per_store"] =
        (after.fromDisk - before.fromDisk) / iterations / storeSize;
}

void BM_ListFieldsOfFullStore(benchmark::State& state) {
    const FullStore& full = FullStore::instance();
    const bool cold = state.range(0) != 0;
    ReceivedMailStore store = full.store();
    const IoCounters before = processIo();
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            full.dropCache();
            state.ResumeTiming();
        }
        auto entries = store.readListEntries();
        if (entries.size() != ReceivedMailStore::kMaxRecords) state.SkipWithError("short list");
        benchmark::DoNotOptimize(entries.data());
    }
    reportIo(state, before, full.size());
    state.SetLabel(cold ? "cold cache" : "warm cache");
}
BENCHMARK(BM_ListFieldsOfFullStore)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Baseline: one plain read of the whole store and one write of a copy, flushed.
void BM_CopyStoreOnce(benchmark::State& state) {
    const FullStore& full = FullStore::instance();
    const std::filesystem::path copy = full.path().parent_path() / "copy.data";
    std::string buffer(4u << 20, '\0');
    const IoCounters before = processIo();
    for (auto _ : state) {
        tsubame::UniqueFd in = tsubame::openFile(full.path(), O_RDONLY);
        tsubame::UniqueFd out = tsubame::openFile(copy, O_WRONLY | O_CREAT | O_TRUNC);
        std::int64_t offset = 0;
        for (;;) {
            std::size_t got = 0;
            if (!tsubame::readAt(in.get(), buffer.data(), buffer.size(), offset, &got)) break;
            if (got == 0) break;
            if (!tsubame::writeAt(out.get(), buffer.data(), got, offset)) break;
            offset += static_cast<std::int64_t>(got);
        }
        if (!tsubame::syncFd(out.get())) state.SkipWithError("sync failed");
    }
    reportIo(state, before, full.size());
    std::filesystem::remove(copy);
}
BENCHMARK(BM_CopyStoreOnce)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_CompactFullStoreAfterRemovingOne(benchmark::State& state) {
    const FullStore& full = FullStore::instance();
    ReceivedMailStore store = full.store();
    IoCounters excluded;  // the refill between iterations is not part of the compaction
    const IoCounters before = processIo();
    for (auto _ : state) {
        state.PauseTiming();
        const IoCounters pausedAt = processIo();
        full.refill();
        if (!store.mark(ReceivedMailStore::kMaxRecords / 2)) state.SkipWithError("mark failed");
        const IoCounters resumedAt = processIo();
        excluded.read += resumedAt.read - pausedAt.read;
        excluded.written += resumedAt.written - pausedAt.written;
        state.ResumeTiming();
        if (!store.compact()) state.SkipWithError("compaction failed");
    }
    IoCounters adjusted = before;
    adjusted.read += excluded.read;
    adjusted.written += excluded.written;
    reportIo(state, adjusted, full.size());
    full.refill();
}
BENCHMARK(BM_CompactFullStoreAfterRemovingOne)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
