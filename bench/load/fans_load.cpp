// The fan helper under load: tolvane-fans-sim --serve on a temporary socket,
// and 8 client processes, half the owner and half another user, each making
// a fixed number of connections of every kind: valid requests, garbage,
// over-long requests, silent and half-closed connections. Reports the
// owner's latency, the failures (an owner's request unanswered or wrongly
// answered, any reply to another user), and the helper's descriptors and
// memory before and after. Run as root: the clients drop to other uids.
//
//   fans_load [connections per client, default 2000]
#include "child.h"
#include "process_stats.h"
#include "program_support.h"

#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

static const uid_t kOwner = 4242, kStranger = 65534;
static const int kClients = 8;

struct Visit {
    std::string text;
    bool halfClose;          // shut the writing side at once
    const char* ownerReply;  // what the owner must get, as a prefix
};

// Owners leave silence out: each silent owner connection holds the helper
// for its 2 s receive time-out, as it is meant to.
static const Visit visits[] = {
    {"ping\n", false, "ok\n"}, {"status\n", false, "ok fans=2 "}, {"set 2500\n", false, "ok\n"},
    {"\x16\x03\x01\x02garbage\xff", false, "error command\n"}, {"ping" + std::string(296, 'x'), false, "ok\n"},
    {"", true, ""},   // half-closed
    {"", false, ""},  // silent: strangers only
};
static const int kOwnerVisits = 6, kValidVisits = 3;

// Written by the clients, read by the parent once they have ended.
struct Results {
    int* failures;          // per client
    double* latencyMicros;  // per client and request: an owner's valid ones, else 0
};

template <class T> static T* shared_array(std::size_t n)
{
    void* memory = mmap(nullptr, n * sizeof(T), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        std::exit(1);
    return static_cast<T*>(memory);
}

// The reply, or "(no connection)".
static std::string visit(const std::string& path, const Visit& v)
{
    if (!v.halfClose)
        return request(path, v.text);
    int fd = unix_socket(path);
    if (fd < 0)
        return "(no connection)";
    shutdown(fd, SHUT_WR);
    std::string reply = read_all(fd);
    close(fd);
    return reply;
}

static void run_client(int client, int count, const std::string& path, Results results)
{
    bool owner = client < kClients / 2;
    if (setuid(owner ? kOwner : kStranger) != 0)
        _exit(2);
    double* latency = results.latencyMicros + client * count;
    int kinds = owner ? kOwnerVisits : int(std::size(visits));
    for (int i = 0; i < count; i++) {
        const Visit& v = visits[(i + client) % kinds];
        auto start = std::chrono::steady_clock::now();
        std::string reply = visit(path, v);
        std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
        if (owner && &v - visits < kValidVisits)
            latency[i] = took.count();
        results.failures[client] += owner ? !reply.starts_with(v.ownerReply) : !reply.empty();
    }
    _exit(0);
}

static double percentile(std::vector<double>& values, double p)
{
    std::size_t at = std::min(values.size() - 1, static_cast<std::size_t>(p * values.size()));
    std::nth_element(values.begin(), values.begin() + at, values.end());
    return values[at];
}

static void report(Results results, int count, double seconds, ProcessStats before, ProcessStats after)
{
    std::vector<double> latencies;
    int failures = 0;
    for (int client = 0; client < kClients; client++)
        failures += results.failures[client];
    for (int i = 0; i < kClients * count; i++)
        if (results.latencyMicros[i] > 0)
            latencies.push_back(results.latencyMicros[i]);
    std::printf("connections: %d in %.1f s from %d clients (%d owner, %d other user)\n", count * kClients, seconds,
        kClients, kClients / 2, kClients / 2);
    std::printf("owner latency: p50 %.0f us, p99 %.0f us over %zu valid requests\n", percentile(latencies, 0.5),
        percentile(latencies, 0.99), latencies.size());
    std::printf("failures: %d\n", failures);
    std::printf("helper: fds %d -> %d, VmRSS %ld -> %ld KiB\n", before.fds, after.fds, before.rssKiB, after.rssKiB);
}

int main(int argc, char** argv)
{
    int count = argc > 1 ? std::atoi(argv[1]) : 2000;
    if (geteuid() != 0 || count <= 0) {
        std::fprintf(stderr, "usage: run as root: %s [connections per client]\n", argv[0]);
        return 64;
    }
    TempDir dir;
    std::string path = dir.file("sock");
    Child helper({TOLVANE_FANS_SIM_BIN, "--serve", "--owner", std::to_string(kOwner), "--socket", path});
    if (!answers(path, "ping\n", "ok\n"))
        return 1;
    Results results = {shared_array<int>(kClients), shared_array<double>(kClients * count)};
    ProcessStats before = process_stats(helper.pid);
    auto start = std::chrono::steady_clock::now();
    pid_t clients[kClients];
    for (int client = 0; client < kClients; client++)
        if ((clients[client] = fork()) == 0)
            run_client(client, count, path, results);
    for (int client = 0; client < kClients; client++) {
        int status = -1;
        waitpid(clients[client], &status, 0);
        results.failures[client] += !WIFEXITED(status) || WEXITSTATUS(status) != 0;  // a client that broke
    }
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    report(results, count, took.count(), before, process_stats(helper.pid));
    child_kill(helper, SIGTERM);
    return child_wait(helper) == 0 ? 0 : 1;
}
