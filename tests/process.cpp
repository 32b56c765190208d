#include "tests/process.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace test {

namespace {

using Clock = std::chrono::steady_clock;

int remaining(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : int(left);
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (std::string& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

} // namespace

Child::Child(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
    std::vector<std::string> args = argv, vars;
    for (char** e = environ; *e; e++) vars.push_back(*e);
    for (const std::string& change : env) {
        std::string name = change.substr(0, change.find('=')) + "=";
        for (auto it = vars.begin(); it != vars.end();) it = it->rfind(name, 0) == 0 ? vars.erase(it) : it + 1;
        if (change.find('=') != std::string::npos) vars.push_back(change);
    }
    // stderr goes to a file: however much a child says there, it never blocks.
    int out[2];
    char path[] = "/tmp/globoid-stderr-XXXXXX";
    err_ = mkostemp(path, O_CLOEXEC);
    if (err_ < 0 || pipe2(out, O_CLOEXEC)) return;
    unlink(path);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err_, 2);
    std::vector<char*> arg_ptrs = pointers(args), var_ptrs = pointers(vars);
    if (posix_spawn(&pid_, args[0].c_str(), &actions, nullptr, arg_ptrs.data(), var_ptrs.data())) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    out_ = out[0];
}

Child::~Child() {
    if (pid_ > 0 && status_ == -1) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
}

bool Child::line(std::string* out, int limit_ms) {
    auto deadline = Clock::now() + std::chrono::milliseconds(limit_ms);
    size_t end;
    while ((end = buffer_.find('\n')) == std::string::npos) {
        pollfd p = {out_, POLLIN, 0};
        char chunk[4096];
        ssize_t n = poll(&p, 1, remaining(deadline)) > 0 ? read(out_, chunk, sizeof chunk) : 0;
        if (n <= 0) return false;
        buffer_.append(chunk, size_t(n));
    }
    *out = buffer_.substr(0, end);
    buffer_.erase(0, end + 1);
    seen_ += *out + "\n";
    return true;
}

bool Child::expect(const std::string& wanted, int limit_ms) {
    auto deadline = Clock::now() + std::chrono::milliseconds(limit_ms);
    std::string got;
    while (line(&got, remaining(deadline)))
        if (got == wanted) return true;
    return false;
}

int Child::wait(int limit_ms) {
    auto deadline = Clock::now() + std::chrono::milliseconds(limit_ms);
    while (status_ == -1) {
        int status;
        pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_) status_ = status;
        else if (done < 0 || Clock::now() > deadline) return -1;
        // Drain stdout meanwhile, so a chatty child never blocks on a full pipe.
        pollfd p = {out_, POLLIN, 0};
        char chunk[4096];
        ssize_t n = done != pid_ && poll(&p, 1, 5) > 0 ? read(out_, chunk, sizeof chunk) : 0;
        if (n > 0) buffer_.append(chunk, size_t(n));
    }
    return status_;
}

void Child::signal(int sig) {
    if (pid_ > 0) kill(pid_, sig);
}

std::string Child::errors() {
    std::string all;
    char chunk[4096];
    for (ssize_t n; (n = pread(err_, chunk, sizeof chunk, off_t(all.size()))) > 0;) all.append(chunk, size_t(n));
    return all;
}

std::vector<std::string> in_dir(const std::string& dir, std::vector<std::string> argv) {
    argv.insert(argv.begin(), {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", dir});
    return argv;
}

int run(const std::vector<std::string>& argv, const std::vector<std::string>& env, int limit_ms) {
    return Child(argv, env).wait(limit_ms);
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string scratch(const std::string& name) {
    std::filesystem::path dir = std::filesystem::path(SCRATCH_DIR) / name;
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    std::filesystem::create_directories(dir, ignored);
    return dir.string();
}

} // namespace test
