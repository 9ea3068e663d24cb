#include "send/send_passes.h"

#include "core/cp932.h"
#include "core/fixed_field.h"
#include "send/send_fortune.h"

namespace tsubame {
namespace {

constexpr int kErrorBufferSize = 8192;

std::string libraryErrorText(MailLibrary& mail) {
    std::string buffer;
    int size = kErrorBufferSize;
    mail.NMailGetMessage(0, buffer, size);
    return cp932ToUtf8(cutAtNul(buffer));
}

}  // namespace

SendCallResult sendOneMessage(MailLibrary& mail, const OutgoingMessage& message,
                              const std::string& to, const std::string& body) {
    mail.NMailSetTrustedCertificates(message.trustedCertificates);
    int result = mail.NMailSmtpSendMailUtf8(message.server.c_str(), to.c_str(), nullptr, nullptr,
                                            message.from.c_str(), message.subject.c_str(),
                                            body.c_str(), nullptr, message.attachments.c_str(), 0);
    if (result >= 0) return {true, {}, {}};
    return {false, libraryErrorText(mail), mail.NMailLastTlsProblem()};
}

void applySmtpLogin(MailLibrary& mail, const AccountSettings& account,
                    const std::string& storedUserId, const std::string& storedPassword) {
    bool stored = !storedUserId.empty() || !storedPassword.empty();
    const std::string id = stored ? storedUserId : utf8ToCp932(account.UserId);
    const std::string password = stored ? storedPassword : utf8ToCp932(account.Password);
    mail.NMailSetSmtpLogin(id.c_str(), password.c_str());
}

std::vector<std::optional<PassRecipient>> toAllRecipients(
    int passCount, const std::vector<AddressRecord>& entries) {
    std::vector<std::optional<PassRecipient>> passes;
    for (int i = 0; i < passCount; ++i) {
        if (static_cast<std::size_t>(i) >= entries.size()) {
            passes.push_back(std::nullopt);
            continue;
        }
        std::string_view stored = entries[static_cast<std::size_t>(i)].addressField();
        std::string_view field = fixedFieldCell({stored.data(), stored.size()});
        std::string address = cp932ToUtf8(trimTrailingBlanks(field));
        if (trimBlanks(address).empty()) {
            passes.push_back(std::nullopt);
            continue;
        }
        passes.push_back(PassRecipient{address, cp932ToUtf8(field)});
    }
    return passes;
}

RemainingPasses remainingPasses(const std::vector<std::optional<PassRecipient>>& passes,
                                const std::set<std::string>& delivered) {
    RemainingPasses remaining;
    for (std::size_t row = 0; row < passes.size(); ++row) {
        const auto& recipient = passes[row];
        if (recipient && delivered.count(recipient->address) > 0) {
            ++remaining.alreadySent;
            continue;
        }
        remaining.passes.push_back(recipient);
        remaining.rows.push_back(static_cast<int>(row));
    }
    return remaining;
}

SendReport runSendPasses(MailLibrary& mail, const OutgoingMessage& message,
                         const std::vector<std::optional<PassRecipient>>& passes,
                         const SendHooks& hooks) {
    SendReport report;
    int pass = 0;
    for (const auto& recipient : passes) {
        ++pass;
        if (!recipient) {
            ++report.skipped;
            report.unsentPasses.push_back(pass);
            continue;
        }
        if (hooks.passStarting) hooks.passStarting(pass, *recipient);
        // The body as written is passed as it is: a large one is not copied for each pass.
        std::string withFortune;
        if (message.fortune) {
            int k = hooks.drawFortune ? hooks.drawFortune() : drawFortuneNumber();
            withFortune = bodyWithFortune(message.body, k);
        }
        SendCallResult result = sendOneMessage(mail, message, recipient->address,
                                               message.fortune ? withFortune : message.body);
        if (result.ok) {
            ++report.sent;
            report.sentAddresses.push_back(recipient->address);
            continue;
        }
        report.failedAddresses.push_back(recipient->address);
        report.unsentPasses.push_back(pass);
        if (result.tlsProblem.kind != MailLibrary::TlsProblem::Kind::None) {
            report.tlsProblem = result.tlsProblem;
            report.tlsProblemText = result.error;
            for (int later = pass + 1; later <= static_cast<int>(passes.size()); ++later)
                report.unsentPasses.push_back(later);
            return report;
        }
        if (hooks.passFailed) hooks.passFailed(pass, recipient->address, result.error);
    }
    return report;
}

}  // namespace tsubame
