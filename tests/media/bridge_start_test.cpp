#include "bridge_process.h"

#include <gtest/gtest.h>

using Clock = std::chrono::steady_clock;

TEST(BridgeStart, WithoutTheFrameworkWritesOneFailureAndExitsWithTwo)
{
    BridgeProcess bridge("");
    EXPECT_EQ(bridge.read_line(), R"({"error":"framework"})");
    EXPECT_EQ(bridge.read_line(), std::nullopt);
    EXPECT_EQ(bridge.wait_exit(), 2);
}

TEST(BridgeStart, WithoutARequiredFunctionWritesOneFailureAndExitsWithTwo)
{
    BridgeProcess bridge("without_pid");
    EXPECT_EQ(bridge.read_line(), R"({"error":"symbols"})");
    EXPECT_EQ(bridge.read_line(), std::nullopt);
    EXPECT_EQ(bridge.wait_exit(), 2);
}

TEST(BridgeStart, WritesReadyAndAFirstRecordWithoutWaitingForTheTimer)
{
    auto started = Clock::now();
    BridgeProcess bridge("full", "pid 77\nplaying 1\n");
    std::vector<std::string> lines = {*bridge.read_line(), *bridge.read_line()};
    EXPECT_LT(Clock::now() - started, 3500ms);
    EXPECT_TRUE(lines[0] == R"({"ready":true})" || lines[1] == R"({"ready":true})");
    auto record = nlohmann::json::parse(lines[0] == R"({"ready":true})" ? lines[1] : lines[0]);
    EXPECT_EQ(record["pid"], 77);
    EXPECT_EQ(record["playing"], true);
    EXPECT_EQ(bridge.log().at(0), "register com.tolvane.media");
}

TEST(BridgeStart, WithNothingChangingRecordsFollowAboutEveryFourSeconds)
{
    BridgeProcess bridge("full");
    ASSERT_TRUE(bridge.next_record());
    auto first = Clock::now();
    ASSERT_TRUE(bridge.next_record());
    EXPECT_GT(Clock::now() - first, 2s);
}

TEST(BridgeStart, WritesTheChosenValuesOfEveryType)
{
    BridgeProcess bridge("full",
                         "pid -5\n"
                         "playing 0\n"
                         "Title string Line\\x0aand \"quote\"\n"
                         "Artist string Sigur Rós\n"
                         "Album int 12\n"
                         "Duration int 215\n"
                         "ElapsedTime double 215.04\n"
                         "PlaybackRate bool 1\n"
                         "Timestamp date 1700000000.25\n"
                         "ArtworkData data 010203\n"
                         "ArtworkIdentifier object <artwork 7>\n");
    auto record = bridge.next_record();
    ASSERT_TRUE(record);
    EXPECT_EQ(*record, nlohmann::json::parse(R"({"pid":-5,"playing":false,"title":"Line\nand \"quote\"",
        "artist":"Sigur Rós","album":"","duration":215,"elapsed":215.04,"rate":1,"timestamp":1700000000.25,
        "artworkID":"<artwork 7>","artwork":"AQID"})"));
    EXPECT_TRUE((*record)["duration"].is_number_integer());
}

// Each notification gives a record with the script of its own moment; all of
// them come well before the timer's next record, which could stand in for one.
static void expect_a_record_for_each(const std::string& variant, const std::vector<std::string>& names)
{
    BridgeProcess bridge(variant, "pid 1\n");
    ASSERT_TRUE(bridge.next_record());
    auto timerRecord = Clock::now();
    for (const auto& name : names) {
        bridge.write_script("Title string " + name + "\n");
        bridge.post(name);
        auto record = bridge.next_record(3s);
        ASSERT_TRUE(record) << name;
        EXPECT_EQ((*record)["title"], name);
    }
    EXPECT_LT(Clock::now() - timerRecord, 3500ms);
}

TEST(BridgeStart, ObservesTheNotificationNamesTheFrameworkExports)
{
    expect_a_record_for_each("full", {"stub.info", "stub.playing", "stub.application", "stub.client"});
}

TEST(BridgeStart, WithoutExportedNamesObservesTheLiteralNames)
{
    expect_a_record_for_each("without_names", {"kMRMediaRemoteNowPlayingInfoDidChangeNotification",
                                               "kMRMediaRemoteNowPlayingApplicationIsPlayingDidChangeNotification",
                                               "kMRMediaRemoteNowPlayingApplicationDidChangeNotification",
                                               "kMRMediaRemoteNowPlayingApplicationClientStateDidChange"});
}

TEST(BridgeStart, AFrameworkThatNeverAnswersGivesReadyAndNoRecords)
{
    BridgeProcess bridge("silent");
    bridge.send("play\nrefresh\n");
    bridge.close_input();
    EXPECT_EQ(bridge.wait_exit(), 0);
    EXPECT_EQ(bridge.read_line(), R"({"ready":true})");
    EXPECT_EQ(bridge.read_line(), std::nullopt);
    EXPECT_EQ(bridge.log(), (std::vector<std::string>{"register com.tolvane.media", "command 0"}));
}
