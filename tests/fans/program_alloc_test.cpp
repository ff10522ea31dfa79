// Serving requests allocates no heap memory. Its own binary: it replaces
// malloc, which operator new also calls, with versions that count while a
// request is served.
#include "fan_control.h"
#include "protocol.h"
#include "smc.h"
#include "user_client.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>

static std::atomic<bool> counting;
static std::atomic<int> allocations;

static void note_allocation()
{
    if (counting)
        allocations++;
}

extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);

extern "C" void* malloc(size_t size)
{
    note_allocation();
    return __libc_malloc(size);
}

extern "C" void* calloc(size_t n, size_t size)
{
    note_allocation();
    return __libc_calloc(n, size);
}

extern "C" void* realloc(void* p, size_t size)
{
    note_allocation();
    return __libc_realloc(p, size);
}

namespace {

// Serves one request over a socket pair (whose peer is this process) and
// counts the allocations made meanwhile.
int allocations_serving(const std::string& text, std::string* reply)
{
    int sv[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    EXPECT_EQ(write(sv[1], text.data(), text.size()), ssize_t(text.size()));
    allocations = 0;
    counting = true;
    handle_client(sv[0], getuid());
    counting = false;
    char buf[512];
    ssize_t n = read(sv[1], buf, sizeof buf);
    reply->assign(buf, n > 0 ? n : 0);
    close(sv[1]);
    return allocations;
}

TEST(Allocation, ServingRequestsAllocatesNothing)
{
    ASSERT_TRUE(smc_open());
    detect_fans();
    for (const char* text : {"hello\n", "status\n", "ping\n", "set 2500\n", "status\n", "set 0\n",
                             "set abc\n", "auto\n", "bogus\n"}) {
        std::string reply;
        EXPECT_EQ(allocations_serving(text, &reply), 0) << text;
        EXPECT_FALSE(reply.empty()) << text;
    }
}

TEST(Allocation, CounterSeesAnAllocation)
{
    allocations = 0;
    counting = true;
    void* volatile p = malloc(16);
    counting = false;
    free(p);
    EXPECT_EQ(allocations, 1);
}

}  // namespace
