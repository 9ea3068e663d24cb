// One mail check against a POP3 server through the mail library: for every mail the status,
// size and whole mail, decoding with attachments saved, and the deletion mark; then close.
// Started by bench/pop3_fetch_bench.py, which runs the server, delivers the mails and
// compares with mpop. Environment: TSUBAME_BENCH_POP3_SERVER, TSUBAME_BENCH_POP3_USER,
// TSUBAME_BENCH_POP3_PASSWORD.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "maillib/module/nmail.h"

namespace {

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

void BM_Pop3MailCheck(benchmark::State& state) {
    const std::string server = env("TSUBAME_BENCH_POP3_SERVER");
    if (server.empty()) {
        state.SkipWithError("start through bench/pop3_fetch_bench.py");
        return;
    }
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("tsubame-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    auto library = tsubame::createMailLibrary();
    long long mails = 0, bytes = 0;
    for (auto _ : state) {
        int handle = library->NMailPop3Connect(server.c_str());
        int count = library->NMailPop3Authenticate(handle, env("TSUBAME_BENCH_POP3_USER").c_str(),
                                                   env("TSUBAME_BENCH_POP3_PASSWORD").c_str(), 0);
        if (count < 0) {
            state.SkipWithError("login failed");
            break;
        }
        for (int n = 1; n <= count; ++n) {
            std::string subject, date, from, header, body;
            library->NMailPop3GetMailStatus(handle, n, subject, date, from, header, 0);
            bytes += library->NMailPop3GetMailSize(handle, n);
            library->NMailPop3GetMail(handle, n, subject, date, from, header, body, nullptr,
                                      nullptr);
            std::string raw = header + "\r\n" + body + "\r\n";
            library->NMailAttachmentFileFirst(0, subject, date, from, header, body, folder.c_str(),
                                              (folder / "0.txt").c_str(), raw.c_str(), 0);
            library->NMailAttachmentFileClose(0);
            benchmark::DoNotOptimize(body);
            library->NMailPop3DeleteMail(handle, n);
        }
        if (library->NMailPop3Close(handle) != 1) state.SkipWithError("close failed");
        mails += count;
    }
    std::filesystem::remove_all(folder);
    state.counters["mails"] = static_cast<double>(mails);
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_Pop3MailCheck)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
