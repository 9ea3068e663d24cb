// A second writer of the received store for the tests of the data folder's lock: deletes the
// first listed mail again and again, the way the viewer's "一件削除" does (the lock, then the
// listed record), and writes the subject of every mail it removed to the log, one a line.
//
//   tsubame_store_deleter APP_FOLDER LOG_FILE STOP_FILE
// Ends when STOP_FILE exists.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

#include "core/app_paths.h"
#include "core/data_folder_lock.h"
#include "store/received_mail_store.h"

using namespace tsubame;

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: tsubame_store_deleter APP_FOLDER LOG_FILE STOP_FILE\n";
        return 2;
    }
    const AppPaths paths{std::filesystem::path(argv[1])};
    const ReceivedMailStore store(paths.receivedStore(), paths.receivedTemp());
    std::ofstream log(argv[2], std::ios::binary | std::ios::app);
    const std::filesystem::path stop(argv[3]);
    while (!std::filesystem::exists(stop)) {
        if (DataFolderLock lock = DataFolderLock::tryAcquire(paths.dataFolderLock())) {
            const std::vector<ReceivedMailListEntry> listed = store.readListEntries();
            if (!listed.empty() && store.removeListed(1, listed.front()).ok())
                log << listed.front().subject << '\n' << std::flush;
        }
        // A user's pace is far slower; this only leaves the others a moment to take the lock.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return 0;
}
