// The bridge in a child process: tolvane-media-host loads a link to the
// built library from a temporary folder, next to a link to one of the
// scripted framework variants. The test holds the child's standard input and
// output, the framework's script, log and notification channel.
#pragma once

#include <nlohmann/json.hpp>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

using namespace std::chrono_literals;

class BridgeProcess {
public:
    // variant: "full", "without_pid", "without_seek", "without_names",
    // "silent", or "" for no framework at all.
    explicit BridgeProcess(const std::string& variant, const std::string& script = "pid 42\nplaying 1\n");
    ~BridgeProcess();

    void write_script(const std::string& text);
    void send(const std::string& text);
    void post(const std::string& notification);
    void close_input();

    // The next line of standard output, or nothing at its end or deadline.
    std::optional<std::string> read_line(std::chrono::milliseconds limit = 10s);
    // The next now-playing record, passing over the ready record.
    std::optional<nlohmann::json> next_record(std::chrono::milliseconds limit = 10s);
    // The exit status, or nothing when it was killed or did not end in time.
    std::optional<int> wait_exit(std::chrono::milliseconds limit = 10s);
    std::vector<std::string> log() const;

private:
    std::filesystem::path folder;
    pid_t pid = -1;
    int input = -1, output = -1, control = -1;
    std::string buffered;
};
