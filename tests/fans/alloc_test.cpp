// Serving requests allocates no heap memory. Its own binary: it replaces
// malloc, which operator new and the C library also call.
#include "fan_control.h"
#include "protocol.h"
#include "user_client.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

static bool counting;
static int allocations;

extern "C" void* __libc_malloc(size_t);
extern "C" void* malloc(size_t size)
{
    allocations += counting;
    return __libc_malloc(size);
}

TEST(Allocation, ServingRequestsAllocatesNothing)
{
    ASSERT_TRUE(smc_open());
    detect_fans();
    for (const char* text : {"hello\n", "status\n", "ping\n", "set 2500\n", "status\n", "set 0\n", "auto\n", "x\n"}) {
        int sv[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
        ASSERT_EQ(write(sv[1], text, strlen(text)), ssize_t(strlen(text)));
        allocations = 0, counting = true;
        void* volatile seen = malloc(1);   // the count works
        free(seen);
        handle_client(sv[0], getuid());
        counting = false;
        char reply[512];
        EXPECT_GT(read(sv[1], reply, sizeof reply), 0) << text;
        EXPECT_EQ(allocations, 1) << text;
        close(sv[1]);
    }
}
