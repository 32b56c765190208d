#pragma once
// Child processes for the end-to-end tests: start one with extra environment,
// read its output line by line with a time limit, and collect its exit status;
// and the files they leave.
#include <sys/types.h>

#include <string>
#include <vector>

namespace test {

class Child {
public:
    // Starts argv[0] with the environment changed by `env` ("NAME=value" sets,
    // "NAME" alone unsets), stdout and stderr piped back.
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});
    ~Child();
    // The next line of stdout, or false when it ends or limit_ms runs out first.
    bool line(std::string* out, int limit_ms = 10000);
    // Reads stdout until a line equal to `wanted`; false when it never comes.
    bool expect(const std::string& wanted, int limit_ms = 10000);
    // Waits for the exit; the status as wait() gives it, or -1 when limit_ms ran out.
    int wait(int limit_ms = 10000);
    void signal(int sig);
    // All of stderr, once the child has exited.
    std::string errors();
    pid_t pid() const { return pid_; }
    // Everything read from stdout so far.
    std::string seen() const { return seen_ + buffer_; }

private:
    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
    std::string buffer_, seen_;
    int status_ = -1;
};

// argv wrapped so that it runs with `dir` as its working directory.
std::vector<std::string> in_dir(const std::string& dir, std::vector<std::string> argv);

// Runs a command to its end; its exit status (or -1).
int run(const std::vector<std::string>& argv, const std::vector<std::string>& env = {}, int limit_ms = 10000);

// The whole file; "" when it cannot be read.
std::string slurp(const std::string& path);
// The build tree's scratch directory `name`, made empty; a later run clears it.
std::string scratch(const std::string& name);

} // namespace test
