#include "bus_daemon.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

// The daemon goes when the test process goes, however abruptly that ends.
static void exec_daemon(const std::string& socketPath, int out)
{
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    dup2(out, STDOUT_FILENO);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, STDERR_FILENO);
    std::string address = "--address=unix:path=" + socketPath;
    execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--print-address", address.c_str(),
           static_cast<char*>(nullptr));
    _exit(127);
}

// The daemon prints its address once it listens: that is the sign it is ready.
static bool wait_for_address(int in)
{
    pollfd p = {in, POLLIN, 0};
    char c;
    while (poll(&p, 1, 10000) > 0 && read(in, &c, 1) == 1)
        if (c == '\n')
            return true;
    return false;
}

BusDaemon::BusDaemon(const std::string& socketPath)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    pid = fork();
    if (pid == 0)
        exec_daemon(socketPath, fds[1]);
    close(fds[1]);
    bool ready = wait_for_address(fds[0]);
    close(fds[0]);
    if (!ready) {
        stop();
        throw std::runtime_error("dbus-daemon did not start");
    }
}

BusDaemon::~BusDaemon()
{
    stop();
}

void BusDaemon::stop()
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

std::string test_folder()
{
    static const std::string folder = [] {
        char path[] = "/tmp/mediaremote-test-XXXXXX";
        if (!mkdtemp(path))
            throw std::runtime_error("mkdtemp");
        return std::string(path);
    }();
    return folder;
}

const std::string& test_bus_path()
{
    static const std::string path = test_folder() + "/bus";
    return path;
}

std::string test_bus_address()
{
    return "unix:path=" + test_bus_path();
}
