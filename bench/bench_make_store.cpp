// Writes a received-mail store of real records for the benchmarks: each given mail is decoded
// the way a mail check decodes it, filled into the store's record format, and the decoded
// mails are repeated in turn until the store holds the asked number of records.
//
//     bench_make_store STORE RECORDS MAIL.eml...

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "mime/mime_decode.h"
#include "store/received_mail_record.h"

using namespace tsubame;

namespace {

std::string readWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ReceivedMailRecord decodedRecord(const std::filesystem::path& mailFile,
                                 const std::filesystem::path& attachmentFolder) {
    DecodedMail mail;
    std::string error;
    decodeMailAndSaveAttachments(readWholeFile(mailFile), attachmentFolder, mail, error);
    ReceivedMailRecord record;
    record.fill(mail.headers.subject, mail.headers.date, mail.headers.from, mail.body);
    return record;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s STORE RECORDS MAIL.eml...\n", argv[0]);
        return 2;
    }
    const std::filesystem::path store = argv[1];
    const long records = std::strtol(argv[2], nullptr, 10);
    const std::filesystem::path attachments = store.parent_path() / "bench-attachments";
    std::filesystem::create_directories(attachments);

    std::vector<ReceivedMailRecord> decoded;
    for (int i = 3; i < argc; ++i) decoded.push_back(decodedRecord(argv[i], attachments));
    std::filesystem::remove_all(attachments);

    std::ofstream out(store, std::ios::binary | std::ios::trunc);
    for (long n = 0; n < records && out; ++n) {
        const auto& bytes = decoded[static_cast<std::size_t>(n) % decoded.size()].bytes;
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    out.close();
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", store.c_str());
        return 1;
    }
    return 0;
}
