// Opening the viewer on a full store (32,767 records, about 1 GB): only the list fields of
// every record and the last record's body are read.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTextEdit>
#include <cstdio>
#include <fstream>
#include <memory>

#include "context/app_context.h"
#include "core/cp932.h"
#include "maillib/mail_library.h"
#include "store/received_mail_store.h"
#include "ui/dialogs.h"
#include "viewer/tyaku_form.h"

namespace {

using namespace tsubame;

// The viewer makes no library calls and shows no boxes here.
class NoMailLibrary : public MailLibrary {
  public:
    int NMailInitializeWinSock() override { return 1; }
    int NMailSetOption(int, int) override { return 1; }
    int NMailEndWinSock() override { return 1; }
    void interrupt(Work) override {}
    void resume(Work) override {}
    int NMailPop3Connect(const char*) override { return -1; }
    int NMailPop3Authenticate(int, const char*, const char*, int) override { return -1; }
    int NMailPop3GetMailStatus(int, int, std::string&, std::string&, std::string&, std::string&,
                               int) override {
        return -1;
    }
    int NMailPop3GetMailSize(int, int) override { return -1; }
    int NMailPop3GetMail(int, int, std::string&, std::string&, std::string&, std::string&,
                         std::string&, const char*, const char*) override {
        return -1;
    }
    int NMailPop3GetMailView(int, int, std::string&, std::string&, std::string&, std::string&,
                             std::string_view&, std::string_view&) override {
        return -1;
    }
    int NMailAttachmentFileFirst(int, std::string&, std::string&, std::string&, std::string&,
                                 std::string&, const char*, const char*, const char*,
                                 int) override {
        return 0;
    }
    int NMailAttachmentFileFirstLength(std::string&, std::string&, std::string&, std::string&,
                                       std::string&, const std::filesystem::path&, std::string_view,
                                       std::vector<std::filesystem::path>&) override {
        return 0;
    }
    int NMailAttachmentFileFirstBodyStart(std::string&, std::string&, std::string&, std::string&,
                                          std::string&, const std::filesystem::path&,
                                          std::string_view, std::vector<std::filesystem::path>&,
                                          std::size_t, DecodeDetails*) override {
        return 0;
    }
    int NMailAttachmentFileClose(int) override { return 1; }
    int NMailPop3DeleteMail(int, int) override { return -1; }
    int NMailPop3Close(int) override { return -1; }
    int NMailPop3Abort(int) override { return -1; }
    int NMailSmtpSendMail(const char*, const char*, const char*, const char*, const char*,
                          const char*, const char*, const char*, const char*, int) override {
        return -1;
    }
    int NMailSmtpSendMailUtf8(const char*, const char*, const char*, const char*, const char*,
                              const char*, const char*, const char*, const char*, int) override {
        return -1;
    }
    int NMailGetMessage(int, std::string& buffer, int&) override {
        buffer.clear();
        return 1;
    }
    void NMailSetSmtpLogin(const char*, const char*) override {}
    std::string NMailPop3GetUidl(int, int) override { return {}; }
};

class SilentDialogs : public Dialogs {
  public:
    BoxAnswer messageBox(QWidget*, const QString&, const QString&, BoxButtons, BoxIcon) override {
        return BoxAnswer::Ok;
    }
    std::optional<QString> openFileName(QWidget*, const QString&, const QString&) override {
        return std::nullopt;
    }
    std::optional<QString> saveFileName(QWidget*, const QString&, const QString&) override {
        return std::nullopt;
    }
    bool printDialog(QWidget*, QPrinter&) override { return false; }
};

// One full store for every benchmark of the run, written record by record in one pass.
struct FullStore {
    QTemporaryDir root;
    std::filesystem::path folder;

    FullStore() {
        folder = std::filesystem::path(root.path().toStdString());
        std::filesystem::create_directories(folder / "★MailData");
        AppPaths paths(folder);
        std::ofstream out(paths.receivedStore(), std::ios::binary);
        ReceivedMailRecord record;
        const std::string body = utf8ToCp932(std::string(2000, 'x') + "\r\n本文の終わり");
        for (int n = 1; n <= ReceivedMailStore::kMaxRecords; ++n) {
            record.fill(utf8ToCp932("お知らせ 第" + std::to_string(n) + "号"),
                        "Mon, 7 Dec 2026 09:00:00 +0900", "sender@example.jp", body);
            out.write(record.bytes.data(), record.bytes.size());
        }
    }
};

FullStore& fullStore() {
    static FullStore store;
    return store;
}

void BM_OpenViewerOnFullStore(benchmark::State& state) {
    NoMailLibrary mail;
    SilentDialogs dialogs;
    AppContext app(AppPaths(fullStore().folder), mail, dialogs);
    TyakuForm& viewer = app.viewer();
    for (auto _ : state) {
        viewer.openViewer();
        QApplication::processEvents();
        benchmark::DoNotOptimize(viewer.listRowCount());
    }
    if (viewer.listRowCount() != ReceivedMailStore::kMaxRecords ||
        viewer.reader()->toPlainText().isEmpty())
        state.SkipWithError("the viewer did not list the full store");
}
BENCHMARK(BM_OpenViewerOnFullStore)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_CreateAndOpenViewerOnFullStore(benchmark::State& state) {
    NoMailLibrary mail;
    SilentDialogs dialogs;
    for (auto _ : state) {
        AppContext app(AppPaths(fullStore().folder), mail, dialogs);
        app.viewer().openViewer();
        QApplication::processEvents();
        benchmark::DoNotOptimize(app.viewer().listRowCount());
    }
}
BENCHMARK(BM_CreateAndOpenViewerOnFullStore)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::fprintf(stderr, "writing a store of %lld records...\n",
                 static_cast<long long>(ReceivedMailStore::kMaxRecords));
    fullStore();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
