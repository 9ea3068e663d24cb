#pragma once

#include <map>
#include <string>

#include "maillib/mail_library.h"

class QWidget;

namespace tsubame {

class AppContext;

// The certificates the user trusts, for OutgoingMessage::trustedCertificates.
std::map<std::string, std::string> trustedCertificatesOf(const AppContext& app);

// Asks the user about a TLS problem of a check or a send (what tells what failed): a login in
// clear for a server without STLS (STARTTLS), or trusting a certificate that could not be
// verified. Yes settles it for every later run: the plain server name goes into korumi.ini, or
// the certificate's fingerprint into the trusted certificates. On the GUI thread; true when
// settled.
bool askAboutTlsProblem(AppContext& app, QWidget* parent, const MailLibrary::TlsProblem& problem,
                        const std::string& what);

}  // namespace tsubame
