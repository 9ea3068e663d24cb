#include "support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

extern char** environ;

namespace tsubame::testing {

namespace fs = std::filesystem;

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

ChildProcess::ChildProcess() {
    std::string pattern = (fs::temp_directory_path() / "tsubame-child-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) folder_ = pattern;
    out_ = folder_ / "out";
    err_ = folder_ / "err";
}

ChildProcess::~ChildProcess() {
    if (state() == Running) {
        kill();
        reap(true);
    }
    closeWriteChannel();
    std::error_code error;
    if (!folder_.empty()) fs::remove_all(folder_, error);
}

bool ChildProcess::start(const std::string& program, const std::vector<std::string>& arguments) {
    // Everything the child needs is made before the fork: after it, only exec-safe calls.
    std::vector<std::string> args{program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (!env_.contains(text.substr(0, text.find('=')))) env.push_back(text);
    }
    for (const auto& [name, value] : env_)
        if (value) env.push_back(name + "=" + *value);
    std::vector<char*> envp;
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    const std::string dir = workDir_ ? workDir_->string() : std::string();

    const int out = ::open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int err = ::open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    int pipeFds[2] = {-1, -1};
    if (out < 0 || err < 0 || ::pipe2(pipeFds, O_CLOEXEC) != 0) {
        for (int fd : {out, err, pipeFds[0], pipeFds[1]})
            if (fd >= 0) ::close(fd);
        return false;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(pipeFds[0], 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (!dir.empty() && ::chdir(dir.c_str()) != 0) ::_exit(127);
        if (modifier_) modifier_();
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(out);
    ::close(err);
    ::close(pipeFds[0]);
    input_ = pipeFds[1];
    ended_ = false;
    outRead_ = errRead_ = 0;
    if (pid_ < 0) {
        closeWriteChannel();
        return false;
    }
    return true;
}

bool ChildProcess::reap(bool block) {
    if (pid_ <= 0 || ended_) return true;
    int status = 0;
    const pid_t got = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
    if (got != pid_) return false;
    ended_ = true;
    normalExit_ = WIFEXITED(status);
    exitCode_ = normalExit_ ? WEXITSTATUS(status) : -1;
    return true;
}

bool ChildProcess::waitForFinished(int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!reap(false)) {
        if (ms >= 0 && std::chrono::steady_clock::now() >= deadline) return false;
        sleepMs(2);
    }
    return pid_ > 0;
}

ChildProcess::State ChildProcess::state() {
    return pid_ > 0 && !reap(false) ? Running : NotRunning;
}

void ChildProcess::kill() {
    if (state() == Running) ::kill(pid_, SIGKILL);
}

void ChildProcess::terminate() {
    if (state() == Running) ::kill(pid_, SIGTERM);
}

void ChildProcess::closeWriteChannel() {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
}

std::string ChildProcess::readNew(const fs::path& file, std::size_t& done) {
    std::ifstream in(file, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(done));
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    done += text.size();
    return text;
}

}  // namespace tsubame::testing
