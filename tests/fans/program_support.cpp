#include "program_support.h"

#include "service.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

TempDir::TempDir()
{
    char name[] = "/tmp/tolvane-fans-XXXXXX";
    path = mkdtemp(name);
    chmod(path.c_str(), 0755);   // children that drop to another uid connect in here
}

TempDir::~TempDir()
{
    std::filesystem::remove_all(path);
}

bool wait_until(const std::function<bool()>& done, int seconds)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool exists(const std::string& path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
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
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

std::string read_reply(int fd)
{
    std::string reply;
    char buf[1024];
    pollfd p = {fd, POLLIN, 0};
    while (poll(&p, 1, 20000) == 1) {
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        reply.append(buf, n);
    }
    return reply;
}

std::string request(const std::string& path, const std::string& text)
{
    int fd = connect_to(path);
    if (fd < 0)
        return "(no connection)";
    send(fd, text.data(), text.size(), MSG_NOSIGNAL);
    std::string reply = read_reply(fd);
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

std::atomic<int64_t> fakeNow;

int64_t fake_seconds()
{
    return fakeNow;
}

static std::vector<char*> argv_of(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return argv;
}

static pid_t spawn(const std::vector<std::string>& args, const std::string& out, const std::string& err)
{
    std::vector<char*> argv = argv_of(args);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
        dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

static std::string slurp(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

Finished run_program(const std::vector<std::string>& args)
{
    TempDir dir;
    Finished f;
    f.status = wait_exit(spawn(args, dir.file("out"), dir.file("err")));
    f.out = slurp(dir.file("out"));
    f.err = slurp(dir.file("err"));
    return f;
}

pid_t start_program(const std::vector<std::string>& args)
{
    return spawn(args, "/dev/null", "/dev/null");
}

int wait_exit(pid_t pid, int seconds)
{
    int wstatus = 0;
    if (wait_until([&] { return waitpid(pid, &wstatus, WNOHANG) == pid; }, seconds))
        return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    kill(pid, SIGKILL);
    waitpid(pid, &wstatus, 0);
    return -1;
}
