#pragma once

namespace tsubame {

class MailLibrary;

// Starts the mail library once per run (header buffers of 8192 characters) and stops it.
void startMailLibrary(MailLibrary& mail);
void stopMailLibrary(MailLibrary& mail);

}  // namespace tsubame
