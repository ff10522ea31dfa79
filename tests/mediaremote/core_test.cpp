// The stand-in's parts that need no bus, in this process: which player is
// now playing, and how a player's properties become the information.
#include "artwork.h"
#include "metadata.h"
#include "players.h"
#include "rig.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

// Players a and b come first; each event is a player, then p (began playing), s (stopped), t (active) or - (left).
TEST(Players, NowPlayingIsTheLastToBeginPlayingElseTheLastActive)
{
    const std::pair<std::string, const char*> rows[] = {{"", "b"}, {"at", "a"}, {"bp at", "b"}, {"ap bp at", "b"},
        {"ap bp ap", "b"}, {"ap bp as ap", "a"}, {"ap bp bs", "a"}, {"bp at b-", "a"}};
    for (const auto& [events, chosen] : rows) {
        players_clear();
        players_add("a", "a");  // its connection's name as well
        players_add("b", "b");
        for (std::size_t i = 0; i < events.size(); i += 3)
            events[i + 1] == 't'       ? players_touch(events.substr(i, 1))
                : events[i + 1] == '-' ? void(players_remove(events.substr(i, 1)))
                                       : players_set_playing(events.substr(i, 1), events[i + 1] == 'p');
        EXPECT_EQ(players_current() ? players_current()->name : "", chosen) << events;
    }
}

using V = sdbus::Variant;

TEST(Metadata, NamesTimesInSecondsAndTheRateAsTheFrameworkHasThem)
{
    PropertyMap metadata = {{"xesam:title", V(std::string("Song"))},
        {"xesam:artist", V(std::vector<std::string>{"Ann", "Bob", "Cy"})}, {"xesam:album", V(std::int64_t(7))},
        {"mpris:length", V(std::uint64_t(215'250'000))}, {"mpris:artUrl", V(std::string("data:;base64,aGk="))}};
    auto info = metadata_info({{"Metadata", V(metadata)}, {"Position", V(std::int32_t(30'500'000))}}, 12.5);
    EXPECT_EQ(std::get<std::string>(info.at(kMRMediaRemoteNowPlayingInfoTitle)), "Song");
    EXPECT_EQ(std::get<std::string>(info.at(kMRMediaRemoteNowPlayingInfoArtist)), "Ann, Bob, Cy");
    EXPECT_EQ(std::get<std::int64_t>(info.at(kMRMediaRemoteNowPlayingInfoAlbum)), 7);  // as it came, to be judged
    EXPECT_EQ(std::get<double>(info.at(kMRMediaRemoteNowPlayingInfoDuration)), 215.25);
    EXPECT_EQ(std::get<double>(info.at(kMRMediaRemoteNowPlayingInfoElapsedTime)), 30.5);
    EXPECT_EQ(std::get<MRDate>(info.at(kMRMediaRemoteNowPlayingInfoTimestamp)).sinceEpoch, 12.5);
    EXPECT_EQ(std::get<std::string>(info.at(kMRMediaRemoteNowPlayingInfoArtworkIdentifier)), "data:;base64,aGk=");
    auto artwork = std::get<MRData>(info.at(kMRMediaRemoteNowPlayingInfoArtworkData)).bytes;
    EXPECT_EQ(artwork ? std::string(artwork->begin(), artwork->end()) : "", "hi");
    // Only a playing player moves: at its own rate when it says one, else at 1.
    const std::tuple<const char*, V, double> rows[] = {{"Playing", V(), 1.0}, {"Playing", V(1.5), 1.5},
        {"Playing", V(std::int32_t(2)), 2.0}, {"Paused", V(1.5), 0.0}, {"Stopped", V(), 0.0}, {"", V(1.5), 0.0}};
    for (const auto& [status, rate, expected] : rows) {
        PropertyMap properties = {{"PlaybackStatus", V(std::string(status))}};
        if (!rate.isEmpty())
            properties["Rate"] = rate;
        EXPECT_EQ(std::get<double>(metadata_info(properties, 0).at(kMRMediaRemoteNowPlayingInfoPlaybackRate)), expected)
            << status;
    }
}

TEST(Artwork, OnlyFromALocalFileOrInlineBase64Data)
{
    const std::string folder = test_folder();
    auto file = [&](const std::string& name) { return "file://" + folder + name; };
    std::ofstream(folder + "/cover art.png") << "hello";
    std::ofstream(folder + "/full.png").seekp(artworkLimit - 1) << '\0';  // both sparse
    std::ofstream(folder + "/huge.png").seekp(artworkLimit) << '\0';
    mkfifo((folder + "/fifo.png").c_str(), 0600);  // opening it to read would wait for a writer
    const std::pair<std::string, std::optional<std::string>> rows[] = {{file("/cover%20art.png"), "hello"},
        {"file://localhost" + folder + "/cover%20art.png", "hello"},
        {file("/full.png"), std::string(artworkLimit, '\0')}, {"data:image/png;base64,aGVsbG8=", "hello"},
        {"data:;base64,aGk", "hi"}, {"file://otherhost" + folder + "/cover%20art.png", {}}, {file("/cover%2"), {}},
        {file("/cover art.png%00"), {}}, {file("/missing.png"), {}}, {file("/fifo.png"), {}}, {file("/huge.png"), {}},
        {"https://example.org/cover.png", {}}, {"data:text/plain,hello", {}}, {"data:image/png;base64,not*base64", {}}};
    for (const auto& [url, expected] : rows) {
        ArtworkBytes bytes = artwork_load(url);
        EXPECT_EQ(bytes ? std::optional(std::string(bytes->begin(), bytes->end())) : std::nullopt, expected) << url;
    }
}
