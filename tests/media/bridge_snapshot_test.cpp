#include "bridge_fakes.h"
#include "platform_wait.h"
#include "snapshot.h"
#include "stdout_capture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <limits>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

static std::atomic<bool> checked;

// The requests and the check all sit on the queue, so the order in which they
// run is fixed by their deadlines, however loaded the machine.
static void schedule_then_check_later()
{
    schedule();
    platform::queue_after(queue, 400ms, [] { checked = true; });
}

TEST(Debounce, TwoRequests50msApartGiveOneRefresh120msAfterTheSecond)
{
    use_fakes();
    fake.silent = true;
    checked = false;
    auto start = Clock::now();
    platform::queue_async(queue, schedule);
    platform::queue_after(queue, 50ms, schedule_then_check_later);
    ASSERT_TRUE(wait_for([] { return checked.load(); }));
    std::lock_guard guard(fake.lock);
    ASSERT_EQ(fake.queries.size(), 1u);
    EXPECT_GE(fake.queries[0] - start, 170ms);
}

TEST(Debounce, TwoRequests200msApartGiveTwoRefreshes)
{
    use_fakes();
    fake.silent = true;
    platform::queue_async(queue, schedule);
    platform::queue_after(queue, 200ms, schedule);
    EXPECT_TRUE(wait_for([] { return query_count() == 2; }));
}

TEST(Refresh, ChainsTheThreeQueriesIntoOneRecord)
{
    use_fakes();
    fake.pid = 812;
    fake.playing = true;
    fake.info = std::make_shared<const MRInfoDictionary>(
        MRInfoDictionary{{kMRMediaRemoteNowPlayingInfoTitle, std::string("Blue in Green")}});
    StdoutCapture out;
    platform::queue_async(queue, refresh);
    ASSERT_TRUE(out.wait_lines(1));
    Record record = Record::parse(out.lines()[0]);
    EXPECT_EQ(record["pid"], 812);
    EXPECT_EQ(record["playing"], true);
    EXPECT_EQ(record["title"], "Blue in Green");
}

TEST(Refresh, ArtworkOfADroppedRecordIsSentWithTheNextRecord)
{
    use_fakes();
    auto artwork = MRData{std::make_shared<const std::vector<std::uint8_t>>(std::vector<std::uint8_t>{1, 2, 3})};
    fake.info = std::make_shared<const MRInfoDictionary>(
        MRInfoDictionary{{kMRMediaRemoteNowPlayingInfoArtworkData, artwork},
                         {kMRMediaRemoteNowPlayingInfoPlaybackRate, std::numeric_limits<double>::quiet_NaN()}});
    StdoutCapture out;
    platform::queue_async(queue, refresh);
    ASSERT_TRUE(wait_for([] { return info_count() == 1; }));
    ASSERT_TRUE(drain_queue());
    EXPECT_TRUE(out.lines().empty());

    {
        std::lock_guard guard(fake.lock);
        fake.info = std::make_shared<const MRInfoDictionary>(
            MRInfoDictionary{{kMRMediaRemoteNowPlayingInfoArtworkData, artwork}});
    }
    platform::queue_async(queue, refresh);
    ASSERT_TRUE(out.wait_lines(1));
    EXPECT_EQ(Record::parse(out.lines()[0])["artwork"], "AQID");
}
