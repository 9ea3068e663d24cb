#include "transport/smtp_send.h"

namespace tsubame {

// Placeholder until the libcurl sender lands.
int sendMail(const OutgoingMail&, std::string& error) {
    error = "SMTP is not available yet";
    return -1;
}

}  // namespace tsubame
