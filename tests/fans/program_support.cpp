#include "program_support.h"

#include "service.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>

std::string TempDir::make()
{
    char name[] = "/tmp/tolvane-fans-XXXXXX";
    chmod(mkdtemp(name), 0755);  // children that drop to another uid connect in here
    return name;
}

TempDir::~TempDir()
{
    std::filesystem::remove_all(path);
}

int connect_to(const std::string& path)
{
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr = {AF_UNIX, {}};
    strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
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

// Up to 20 s for the condition, so a loaded machine has time to start a server.
template <class Condition> static bool within_20_seconds(Condition condition)
{
    for (int tries = 0; tries < 2000; tries++, std::this_thread::sleep_for(std::chrono::milliseconds(10)))
        if (condition())
            return true;
    return false;
}

static ino_t inode_at(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

bool ServerThread::start(const std::string& socketPath, int64_t owner)
{
    path = socketPath;
    stopping = 0;
    thread = std::thread([this, owner] { status = serve(path.c_str(), owner); });
    return within_20_seconds([this] { return request(path, "ping\n") == "ok\n"; });
}

int ServerThread::stop(int sig)
{
    pthread_kill(thread.native_handle(), sig);
    close(connect_to(path));  // wakes select should the signal land just before it
    thread.join();
    return status;
}

// Serving the path means a socket file other than the one there before, and
// an answer through it.
bool HelperProcess::start(const std::string& program, const std::string& socketPath, uid_t owner)
{
    ino_t before = inode_at(socketPath);
    std::string ownerText = std::to_string(owner);
    pid = fork();
    if (pid == 0) {
        execl(program.c_str(), program.c_str(), "--serve", "--owner", ownerText.c_str(), "--socket", socketPath.c_str(),
            nullptr);
        _exit(127);
    }
    return within_20_seconds([&] {
        ino_t now = inode_at(socketPath);
        return now != 0 && now != before && request(socketPath, "ping\n") == "ok\n";
    });
}

int HelperProcess::stop()
{
    int status = -1;
    kill(pid, SIGTERM);
    waitpid(pid, &status, 0);  // the signal ends its select at once
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

HelperProcess::~HelperProcess()
{
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}
