// The bridge over fake framework functions: the record of their answers, artwork sent once, debounce, commands.
#include "artwork.h"
#include "base64.h"
#include "captured_output.h"
#include "commands.h"
#include "framework.h"
#include "snapshot.h"
#include "wait.h"

#include <gtest/gtest.h>
#include <xxhash.h>

#include <dlfcn.h>

#include <cmath>
#include <sstream>
#include <thread>

using namespace std::literals;

static const auto key = [](const char* name) { return std::string("kMRMediaRemoteNowPlayingInfo") + name; };
static const auto bytes = [](std::vector<std::uint8_t> content) {
    return MRData{std::make_shared<const std::vector<std::uint8_t>>(std::move(content))};
};

// The fake framework's answer is read and written only on the queue; what it is asked to do, on the test's thread.
static MRInfoDictionary answer;
static std::vector<std::string> actions;
static std::atomic<int> refreshes;

static const auto reply = [](const auto& callback, auto value) {
    platform::queue_async(queue, [callback, value] { callback(value); });
};

static void install_fake_framework()
{
    getPID = [](auto&, auto& callback) { refreshes++, reply(callback, -5); };
    getPlaying = [](auto&, auto& callback) { reply(callback, true); };
    getInfo = [](auto&, auto& callback) { reply(callback, std::make_shared<MRInfoDictionary>(answer)); };
    sendCommand = [](auto command, auto) { return actions.push_back("command " + std::to_string(command)), true; };
    setElapsed = [](double seconds) { actions.push_back("seek " + (std::ostringstream() << seconds).str()); };
}

struct Bridge : testing::Test {
    CapturedOutput output;

    void SetUp() override
    {
        [[maybe_unused]] static const bool once =
            (queue = platform::queue_create("test.bridge"), install_fake_framework(), true);
        refreshes = 0, actions.clear();
    }
    void TearDown() override { drain(); }

    // Every refresh requested so far has run, and written what it had to.
    void drain()
    {
        std::atomic<bool> done = false;
        platform::queue_after(queue, 400ms, [&done] { done = true; });
        ASSERT_TRUE(wait_until([&] { return done.load(); }));
    }
    // The records one refresh writes when the framework answers `info`.
    std::vector<std::string> records_of(const MRInfoDictionary& info)
    {
        platform::queue_async(queue, [info] { answer = info; }), platform::queue_async(queue, refresh);
        return drain(), output.lines();
    }
};

TEST_F(Bridge, WritesTheRecordOfTheAnswersWithEachValueOfItsKind)
{
    MRInfoDictionary info = {{key("Title"), std::string("Line\nand \"quote\"\x01")},
        {key("Artist"), std::string("Sigur Rós – 東京")}, {key("Album"), std::int64_t(12)},
        {key("Duration"), std::int64_t(215)}, {key("ElapsedTime"), 215.04}, {key("PlaybackRate"), true},
        {key("Timestamp"), MRDate{1700000000.25}}, {key("ArtworkData"), bytes({1, 2, 3})},
        {key("ArtworkIdentifier"), MRObject{"<artwork 7>"}}};
    EXPECT_EQ(records_of(info),
        std::vector<std::string>{R"({"pid":-5,"playing":true,"title":"Line\nand \"quote\"\u0001",)"
                                 R"("artist":"Sigur Rós – 東京","album":"","duration":215,"elapsed":215.04,"rate":1,)"
                                 R"("timestamp":1700000000.25,"artworkID":"<artwork 7>","artwork":"AQID"})"});
    // Artwork in a record that could not be written never reached the reader; in one that was, it did.
    EXPECT_TRUE(records_of({{key("ArtworkData"), bytes({4, 5, 6})}, {key("PlaybackRate"), NAN}}).empty());
    for (const char* sent : {"BAUG", "none"}) {  // written, so not again
        auto lines = records_of({{key("ArtworkData"), bytes({4, 5, 6})}});
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(Record::parse(lines[0]).value("artwork", "none"), sent);
    }
}

// No information, or values of the wrong types: defaults, stamped with the present.
TEST(NowPlayingRecord, DefaultsWhatIsMissingOrOfTheWrongType)
{
    const MRInfoDictionary wrong = {{key("Title"), std::int64_t(7)}, {key("Artist"), MRObject{"x"}},
        {key("Album"), MRDate{1}}, {key("Duration"), std::string("215")}, {key("ElapsedTime"), MRDate{30}},
        {key("PlaybackRate"), MRObject{"1"}}, {key("Timestamp"), 1000.5}};
    const MRInfoDictionary paused = {{key("PlaybackRate"), false}};  // a flag counts as its number
    for (const MRInfoDictionary* answers : {static_cast<const MRInfoDictionary*>(nullptr), &wrong, &paused}) {
        auto now = [] { return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()); };
        double before = now().count();
        Record record = now_playing_record(7, false, answers ? std::make_shared<MRInfoDictionary>(*answers) : nullptr);
        EXPECT_TRUE(record["timestamp"] >= before && record["timestamp"] <= now().count());
        EXPECT_EQ((record.erase("timestamp"), record.dump()),
            R"({"pid":7,"playing":false,"title":"","artist":"","album":"","duration":0,"elapsed":0,"rate":0})");
    }
}

// A snapshot a row: the same artwork again, or new bytes under its identifier, are not sent; the same after none is.
// An identifier stands for its text: a boolean for 1 or 0; a date the calendar cannot hold, or no number, its seconds.
TEST(Artwork, IsSentOnlyWhenItsIdentityIsNewWhateverTheIdentifiersTypeAndEncodedFromItsOwnBytes)
{
    const std::vector<std::uint8_t> three = {0xfb, 0xff, 0xfe}, four = {1, 2, 3, 4}, five = {1, 2, 3, 4, 5};
    const std::string none = "<absent>", cover = "cover-1";
    auto id = [](auto b) { return std::to_string(b.size()) + "-" + std::to_string(XXH3_64bits(b.data(), b.size())); };
    const struct {
        std::optional<MRValue> data, identifier;
        std::string artworkID, artwork;
    } rows[] = {{std::nullopt, std::nullopt, none, none}, {bytes(three), cover, cover, "+//+"},
        {bytes(three), cover, cover, none}, {bytes(four), cover, cover, none}, {std::nullopt, cover, none, none},
        {bytes(three), cover, cover, "+//+"}, {bytes({}), cover, none, none},
        {std::string("not data"), cover, none, none}, {bytes(four), std::nullopt, id(four), "AQIDBA=="},
        {bytes(five), std::nullopt, id(five), "AQIDBAU="}, {bytes(five), std::nullopt, id(five), none},
        {bytes(four), MRObject{""}, "", "AQIDBA=="}};
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        auto info = std::make_shared<MRInfoDictionary>();
        for (const auto& [name, value] : {std::pair{"ArtworkData", row.data}, {"ArtworkIdentifier", row.identifier}})
            if (value)
                (*info)[key(name)] = *value;
        Record record = now_playing_record(1, true, info);
        EXPECT_EQ(record.value("artworkID", none), row.artworkID);
        EXPECT_EQ(record.value("artwork", none), row.artwork);
    }
    const std::pair<MRValue, const char*> identifiers[] = {{std::int64_t(-42), "-42"}, {2.5, "2.5"}, {true, "1"},
        {false, "0"}, {bytes({0xab, 0x01}), "<ab01>"}, {MRObject{"<NSURL>"}, "<NSURL>"},
        {MRDate{1700000000.9}, "2023-11-14 22:13:20 +0000"}, {MRDate{-0.5}, "1970-01-01 00:00:00 +0000"},
        {MRDate{1e17}, "1e+17"},                                 // a time_t, but past the calendar's years
        {MRDate{9223372036854775808.0}, "9223372036854775808"},  // just past time_t
        {MRDate{-1e19}, "-1e+19"}, {MRDate{NAN}, "nan"}, {MRDate{-INFINITY}, "-inf"}};
    const MRData artwork = bytes({1});
    for (const auto& [identifier, text] : identifiers)
        EXPECT_EQ(
            artwork_identity({{key("ArtworkData"), artwork}, {key("ArtworkIdentifier"), identifier}}, artwork), text);
    const std::uint8_t beyond[] = {0x00, 0xff, 0xff};  // the last group's missing bytes are zeros all the same
    EXPECT_EQ(base64_encode(nullptr, 0) + base64_encode(beyond, 1) + base64_encode(beyond, 2), "AA==AP8=");
}

// Held up, the queue stops the reader at its bound of blocks (the next line's action done) for two seconds; then the
// commands go on without it, none lost. Then every request is timed on the queue, as the notifications' are.
TEST_F(Bridge, AQueueFarBehindHoldsTheReaderAndRequestsCloserThan120msGiveOneRefreshTheRefreshCommandOneMore)
{
    std::atomic<int> lines = 0, held = 1;
    platform::queue_async(queue, [&held] { wait_until([&held] { return !held; }); });
    std::thread reader([&lines] {
        for (std::string line; lines < 3 * handedOnLimit; lines++)
            run_command((line = "next").data());
    });
    ASSERT_TRUE(wait_until([&] { return lines >= handedOnLimit; }));
    const auto reached = std::chrono::steady_clock::now();
    EXPECT_EQ(lines, 64);
    ASSERT_TRUE(wait_until([&] { return lines > 64; }));  // two seconds stuck, the reader goes on without the queue
    EXPECT_NEAR(std::chrono::duration<double>(std::chrono::steady_clock::now() - reached).count(), 2.2, 0.7);
    held = false, reader.join(), drain();
    EXPECT_EQ(actions, std::vector<std::string>(3 * handedOnLimit, "command 4"));
    for (auto [gap, expected] : {std::pair{50ms, 1}, {200ms, 2}}) {
        refreshes = 0, platform::queue_async(queue, schedule), platform::queue_after(queue, gap, schedule), drain();
        EXPECT_EQ(refreshes, expected) << gap.count();
    }
    for (auto [command, expected] : {std::pair{"refresh"s, 2}, {"play", 1}}) {  // the room made again as blocks ran
        refreshes = 0, run_command(command.data()), drain();
        EXPECT_EQ(refreshes, expected) << command;
    }
}

// The last row is a framework without the seek setter.
TEST_F(Bridge, CarriesOutEachLineAsTheCommandTableSays)
{
    const auto setter = setElapsed;
    const std::tuple<std::vector<std::string>, std::vector<std::string>, MRSetElapsedTimeFn> rows[] = {
        {{"toggle", "play", "pause", "next", "previous"},
            {"command 2", "command 0", "command 1", "command 4", "command 5"}, setter},
        {{"play\r\n", "pause\r\r\n", "next\n"}, {"command 0", "command 1", "command 4"}, setter},
        {{"play ", " play", "Play", "PAUSE", "play\t", "", "\rplay", "seek", "seek\t5", "Seek 5", "refreshed"}, {},
            setter},
        {{"seek 12.5", "seek  7", "seek abc", "seek ", "seek -3", "seek 0x10", "seek 5s\r\n"},
            {"seek 12.5", "seek 7", "seek 0", "seek 0", "seek -3", "seek 16", "seek 5"}, setter},
        {{"seek 10", "toggle"}, {"command 2"}, nullptr}};
    for (const auto& [lines, expected, seek] : rows) {
        actions.clear(), setElapsed = seek;
        for (std::string line : lines)
            run_command(line.data());
        EXPECT_EQ(actions, expected) << testing::PrintToString(lines);
    }
    setElapsed = setter;
}

#ifndef __APPLE__
// Three names exported as a framework exports them; the fourth is missing, so its own text stands for it.
#define TEST_EXPORT extern "C" __attribute__((visibility("default")))
TEST_EXPORT const char* const kMRMediaRemoteNowPlayingInfoDidChangeNotification = "test.info";
TEST_EXPORT const char* const kMRMediaRemoteNowPlayingApplicationIsPlayingDidChangeNotification = "test.playing";
TEST_EXPORT const char* const kMRMediaRemoteNowPlayingApplicationDidChangeNotification = "test.application";

TEST(Framework, ObservesTheNamesItExportsElseTheSymbolsOwn)
{
    static std::vector<std::string> seen;
    framework_observe(dlopen(nullptr, RTLD_NOW), [](const std::string& name) { seen.push_back(name); });
    const std::vector<std::string> observed = {
        "test.info", "test.playing", "test.application", "kMRMediaRemoteNowPlayingApplicationClientStateDidChange"};
    for (const auto& name : observed)
        platform::notification_post(name);
    platform::notification_post("kMRMediaRemoteNowPlayingInfoDidChangeNotification");
    EXPECT_EQ(seen, observed);
}
#endif

// Only setting the elapsed time may be missing: the bridge refuses to start without any other function.
TEST(Framework, StartsWithoutOnlyTheOptionalFunction)
{
    install_fake_framework();
    const auto all = std::tuple{getInfo, getPID, getPlaying, sendCommand, setElapsed};
    const MRRegisterForNowPlayingNotificationsFn registers = [](const platform::Queue&) {};
    const std::function<void()> drops[] = {[] { getInfo = nullptr; }, [] { getPID = nullptr; },
        [] { getPlaying = nullptr; }, [] { sendCommand = nullptr; }, [] { setElapsed = nullptr; }, [] {}};
    for (std::size_t missing = 0; missing < std::size(drops); missing++) {  // the last drops none
        std::tie(getInfo, getPID, getPlaying, sendCommand, setElapsed) = all, drops[missing]();
        EXPECT_EQ(framework_complete(registers), missing >= 4) << missing;
    }
    EXPECT_FALSE(framework_complete(nullptr));
}
