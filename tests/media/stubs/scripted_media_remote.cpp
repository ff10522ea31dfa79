// A scripted media framework for the bridge's end-to-end tests. It answers
// from a script file that the test may rewrite at any time (STUB_SCRIPT),
// records what it is asked to do in a log (STUB_LOG), and posts the
// notifications that the test writes to file descriptor 3 as "post NAME"
// lines (when STUB_CONTROL is set). Variants leave out single symbols or
// never answer.
//
// Script lines: "pid N", "playing 0|1", "nil" (no information), or
// "<key suffix> <type> <value>" with the type one of string (\xNN escapes),
// int, double, bool, date (seconds since 1970), data (hex bytes, none for
// zero bytes) and object (its description).
#include "media_remote.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#define STUB_EXPORT extern "C" __attribute__((visibility("default")))

static void log_line(const std::string& line)
{
    const char* path = std::getenv("STUB_LOG");
    int fd = path ? open(path, O_WRONLY | O_APPEND | O_CREAT, 0644) : -1;
    if (fd < 0)
        return;
    std::string text = line + "\n";
    (void)!write(fd, text.data(), text.size());
    close(fd);
}

static std::vector<std::uint8_t> from_hex(const std::string& hex)
{
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

static std::string unescape(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); i++) {
        if (text.compare(i, 2, "\\x") == 0 && i + 4 <= text.size()) {
            out += static_cast<char>(std::stoul(text.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

static MRValue parse_value(const std::string& type, const std::string& text)
{
    if (type == "int")
        return static_cast<std::int64_t>(std::stoll(text));
    if (type == "double")
        return std::strtod(text.c_str(), nullptr);
    if (type == "bool")
        return text == "1";
    if (type == "date")
        return MRDate{std::strtod(text.c_str(), nullptr)};
    if (type == "data")
        return MRData{std::make_shared<const std::vector<std::uint8_t>>(from_hex(text == "none" ? "" : text))};
    if (type == "object")
        return MRObject{text};
    return unescape(text);
}

struct Script {
    std::int32_t pid = 0;
    bool playing = false;
    MRInfo info = std::make_shared<MRInfoDictionary>();
};

static Script read_script()
{
    Script script;
    const char* path = std::getenv("STUB_SCRIPT");
    std::ifstream file(path ? path : "");
    auto info = std::make_shared<MRInfoDictionary>();
    bool nil = false;
    for (std::string line; std::getline(file, line);) {
        std::istringstream words(line);
        std::string key, type, value;
        words >> key >> type;
        std::getline(words >> std::ws, value);
        if (key == "pid")
            script.pid = std::stoi(type);
        else if (key == "playing")
            script.playing = type == "1";
        else if (key == "nil")
            nil = true;
        else if (!key.empty())
            (*info)["kMRMediaRemoteNowPlayingInfo" + key] = parse_value(type, value);
    }
    script.info = nil ? nullptr : info;
    return script;
}

template <typename Callback, typename Value>
static void answer([[maybe_unused]] const platform::Queue& queue, [[maybe_unused]] Callback callback,
                   [[maybe_unused]] Value value)
{
#ifndef STUB_SILENT
    platform::queue_async(queue, [callback, value] { callback(value); });
#endif
}

STUB_EXPORT void MRMediaRemoteGetNowPlayingInfo(const platform::Queue& queue, const MRInfoCallback& callback)
{
    answer(queue, callback, read_script().info);
}

#ifndef STUB_WITHOUT_PID
STUB_EXPORT void MRMediaRemoteGetNowPlayingApplicationPID(const platform::Queue& queue, const MRPIDCallback& callback)
{
    answer(queue, callback, read_script().pid);
}
#endif

STUB_EXPORT void MRMediaRemoteGetNowPlayingApplicationIsPlaying(const platform::Queue& queue,
                                                                const MRPlayingCallback& callback)
{
    answer(queue, callback, read_script().playing);
}

STUB_EXPORT bool MRMediaRemoteSendCommand(std::uint32_t command, const void*)
{
    log_line("command " + std::to_string(command));
    return true;
}

#ifndef STUB_WITHOUT_SEEK
STUB_EXPORT void MRMediaRemoteSetElapsedTime(double seconds)
{
    char line[64];
    std::snprintf(line, sizeof line, "seek %g", seconds);
    log_line(line);
}
#endif

static void serve_control()
{
    FILE* control = fdopen(3, "r");
    char line[256];
    while (control && std::fgets(line, sizeof line, control)) {
        line[std::strcspn(line, "\n")] = '\0';
        if (std::strncmp(line, "post ", 5) == 0) {
            platform::notification_post(line + 5);
            log_line(line);
        }
    }
}

STUB_EXPORT void MRMediaRemoteRegisterForNowPlayingNotifications(const platform::Queue& queue)
{
    log_line(std::string("register ") + platform::queue_label(queue));
    if (std::getenv("STUB_CONTROL"))
        platform::thread_detach(serve_control);
}

// The names are stored under their symbols, as the real framework does; they
// differ from the symbols' own names so that a test can tell which was used.
#ifndef STUB_WITHOUT_NAMES
STUB_EXPORT const char* const kMRMediaRemoteNowPlayingInfoDidChangeNotification = "stub.info";
STUB_EXPORT const char* const kMRMediaRemoteNowPlayingApplicationIsPlayingDidChangeNotification = "stub.playing";
STUB_EXPORT const char* const kMRMediaRemoteNowPlayingApplicationDidChangeNotification = "stub.application";
STUB_EXPORT const char* const kMRMediaRemoteNowPlayingApplicationClientStateDidChange = "stub.client";
#endif
