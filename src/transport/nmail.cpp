#include "transport/nmail.h"

namespace tsubame {
namespace {

// Placeholder: every network call fails until the real library lands.
class UnavailableMailLibrary : public MailLibrary {
public:
    int NMailInitializeWinSock() override { return 1; }
    int NMailSetOption(int, int) override { return 1; }
    int NMailEndWinSock() override { return 1; }
    int NMailPop3Connect(const char*) override { return fail(); }
    int NMailPop3Authenticate(int, const char*, const char*, int) override { return fail(); }
    int NMailPop3GetMailStatus(int, int, std::string&, std::string&, std::string&, std::string&,
                               int) override {
        return fail();
    }
    int NMailPop3GetMailSize(int, int) override { return fail(); }
    int NMailPop3GetMail(int, int, std::string&, std::string&, std::string&, std::string&,
                         std::string&, const char*, const char*) override {
        return fail();
    }
    int NMailAttachmentFileFirst(int, std::string&, std::string&, std::string&, std::string&,
                                 std::string&, const char*, const char*, const char*,
                                 int) override {
        return 0;
    }
    int NMailAttachmentFileClose(int) override { return 1; }
    int NMailPop3DeleteMail(int, int) override { return fail(); }
    int NMailPop3Close(int) override { return 1; }
    int NMailSmtpSendMail(const char*, const char*, const char*, const char*, const char*,
                          const char*, const char*, const char*, const char*, int) override {
        return fail();
    }
    int NMailGetMessage(int, std::string& buffer, int& size) override {
        buffer = "not available";
        size = static_cast<int>(buffer.size());
        return 1;
    }
    void NMailSetSmtpLogin(const char*, const char*) override {}
    std::string NMailPop3GetUidl(int, int) override { return {}; }

private:
    static int fail() { return -1; }
};

}  // namespace

std::unique_ptr<MailLibrary> createMailLibrary() { return std::make_unique<UnavailableMailLibrary>(); }

}  // namespace tsubame
