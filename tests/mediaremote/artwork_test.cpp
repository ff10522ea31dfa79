// Artwork named by mpris:artUrl: read from a local file or inline data only.
#include "bus_daemon.h"
#include "fake_player.h"
#include "standin.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

static std::optional<std::vector<std::uint8_t>> artwork_for(const std::string& url)
{
    FakePlayer player("art");
    Metadata m = track("Art");
    m["mpris:artUrl"] = sdbus::Variant(url);
    player.set_metadata(m);
    if (!now_playing_title_becomes("Art"))
        return std::nullopt;
    auto info = ask_info();
    if (!info || !*info || !(*info)->contains(kMRMediaRemoteNowPlayingInfoArtworkData))
        return std::nullopt;
    EXPECT_EQ(std::get<std::string>((*info)->at(kMRMediaRemoteNowPlayingInfoArtworkIdentifier)), url);
    return *std::get<MRData>((*info)->at(kMRMediaRemoteNowPlayingInfoArtworkData)).bytes;
}

static std::string write_file(const std::string& name, std::size_t size)
{
    std::string path = test_folder() + "/" + name;
    std::ofstream out(path, std::ios::binary);
    for (std::size_t i = 0; i < size; ++i)
        out.put(static_cast<char>(i * 7));
    return path;
}

TEST(Artwork, AFileUrlGivesTheFilesBytesAndTheUrlAsIdentifier)
{
    BusDaemon bus(test_bus_path());
    std::string path = write_file("cover art.png", 1000);
    auto bytes = artwork_for("file://" + test_folder() + "/cover%20art.png");
    ASSERT_TRUE(bytes);
    ASSERT_EQ(bytes->size(), 1000u);
    EXPECT_EQ((*bytes)[999], static_cast<std::uint8_t>(999 * 7));
}

TEST(Artwork, ADataUrlGivesItsDecodedPayload)
{
    BusDaemon bus(test_bus_path());
    auto bytes = artwork_for("data:image/png;base64,aGVsbG8=");
    ASSERT_TRUE(bytes);
    EXPECT_EQ(std::string(bytes->begin(), bytes->end()), "hello");
}

TEST(Artwork, AFileOfMoreThanSixteenMebibytesIsRefused)
{
    BusDaemon bus(test_bus_path());
    std::string path = write_file("huge.png", (16u << 20) + 1);
    EXPECT_FALSE(artwork_for("file://" + path));
}

TEST(Artwork, ADataUrlOfMoreThanSixteenMebibytesIsRefused)
{
    BusDaemon bus(test_bus_path());
    std::string payload(((16u << 20) + 3) / 3 * 4, 'A');
    EXPECT_FALSE(artwork_for("data:image/png;base64," + payload));
}

TEST(Artwork, UrlsThatAreNotLocalOrBase64GiveNone)
{
    BusDaemon bus(test_bus_path());
    EXPECT_FALSE(artwork_for("https://example.org/cover.png"));
    EXPECT_FALSE(artwork_for("file://otherhost/cover.png"));
    EXPECT_FALSE(artwork_for("data:text/plain,hello"));
    EXPECT_FALSE(artwork_for("data:image/png;base64,not*base64"));
    EXPECT_FALSE(artwork_for("file://" + test_folder() + "/missing.png"));
}

TEST(Artwork, AFifoIsNotReadSoNothingHangs)
{
    BusDaemon bus(test_bus_path());
    std::string path = test_folder() + "/fifo.png";
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    EXPECT_FALSE(artwork_for("file://" + path));
    EXPECT_FALSE(artwork_for("file:///dev/zero"));
}
