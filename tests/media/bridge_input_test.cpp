#include "bridge_process.h"

#include <gtest/gtest.h>

using Clock = std::chrono::steady_clock;

static std::vector<std::string> commands_in(const std::vector<std::string>& log)
{
    std::vector<std::string> commands;
    for (const auto& line : log)
        if (line.rfind("command ", 0) == 0 || line.rfind("seek ", 0) == 0)
            commands.push_back(line);
    return commands;
}

TEST(BridgeInput, CarriesOutEachLineInOrder)
{
    BridgeProcess bridge("full");
    bridge.send("play\r\nPLAY\nseek 12.5\n\nnext\nseek -3\n");
    bridge.close_input();
    ASSERT_EQ(bridge.wait_exit(), 0);
    EXPECT_EQ(commands_in(bridge.log()),
              (std::vector<std::string>{"command 0", "seek 12.5", "command 4", "seek -3"}));
}

TEST(BridgeInput, ALineLongerThan255CharactersIsTakenAsSeveral)
{
    BridgeProcess bridge("full");
    bridge.send(std::string(255, 'x') + "play\n" + std::string(254, 'y') + "pause\n");
    bridge.close_input();
    ASSERT_EQ(bridge.wait_exit(), 0);
    EXPECT_EQ(commands_in(bridge.log()), std::vector<std::string>{"command 0"});
}

TEST(BridgeInput, WithoutTheSeekSetterStartsAndIgnoresSeek)
{
    BridgeProcess bridge("without_seek");
    ASSERT_TRUE(bridge.next_record());
    bridge.send("seek 10\ntoggle\n");
    bridge.close_input();
    ASSERT_EQ(bridge.wait_exit(), 0);
    EXPECT_EQ(commands_in(bridge.log()), std::vector<std::string>{"command 2"});
}

TEST(BridgeInput, RefreshGivesARecordAtOnceAndAnotherAfterTheDebounce)
{
    BridgeProcess bridge("full");
    ASSERT_TRUE(bridge.next_record());
    auto sent = Clock::now();
    bridge.send("refresh\n");
    ASSERT_TRUE(bridge.next_record(3s));
    ASSERT_TRUE(bridge.next_record(3s));
    EXPECT_GE(Clock::now() - sent, 120ms);
}

TEST(BridgeInput, EndOfInputExitsWithZeroEveryTime)
{
    for (int run = 0; run < 20; run++) {
        BridgeProcess bridge(run % 2 ? "full" : "silent");
        if (run % 4 < 2)
            bridge.send("play\nrefresh\nseek 3\n");
        bridge.close_input();
        ASSERT_EQ(bridge.wait_exit(), 0) << "run " << run;
    }
}

TEST(BridgeInput, EndOfInputExitsWithZeroWhileRecordsAreBeingWritten)
{
    std::string burst;
    for (int i = 0; i < 200; i++)
        burst += "refresh\n";
    for (int run = 0; run < 10; run++) {
        BridgeProcess bridge("full", "ArtworkData data " + std::string(20000, 'b') + "\n");
        ASSERT_TRUE(bridge.next_record());
        bridge.send(burst);
        bridge.close_input();
        while (bridge.read_line()) {
        }
        ASSERT_EQ(bridge.wait_exit(), 0) << "run " << run;
    }
}
