#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/download_progress.h"

namespace tsubame {

// The mail library: POP3 retrieval, SMTP sending and MIME decoding behind the thirteen calls
// the client makes. Every text in and out is code page 932. Output "buffers" are strings that
// the library replaces; header buffers hold at most kHeaderBufferSize - 1 bytes.
//
// Results: NMailPop3Connect gives a handle or -1; NMailPop3Authenticate the number of mails
// (< 0 on failure); NMailAttachmentFileFirst 1 when attachments were saved, 0 when none,
// kAttachmentCannotOpen, kAttachmentPartsMissing; NMailSmtpSendMail < 0 on failure.
// After any failure NMailGetMessage gives a text that says what went wrong: the text of the
// calling thread's last failed call, so a call on another thread never replaces it.
// What the mail check's decoding tells beside its code page 932 buffers.
struct DecodeDetails {
    bool lossy = false;  // the texts and files miss something of the mail (see DecodedMail)
    // Subject, date and sender in UTF-8, with the characters code page 932 lacks (empty when
    // the library gives none), and the body in UTF-8 when its code page 932 form lost a
    // character (else empty: that form says all of it).
    std::string subject, date, from, body;
};

class MailLibrary {
  public:
    // The decoder's own values (mime/mime_decode.h), which the real library passes on.
    static constexpr int kHeaderBufferSize = 8192;
    static constexpr int kAttachmentCannotOpen = -5;
    static constexpr int kAttachmentPartsMissing = -6;
    // NMailPop3GetMail: the connection itself is gone, so no later mail can be fetched (other
    // negative results concern that one mail only).
    static constexpr int kConnectionLost = -2;
    // NMailPop3Authenticate: the mailbox is in use or the server has a passing problem; a
    // later check may succeed (other negative results are failures of the login itself).
    static constexpr int kMailboxBusy = -3;

    virtual ~MailLibrary() = default;

    virtual int NMailInitializeWinSock() = 0;
    virtual int NMailSetOption(int option, int value) = 0;
    virtual int NMailEndWinSock() = 0;

    virtual int NMailPop3Connect(const char* server) = 0;
    // apop: -1 for an APOP login, 0 for USER/PASS.
    virtual int NMailPop3Authenticate(int handle, const char* id, const char* password,
                                      int apop) = 0;
    virtual int NMailPop3GetMailStatus(int handle, int mailNo, std::string& subject,
                                       std::string& date, std::string& from, std::string& header,
                                       int flag) = 0;
    virtual int NMailPop3GetMailSize(int handle, int mailNo) = 0;
    // header: the raw header; body: the raw body (everything after the blank line).
    virtual int NMailPop3GetMail(int handle, int mailNo, std::string& subject, std::string& date,
                                 std::string& from, std::string& header, std::string& body,
                                 const char* path, const char* fileName) = 0;
    // The mail check's fetch: NMailPop3GetMail without copying the mail. rawHeader and body
    // view the library's downloaded copy (rawHeader is the whole header, which header gets
    // cut to the buffer's limit); they stay valid until the next fetch on this connection or
    // its close.
    virtual int NMailPop3GetMailView(int handle, int mailNo, std::string& subject,
                                     std::string& date, std::string& from, std::string& header,
                                     std::string_view& rawHeader, std::string_view& body) = 0;
    // Decodes rawMail: the five buffers come back with the decoded subject, date, sender,
    // header and body text; attachments are saved into folder.
    // The downloads of NMailPop3GetMail and NMailPop3GetMailView on this connection report
    // to progress from now on (null: no more). progress must stay until the connection is
    // closed or this is called with null. Libraries that cannot tell report nothing.
    virtual void NMailPop3WatchDownload(int /*handle*/, DownloadProgress* /*progress*/) {}
    virtual int NMailAttachmentFileFirst(int hwnd, std::string& subject, std::string& date,
                                         std::string& from, std::string& header, std::string& body,
                                         const char* folder, const char* fileName,
                                         const char* rawMail, int flag) = 0;
    virtual int NMailAttachmentFileClose(int hwnd) = 0;
    // The attachment step of the mail check: like NMailAttachmentFileFirst, but the raw mail
    // comes with its length (it may hold NUL bytes), the folder is a path of this system, not
    // a code page 932 text, and savedFiles gets the files written. A failing attachment leaves
    // none of the mail's files behind.
    virtual int NMailAttachmentFileFirstLength(std::string& subject, std::string& date,
                                               std::string& from, std::string& header,
                                               std::string& body,
                                               const std::filesystem::path& folder,
                                               std::string_view rawMail,
                                               std::vector<std::filesystem::path>& savedFiles) = 0;
    // The same step for a caller that keeps only the start of the body and passes the mail
    // with its whole header (no cut header is put back): body comes back as at least
    // bodyLimit bytes after its leading blanks (all of it when shorter), and the library need
    // not convert more than that. details (when given) get what the buffers cannot say.
    virtual int NMailAttachmentFileFirstBodyStart(
        std::string& subject, std::string& date, std::string& from, std::string& header,
        std::string& body, const std::filesystem::path& folder, std::string_view rawMail,
        std::vector<std::filesystem::path>& savedFiles, std::size_t bodyLimit,
        DecodeDetails* details) = 0;
    // True when NMailAttachmentFileFirstBodyStart and NMailAttachmentFileClose keep nothing
    // between calls, so that several run at once on other threads, beside the POP3 dialogue;
    // their failure text is then the calling thread's. False: one call at a time, as every
    // other call.
    virtual bool decodesBesideOtherCalls() { return false; }
    virtual int NMailPop3DeleteMail(int handle, int mailNo) = 0;
    virtual int NMailPop3Close(int handle) = 0;
    // Drops the connection without QUIT: the server removes nothing, marked or not. The
    // handle is released either way.
    virtual int NMailPop3Abort(int handle) = 0;

    // to, cc, bcc: addresses; header: extra header lines; path: attachment paths separated
    // by ",". Null pointers mean "none".
    virtual int NMailSmtpSendMail(const char* server, const char* to, const char* cc,
                                  const char* bcc, const char* from, const char* subject,
                                  const char* body, const char* header, const char* path,
                                  int flag) = 0;
    // The same send with UTF-8 texts, so that characters outside code page 932 arrive whole;
    // path holds attachment paths as the file system names them (native bytes).
    virtual int NMailSmtpSendMailUtf8(const char* server, const char* to, const char* cc,
                                      const char* bcc, const char* from, const char* subject,
                                      const char* body, const char* header, const char* path,
                                      int flag) = 0;
    // Fills buffer with the text of the last failure, cut to size - 1 bytes.
    virtual int NMailGetMessage(int hwnd, std::string& buffer, int& size) = 0;
    // What NMailGetMessage does with a message: buffer gets as much of it as size - 1 bytes
    // hold without splitting a character, size its length.
    static int giveMessage(std::string_view message, std::string& buffer, int& size);

    // The SMTP login, used when the server offers AUTH (empty id: no login).
    virtual void NMailSetSmtpLogin(const char* id, const char* password) = 0;

    // Unique id (UIDL) of mail n of a connection, empty when the server has none. Lets a
    // check that was interrupted recognise mails it already stored.
    virtual std::string NMailPop3GetUidl(int handle, int mailNo) = 0;

    // A TLS problem of the calling thread's last failed connect, login or send that the user
    // may settle. Texts are UTF-8.
    struct TlsProblem {
        enum class Kind {
            None,
            // The server offers no STLS (STARTTLS): the login was not sent in clear.
            NoTls,
            // The certificate could not be verified and is not the one trusted for the server.
            UntrustedCertificate,
        };
        Kind kind = Kind::None;
        std::string server;       // "host:port": the key of a trusted certificate
        std::string plainName;    // NoTls: the name allowing the login in clear, "pop3://host:port"
        std::string fingerprint;  // SHA-256, "AB:CD:..."
        std::string subject;
        std::string issuer;
        std::string notBefore;
        std::string notAfter;
        std::string reason;    // why the certificate was refused
        bool changed = false;  // another certificate than the trusted one
    };
    virtual TlsProblem NMailLastTlsProblem() { return {}; }
    // The certificates the user trusts: server ("host:port") to SHA-256 fingerprint. Checked on
    // every TLS connection from now on; callable from any thread, beside any other call.
    virtual void NMailSetTrustedCertificates(const std::map<std::string, std::string>&) {}

    // What interrupt() and resume() act on: the POP3 connections, the SMTP sends, or both.
    enum class Work { Receiving = 1, Sending = 2, All = 3 };
    // Ends the network waits of that work at once, and every one that starts later, until
    // resume(): the call waiting fails ("通信を中止しました"), and a POP3 close then reads
    // nothing that was asked ahead (see Pop3Client::quit). A mail half-downloaded is dropped.
    // Callable from any thread, also while another thread is inside a call, and from a signal
    // handler: it takes no lock (not the one that lets one call run at a time either) and
    // allocates nothing.
    virtual void interrupt(Work work) = 0;
    // Lets that work wait again; for whoever interrupted, before it starts the work anew.
    virtual void resume(Work work) = 0;
};

// What the user can change to settle problem, for a run that never asks (--check, --send):
// the server name in settingsFile, or the line to add to trustFile.
std::string tlsProblemAdvice(const MailLibrary::TlsProblem& problem,
                             const std::filesystem::path& settingsFile,
                             const std::filesystem::path& trustFile);
// The question a window asks about problem (Yes settles it).
std::string tlsProblemQuestion(const MailLibrary::TlsProblem& problem);

}  // namespace tsubame
