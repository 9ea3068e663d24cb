// Deletes one record of the application folder's received-mail store, the way the viewer's
// single deletion does (mark, then compact), and prints the seconds it took.
//
//     bench_remove_one APP_FOLDER RECORD

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "core/app_paths.h"
#include "store/received_mail_store.h"

using namespace tsubame;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s APP_FOLDER RECORD\n", argv[0]);
        return 2;
    }
    const AppPaths paths(argv[1]);
    const ReceivedMailStore store(paths.receivedStore(), paths.receivedTemp());
    const std::int64_t record = std::strtoll(argv[2], nullptr, 10);

    const auto start = std::chrono::steady_clock::now();
    const Status status = store.remove(record);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (!status) {
        std::fprintf(stderr, "%s\n", status.message().c_str());
        return 1;
    }
    std::printf("%.6f\n", elapsed.count());
    return 0;
}
