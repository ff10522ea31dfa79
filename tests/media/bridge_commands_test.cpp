#include "bridge_fakes.h"
#include "commands.h"
#include "platform_wait.h"

#include <gtest/gtest.h>

static void run(std::string line)
{
    run_command(line.data());
}

TEST(Commands, TransportWordsSendTheirCodes)
{
    use_fakes();
    for (const char* line : {"toggle", "play", "pause", "next", "previous"})
        run(line);
    EXPECT_EQ(fake.commands, (std::vector<std::uint32_t>{2, 0, 1, 4, 5}));
}

TEST(Commands, TrailingCarriageReturnsAndLineFeedsAreTrimmed)
{
    use_fakes();
    run("play\r\n");
    run("play\n");
    run("pause\n\r\r");
    EXPECT_EQ(fake.commands, (std::vector<std::uint32_t>{0, 0, 1}));
}

TEST(Commands, SpacesAndOtherCaseMatchNothing)
{
    use_fakes();
    for (const char* line : {"play ", " play", "Play", "PLAY", "play\t", "\rplay", "pla y"})
        run(line);
    EXPECT_TRUE(fake.commands.empty());
    EXPECT_TRUE(fake.seeks.empty());
}

TEST(Commands, SeekReadsThePositionAfterTheSpace)
{
    use_fakes();
    for (const char* line : {"seek 12.5", "seek  7", "seek abc", "seek ", "seek -3", "seek 0x10", "seek 5s\r\n"})
        run(line);
    EXPECT_EQ(fake.seeks, (std::vector<double>{12.5, 7, 0, 0, -3, 16, 5}));
}

TEST(Commands, SeekWithoutItsSpaceSendsNothing)
{
    use_fakes();
    for (const char* line : {"seek", "seek\t5", "Seek 5", "seek5"})
        run(line);
    EXPECT_TRUE(fake.seeks.empty());
    EXPECT_TRUE(fake.commands.empty());
}

TEST(Commands, SeekWithoutTheSetterDoesNothing)
{
    use_fakes(false);
    run("seek 10");
    EXPECT_TRUE(fake.commands.empty());
    EXPECT_TRUE(fake.seeks.empty());
}

TEST(Commands, AnyLineRequestsARefresh)
{
    use_fakes();
    fake.silent = true;
    run("");
    EXPECT_TRUE(wait_for([] { return query_count() == 1; }));
}

TEST(Commands, RefreshRefreshesAtOnceAndAgainAfterTheDebounce)
{
    use_fakes();
    fake.silent = true;
    auto sent = std::chrono::steady_clock::now();
    run("refresh");
    ASSERT_TRUE(wait_for([] { return query_count() == 2; }));
    std::lock_guard guard(fake.lock);
    EXPECT_GE(fake.queries[1] - sent, std::chrono::milliseconds(120));
}
