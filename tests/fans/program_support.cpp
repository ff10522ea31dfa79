#include "program_support.h"

#include "service.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>

TempDir::TempDir()
{
    char name[] = "/tmp/tolvane-fans-XXXXXX";
    path = mkdtemp(name);
    chmod(path.c_str(), 0755);   // children that drop to another uid connect in here
}

TempDir::~TempDir() { std::filesystem::remove_all(path); }

bool wait_until(const std::function<bool()>& done)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (; !done(); std::this_thread::sleep_for(std::chrono::milliseconds(10)))
        if (std::chrono::steady_clock::now() > deadline)
            return false;
    return true;
}

sockaddr_un unix_address(const std::string& path)
{
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    return addr;
}

int connect_to(const std::string& path)
{
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr = unix_address(path);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
        return fd;
    close(fd);
    return -1;
}

std::string read_all(int fd)
{
    std::string text;
    char buf[1024];
    pollfd p = {fd, POLLIN, 0};
    while (poll(&p, 1, 10000) == 1) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            return text;
        text.append(buf, n);
    }
    return text + "(no close)";
}

std::string request(const std::string& path, const std::string& text)
{
    int fd = connect_to(path);
    if (fd < 0)
        return "(no connection)";
    send(fd, text.data(), text.size(), MSG_NOSIGNAL);
    std::string reply = read_all(fd);
    close(fd);
    return reply;
}

bool ServerThread::start(const std::string& socketPath, int64_t owner)
{
    path = socketPath;
    stopping = 0;
    thread = std::thread([this, owner] { status = serve(path.c_str(), owner); });
    return wait_until([this] { return request(path, "ping\n") == "ok\n"; });
}

int ServerThread::stop(int sig)
{
    pthread_kill(thread.native_handle(), sig);
    close(connect_to(path));   // wakes select should the signal land just before it
    thread.join();
    return status;
}

pid_t start_program(const std::vector<std::string>& args, const std::string& out, const std::string& err)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
        dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

int wait_exit(pid_t pid)
{
    int wstatus = 0;
    if (wait_until([&] { return waitpid(pid, &wstatus, WNOHANG) == pid; }))
        return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    kill(pid, SIGKILL);
    waitpid(pid, &wstatus, 0);
    return -1;
}
