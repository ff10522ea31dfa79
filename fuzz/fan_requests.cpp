// The fan helper's handling of connections' bytes, on the simulated
// controller: each input is one or more requests (split at byte 0xff), each
// served over its own socket pair with this process, root or the owner, as
// the peer. After every request forced fans must sit within their own limits
// and the reply must be one the protocol knows.
#include "fan_control.h"
#include "protocol.h"
#include "smc.h"
#include "user_client.h"

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

static std::string serve_one(std::string_view request)
{
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0)
        abort();
    if (send(pair[0], request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()))
        abort();
    shutdown(pair[0], SHUT_WR);  // an empty request reads as a peer that closed
    handle_client(pair[1], getuid());
    std::string reply;
    char buf[600];
    for (ssize_t n; (n = recv(pair[0], buf, sizeof buf, 0)) > 0;)
        reply.append(buf, n);
    close(pair[0]);
    return reply;
}

static bool known_reply(const std::string& reply)
{
    static const char* const fixed[] = {
        "", "ok\n", "ok tolvane-fans 1\n", "error range\n", "error command\n", "error smc\n"};
    for (const char* text : fixed)
        if (reply == text)
            return true;
    return reply.starts_with("ok fans=2 forced=") && reply.ends_with("\n");
}

static void check_fans()
{
    for (int fan = 0; fan < fanCount; fan++) {
        char key[5];
        auto value = [&](char a, char b) {
            snprintf(key, sizeof key, "F%d%c%c", fan, a, b);
            return read_float(key);
        };
        float target = value('T', 'g'), low = value('M', 'n'), high = value('M', 'x');
        if (forced && (value('M', 'd') != 1 || !(target >= low && target <= high)))
            abort();
        if (!forced && value('M', 'd') != 0)
            abort();
    }
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    signal(SIGPIPE, SIG_IGN);
    if (!smc_open())
        abort();
    detect_fans();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    restore_auto();  // every input starts from fans under automatic control
    std::string_view input(reinterpret_cast<const char*>(data), size);
    for (std::size_t start = 0; start <= input.size();) {
        std::size_t end = std::min(input.find('\xff', start), input.size());
        if (!known_reply(serve_one(input.substr(start, end - start))))
            abort();
        check_fans();
        start = end + 1;
    }
    return 0;
}
