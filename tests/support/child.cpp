#include "child.h"

#include "wait.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

static void close_fd(int& fd)
{
    if (fd >= 0)
        close(std::exchange(fd, -1));
}

// macOS has no pipe2; only this thread starts children, so none inherits the pipes before they close on exec.
static bool pipe_closed_on_exec(int fds[2])
{
    return pipe(fds) == 0 && fcntl(fds[0], F_SETFD, FD_CLOEXEC) == 0 && fcntl(fds[1], F_SETFD, FD_CLOEXEC) == 0;
}

// Only system calls between fork and exec: the test process has threads.
Child::Child(const std::vector<std::string>& argv)
{
    std::vector<char*> argp(argv.size() + 1);  // ending in a null pointer
    for (std::size_t i = 0; i < argv.size(); i++)
        argp[i] = const_cast<char*>(argv[i].c_str());  // execve changes none
    int stdinPipe[2], stdoutPipe[2];
    if (!pipe_closed_on_exec(stdinPipe) || !pipe_closed_on_exec(stdoutPipe))
        return;
    signal(SIGPIPE, SIG_IGN), pid = fork();  // a child that died must fail the test, not end it
    if (pid == 0) {
#ifdef __linux__
        prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
        signal(SIGPIPE, SIG_DFL), dup2(stdinPipe[0], 0), dup2(stdoutPipe[1], 1);
        execve(argp[0], argp.data(), environ), _exit(127);
    }
    close(stdinPipe[0]), close(stdoutPipe[1]), in = stdinPipe[1], out = stdoutPipe[0];
}

Child::~Child()
{
    close_fd(in), close_fd(out);
    if (pid > 0)
        kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
}

// A blocking write to a pipe is whole unless the reader is gone.
void child_write(Child& child, const std::string& text)
{
    [[maybe_unused]] ssize_t n = write(child.in, text.data(), text.size());
}

std::string repeated(const std::string& line, int times)
{
    std::string all;
    while (times-- > 0)
        all += line;
    return all;
}

int unread(int pipe)
{
    int bytes = 0;
    return ioctl(pipe, FIONREAD, &bytes) == 0 ? bytes : -1;
}

void child_close_input(Child& child)
{
    close_fd(child.in);
}

std::optional<std::string> child_read_line(Child& child, std::chrono::milliseconds limit)
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    std::size_t end;
    while ((end = child.unread.find('\n')) == std::string::npos) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd ready = {child.out, POLLIN, 0};
        char chunk[65536];
        ssize_t n =
            left.count() > 0 && poll(&ready, 1, int(left.count())) > 0 ? read(child.out, chunk, sizeof chunk) : 0;
        if (n <= 0)
            return std::nullopt;
        child.unread.append(chunk, static_cast<std::size_t>(n));
    }
    std::string line = child.unread.substr(0, end);
    return child.unread.erase(0, end + 1), line;
}

std::optional<int> child_wait(Child& child, std::chrono::milliseconds limit)
{
    int status = 0;
    if (!wait_until([&] { return waitpid(child.pid, &status, WNOHANG) == child.pid; }, limit))
        return std::nullopt;
    return child.pid = -1, WIFEXITED(status) ? std::optional(WEXITSTATUS(status)) : std::nullopt;
}

void child_kill(Child& child, int signal)
{
    if (child.pid > 0)
        kill(child.pid, signal);
}

std::pair<std::string, int> child_finish(Child& child)
{
    std::string out;
    while (auto line = child_read_line(child, std::chrono::seconds(20)))
        out += *line + "\n";
    return {out, child_wait(child).value_or(-1)};
}

double child_cpu_seconds(const Child& child)
{
    std::ifstream stat("/proc/" + std::to_string(child.pid) + "/stat");
    std::string field;
    std::getline(stat, field, ')');  // past the name, which may hold spaces
    long long ticks = 0;
    for (int n = 3; n <= 15 && stat >> field; n++)
        ticks += n >= 14 ? std::stoll(field) : 0;  // utime and stime
    return double(ticks) / double(sysconf(_SC_CLK_TCK));
}

long proc_entries(const std::string& folder)
{
    std::error_code none;  // where there is no /proc
    return long(std::distance(std::filesystem::directory_iterator(folder, none), {}));
}
