// The stand-in end to end: tolvane-media-host with the bridge and the
// stand-in follows scripted players on a private bus, record by record.
#include "bus_daemon.h"
#include "fake_player.h"
#include "host_process.h"
#include "wait.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>

using namespace std::chrono_literals;

static bool by_artist(const json& record, const std::string& artist)
{
    return record.value("artist", "") == artist;
}

TEST(Host, WithoutABusSaysNoPlayerAndFollowsABusThatComesAndComesBack)
{
    HostProcess host(test_bus_address());  // nothing listens there yet
    auto no_player = [](const json& record, const std::string&) { return record["pid"] == 0 && titled(record, ""); };
    ASSERT_TRUE(host.record_where(no_player, ""));
    for (const char* title : {"Before", "After"}) {
        {
            BusDaemon bus(test_bus_path());
            FakePlayer player(title);
            player.set_metadata(track(title));
            ASSERT_TRUE(host.record_where(titled, title)) << title;
        }
        ASSERT_TRUE(host.record_where(no_player, "")) << "after " << title;
    }
}

// Each step changes one player and names the player then followed.
TEST(Host, FollowsThePlayerThatStartedPlayingLastElseTheOneActiveLast)
{
    BusDaemon bus(test_bus_path());
    HostProcess host(test_bus_address());
    FakePlayer first("first");
    auto second = std::make_unique<FakePlayer>("second");
    const struct {
        FakePlayer* player;
        std::optional<std::string> status;
        const char* title;  // also the player's new title, where it has none yet
        bool playing;
    } steps[] = {
        {&first, std::nullopt, "First", false},
        {second.get(), std::nullopt, "Second", false},
        {&first, "Paused", "First", false},
        {second.get(), "Playing", "Second", true},
        {&first, "Playing", "First", true},
        {&first, "Paused", "Second", true},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(std::string(step.title) + " " + step.status.value_or("titled"));
        step.player->set(step.status, step.status ? std::nullopt : std::optional(track(step.title)));
        auto record = host.record_where(titled, step.title);
        ASSERT_TRUE(record);
        EXPECT_EQ((*record)["playing"], step.playing);
    }
    second.reset();
    EXPECT_TRUE(host.record_where(titled, "First"));
}

TEST(Host, RecordsCarryEveryMappedFieldOfThePlayer)
{
    using V = sdbus::Variant;
    const struct {
        double rate;
        const char* status;
        Metadata metadata;
        const char* expected;
    } rows[] = {
        {1.5, "Playing",
            {{"xesam:title", V(std::string("Song"))}, {"xesam:artist", V(std::vector<std::string>{"Ann", "Bob"})},
                {"xesam:album", V(std::string("Record"))}, {"mpris:length", V(std::int64_t(215'250'000))}},
            R"({"playing":true,"title":"Song","artist":"Ann, Bob","album":"Record","duration":215.25,"elapsed":30.5,
             "rate":1.5})"},
        {2.0, "Paused", {{"xesam:title", V(std::string("Paused"))}, {"xesam:artist", V(std::string("Pause"))}},
            R"({"playing":false,"title":"Paused","artist":"Pause","rate":0,"duration":0})"},
        {1.0, "Stopped", {{"xesam:title", V(std::int64_t(7))}, {"xesam:artist", V(std::string("Odd"))}},
            R"({"title":"","artist":"Odd"})"},
    };
    BusDaemon bus(test_bus_path());
    HostProcess host(test_bus_address());
    for (const auto& row : rows) {
        SCOPED_TRACE(row.expected);
        const json expected = json::parse(row.expected);
        FakePlayer player("mapped", row.rate);
        player.set_position(30'500'000);
        player.set(row.status, row.metadata);
        auto record = host.record_where(by_artist, expected["artist"]);
        ASSERT_TRUE(record);
        EXPECT_EQ((*record)["pid"], getpid());
        for (const auto& [key, value] : expected.items())
            EXPECT_EQ((*record)[key], value) << key;
        double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
        EXPECT_NEAR((*record)["timestamp"].get<double>(), now, 10.0);
    }
}

// Artwork that came once is named only, until other artwork comes.
TEST(Host, ArtworkComesOnlyFromALocalFileOrAnInlineDataUrlAndOnlyOnce)
{
    std::string folder = test_folder(), fifo = folder + "/fifo.png", huge = folder + "/huge.png";
    std::ofstream(folder + "/cover art.png") << "hello";
    std::ofstream(huge).close();
    std::filesystem::resize_file(huge, (16u << 20) + 1);
    mkfifo(fifo.c_str(), 0600);
    const struct {
        std::string url;
        const char* artwork;  // null: none
    } rows[] = {
        {"file://" + folder + "/cover%20art.png", "aGVsbG8="},
        {"data:image/png;base64,aGVsbG8=", "aGVsbG8="},
        {"https://example.org/cover.png", nullptr},
        {"file://otherhost/cover.png", nullptr},
        {"data:text/plain,hello", nullptr},
        {"data:image/png;base64,not*base64", nullptr},
        {"file://" + folder + "/missing.png", nullptr},
        {"file://" + fifo, nullptr},
        {"file:///dev/zero", nullptr},
        {"file://" + huge, nullptr},
        {"data:,", nullptr},
        {"data:;base64,aGk=", "aGk="},
    };
    BusDaemon bus(test_bus_path());
    FakePlayer player("art");
    HostProcess host(test_bus_address());
    for (const auto& row : rows) {
        SCOPED_TRACE(row.url);
        Metadata metadata = track(row.url);
        metadata["mpris:artUrl"] = sdbus::Variant(row.url);
        player.set_metadata(metadata);
        auto record = host.record_where(titled, row.url);
        ASSERT_TRUE(record);
        EXPECT_EQ(record->value("artworkID", "<none>"), row.artwork ? row.url : "<none>");
        EXPECT_EQ(record->value("artwork", "<none>"), row.artwork ? row.artwork : "<none>");
    }
    child_write(host.host, "refresh\n");
    auto again = next_record(host.host, Clock::now() + 10s);
    ASSERT_TRUE(again);
    EXPECT_EQ((*again)["artworkID"], "data:;base64,aGk=");
    EXPECT_FALSE(again->contains("artwork"));
}

// The timer writes a record every 4 s from the bridge's start. A record that
// comes 3 s after the first with nothing changed is the timer's, so the
// changes that follow have the next 3 s to themselves. A player that appears
// is followed, and so gives a record, only while none plays.
TEST(Host, EachKindOfChangeGivesOneDebouncedRecord)
{
    BusDaemon bus(test_bus_path());
    FakePlayer player("changes");
    player.set_metadata(track("Start"));
    HostProcess host(test_bus_address());
    ASSERT_TRUE(host.record_where(titled, "Start"));
    auto first = Clock::now();
    while (next_record(host.host, first + 10s) && Clock::now() - first < 3s) { }
    auto tick = Clock::now();
    ASSERT_LT(tick - first, 10s);

    std::optional<FakePlayer> other;
    const struct {
        const char* what;
        std::function<void()> change;
        bool (*shows)(const json&);
    } steps[] = {
        {"title and status in one signal", [&] { player.set("Playing", track("Both")); },
            [](const json& r) { return r["title"] == "Both" && r["playing"] == true; }},
        {"seeked", [&] { player.seeked(9'000'000); }, [](const json& r) { return r["elapsed"] == 9.0; }},
        {"status", [&] { player.set("Paused", std::nullopt); }, [](const json& r) { return r["playing"] == false; }},
        {"a player appears, the latest active", [&] { other.emplace("other"); },
            [](const json& r) { return r["title"] == ""; }},
    };
    std::vector<json> seen;
    for (const auto& step : steps) {
        step.change();
        std::optional<json> record;
        while ((record = next_record(host.host, tick + 3200ms)) && (seen.push_back(*record), !step.shows(*record))) { }
        ASSERT_TRUE(record) << step.what;
    }
    while (auto record = next_record(host.host, tick + 3200ms))
        seen.push_back(*record);
    EXPECT_EQ(seen.size(), std::size(steps)) << json(seen).dump();
}

TEST(Host, CommandsAndThePositionReachTheNowPlayingPlayerOnly)
{
    const struct {
        Metadata metadata;
        std::string input;
        std::vector<std::string> calls;
    } rows[] = {
        {track("Steered", "/org/example/track/9"),
            "play\npause\ntoggle\nnext\nprevious\nseek 12.5\nseek nan\nseek inf\nseek 1e300\n",
            {"Play", "Pause", "PlayPause", "Next", "Previous", "SetPosition /org/example/track/9 12500000",
                "SetPosition /org/example/track/9 9200000000000000000"}},
        {{{"xesam:title", sdbus::Variant(std::string("No track id"))}}, "seek 4\n", {"Seek -6000000"}},
    };
    BusDaemon bus(test_bus_path());
    FakePlayer other("other");
    other.set_metadata(track("Other"));
    HostProcess host(test_bus_address());
    for (const auto& row : rows) {
        std::string title = row.metadata.at("xesam:title").get<std::string>();
        SCOPED_TRACE(title);
        FakePlayer player("steered");
        player.set_position(10'000'000);
        player.set("Playing", row.metadata);
        ASSERT_TRUE(host.record_where(titled, title));
        child_write(host.host, row.input);
        ASSERT_TRUE(wait_until([&] { return player.calls().size() >= row.calls.size(); }));
        EXPECT_EQ(player.calls(), row.calls);
    }
    EXPECT_TRUE(other.calls().empty());
}
