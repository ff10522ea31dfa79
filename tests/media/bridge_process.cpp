#include "bridge_process.h"

#include "platform_wait.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

extern char** environ;

static void close_fd(int& fd)
{
    if (fd >= 0)
        close(fd);
    fd = -1;
}

// Only system calls between fork and exec: the test process may have threads.
static void move_fd(int from, int to)
{
    if (from == to)
        fcntl(to, F_SETFD, 0);
    else
        dup2(from, to);
}

static std::vector<std::string> child_environment(const std::filesystem::path& folder)
{
    std::vector<std::string> env;
    for (char** entry = environ; *entry; entry++)
        env.push_back(*entry);
    env.push_back("STUB_SCRIPT=" + (folder / "script").string());
    env.push_back("STUB_LOG=" + (folder / "log").string());
    env.push_back("STUB_CONTROL=3");
    return env;
}

static std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> result;
    for (auto& text : strings)
        result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

BridgeProcess::BridgeProcess(const std::string& variant, const std::string& script)
{
    char pattern[] = "/tmp/bridge-process-XXXXXX";
    folder = mkdtemp(pattern);
    std::filesystem::create_symlink(MEDIA_LIBRARY, folder / "libTOLVANEMedia.so");
    if (!variant.empty())
        std::filesystem::create_symlink(std::string(STUB_FOLDER) + "/" + variant + "/libMediaRemote.so",
                                        folder / "libMediaRemote.so");
    write_script(script);

    std::vector<std::string> args = {MEDIA_HOST, (folder / "libTOLVANEMedia.so").string()};
    std::vector<std::string> env = child_environment(folder);
    auto argv = pointers(args), envp = pointers(env);
    int in[2], out[2], ctl[2];
    pipe2(in, O_CLOEXEC);
    pipe2(out, O_CLOEXEC);
    pipe2(ctl, O_CLOEXEC);
    signal(SIGPIPE, SIG_IGN);  // a child that died must fail the test, not end it
    pid = fork();
    if (pid == 0) {
        signal(SIGPIPE, SIG_DFL);
        move_fd(in[0], 0);
        move_fd(out[1], 1);
        move_fd(ctl[0], 3);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(ctl[0]);
    input = in[1];
    output = out[0];
    control = ctl[1];
}

BridgeProcess::~BridgeProcess()
{
    close_fd(input);
    close_fd(output);
    close_fd(control);
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    std::filesystem::remove_all(folder);
}

// Replaced whole, so the framework never reads half a script.
void BridgeProcess::write_script(const std::string& text)
{
    std::ofstream(folder / "script.new") << text;
    std::filesystem::rename(folder / "script.new", folder / "script");
}

static void write_all(int fd, const std::string& text)
{
    for (std::size_t done = 0; done < text.size();) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0)
            return;
        done += n;
    }
}

void BridgeProcess::send(const std::string& text)
{
    write_all(input, text);
}

void BridgeProcess::post(const std::string& notification)
{
    write_all(control, "post " + notification + "\n");
}

void BridgeProcess::close_input()
{
    close_fd(input);
}

std::optional<std::string> BridgeProcess::read_line(std::chrono::milliseconds limit)
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        std::size_t end = buffered.find('\n');
        if (end != std::string::npos) {
            std::string line = buffered.substr(0, end);
            buffered.erase(0, end + 1);
            return line;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd ready = {output, POLLIN, 0};
        if (left.count() <= 0 || poll(&ready, 1, int(left.count())) <= 0)
            return std::nullopt;
        char chunk[65536];
        ssize_t n = read(output, chunk, sizeof chunk);
        if (n <= 0)
            return std::nullopt;
        buffered.append(chunk, n);
    }
}

std::optional<nlohmann::json> BridgeProcess::next_record(std::chrono::milliseconds limit)
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        auto line = read_line(left);
        if (!line)
            return std::nullopt;
        auto record = nlohmann::json::parse(*line);
        if (!record.contains("ready"))
            return record;
    }
}

std::optional<int> BridgeProcess::wait_exit(std::chrono::milliseconds limit)
{
    int status = 0;
    if (!wait_for([&] { return waitpid(pid, &status, WNOHANG) == pid; }, limit))
        return std::nullopt;
    pid = -1;
    if (!WIFEXITED(status))
        return std::nullopt;
    return WEXITSTATUS(status);
}

std::vector<std::string> BridgeProcess::log() const
{
    std::ifstream file(folder / "log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}
