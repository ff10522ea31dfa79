#include "host_process.h"

#include "eventually.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

extern char** environ;

static std::vector<std::string> host_environment(const std::string& busAddress)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string var = *e;
        if (!var.starts_with("DBUS_SESSION_BUS_ADDRESS=") && !var.starts_with("XDG_RUNTIME_DIR="))
            env.push_back(var);
    }
    if (!busAddress.empty())
        env.push_back("DBUS_SESSION_BUS_ADDRESS=" + busAddress);
    return env;
}

HostProcess::HostProcess(const std::string& busAddress)
{
    std::vector<std::string> env = host_environment(busAddress);
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    int toHost[2], fromHost[2];
    if (pipe2(toHost, O_CLOEXEC) != 0 || pipe2(fromHost, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ == 0) {
        dup2(toHost[0], STDIN_FILENO);
        dup2(fromHost[1], STDOUT_FILENO);
        char* argv[] = {const_cast<char*>(TOLVANE_HOST_PATH), nullptr};
        execve(TOLVANE_HOST_PATH, argv, envp.data());
        _exit(127);
    }
    close(toHost[0]);
    close(fromHost[1]);
    in_ = toHost[1];
    out_ = fromHost[0];
}

// The host ends at the end of its input; if it does not, it is killed.
HostProcess::~HostProcess()
{
    close(in_);
    close(out_);
    int status;
    if (!eventually([&] { return waitpid(pid_, &status, WNOHANG) == pid_; })) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
    }
}

void HostProcess::send(const std::string& line)
{
    std::string text = line + "\n";
    if (write(in_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        throw std::runtime_error("write to host");
}

std::optional<std::string> HostProcess::next_line(Clock::time_point deadline)
{
    for (;;) {
        auto newline = buffer_.find('\n');
        if (newline != std::string::npos) {
            std::string line = buffer_.substr(0, newline);
            buffer_.erase(0, newline + 1);
            return line;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p = {out_, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0)
            return std::nullopt;
        char chunk[4096];
        ssize_t n = read(out_, chunk, sizeof chunk);
        if (n <= 0)
            return std::nullopt;
        buffer_.append(chunk, static_cast<std::size_t>(n));
    }
}

// Records other than now-playing ones (the ready record) are passed over.
std::optional<nlohmann::json> HostProcess::next_record(Clock::time_point deadline)
{
    while (auto line = next_line(deadline)) {
        auto record = nlohmann::json::parse(*line);
        if (record.contains("pid"))
            return record;
    }
    return std::nullopt;
}

std::optional<nlohmann::json> HostProcess::record_where(bool (*wanted)(const nlohmann::json&, const std::string&),
                                                        const std::string& arg)
{
    auto deadline = Clock::now() + patience;
    while (auto record = next_record(deadline))
        if (wanted(*record, arg))
            return record;
    return std::nullopt;
}

bool titled(const nlohmann::json& record, const std::string& title)
{
    return record.value("title", "") == title;
}
