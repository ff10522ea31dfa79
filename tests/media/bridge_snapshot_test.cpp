// When refreshes happen: the 120 ms debounce, and the refresh command.
#include "bridge_fakes.h"
#include "commands.h"
#include "snapshot.h"
#include "wait.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

// Both requests are timed from one block on the queue, and the queue runs by
// deadline, so their spacing against the 120 ms holds however loaded the
// machine is. A refresh wrongly let through is due before the final drain.
TEST(Debounce, RequestsCloserThan120msGiveOneRefresh120msAfterTheLast)
{
    const struct {
        std::chrono::milliseconds gap;
        std::size_t refreshes;
    } rows[] = {{50ms, 1}, {200ms, 2}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.gap.count());
        use_fakes();
        static Clock::time_point lastAt;
        platform::queue_async(queue, [gap = row.gap] {
            schedule();
            platform::queue_after(queue, gap, [] {
                lastAt = Clock::now();
                schedule();
            });
        });
        ASSERT_TRUE(wait_until([&] { return refreshes().size() >= row.refreshes; }));
        ASSERT_TRUE(drain_queue(200ms));
        EXPECT_EQ(refreshes().size(), row.refreshes);
        EXPECT_GE(refreshes().back() - lastAt, 120ms);
    }
}

TEST(Debounce, TheRefreshCommandRefreshesAtOnceAndAgain120msLater)
{
    use_fakes();
    auto sent = Clock::now();
    std::string line = "refresh\n";
    run_command(line.data());
    ASSERT_TRUE(wait_until([] { return refreshes().size() == 2; }));
    EXPECT_GE(refreshes()[1] - sent, 120ms);
}
