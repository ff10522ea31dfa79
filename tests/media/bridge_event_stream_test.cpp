#include "event_stream.h"
#include "stdout_capture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>

TEST(EventStream, WritesFixedRecordsCompactly)
{
    StdoutCapture out;
    emit({{"ready", true}});
    emit({{"error", "framework"}});
    EXPECT_EQ(out.lines(), (std::vector<std::string>{R"({"ready":true})", R"({"error":"framework"})"}));
}

TEST(EventStream, EscapesLineFeedsAndQuotesSoARecordStaysOnOneLine)
{
    StdoutCapture out;
    emit({{"title", "one\ntwo\r\"three\""}});
    ASSERT_EQ(out.lines().size(), 1u);
    EXPECT_EQ(out.lines()[0], R"({"title":"one\ntwo\r\"three\""})");
}

TEST(EventStream, WritesTextOutsideAsciiAsUtf8)
{
    StdoutCapture out;
    emit({{"artist", "Sigur Rós – 東京"}});
    ASSERT_EQ(out.lines().size(), 1u);
    EXPECT_EQ(Record::parse(out.lines()[0])["artist"], "Sigur Rós – 東京");
}

TEST(EventStream, ReplacesInvalidUtf8InsteadOfFailing)
{
    StdoutCapture out;
    emit({{"title", "bad \xff byte"}});
    ASSERT_EQ(out.lines().size(), 1u);
    EXPECT_EQ(Record::parse(out.lines()[0])["title"], "bad \xEF\xBF\xBD byte");
}

TEST(EventStream, KeepsIntegersAndFractionsApart)
{
    StdoutCapture out;
    emit({{"duration", 215}, {"elapsed", 215.04}, {"rate", 1.0}});
    ASSERT_EQ(out.lines().size(), 1u);
    Record record = Record::parse(out.lines()[0]);
    EXPECT_TRUE(record["duration"].is_number_integer());
    EXPECT_EQ(record["elapsed"].get<double>(), 215.04);
    EXPECT_TRUE(record["rate"].is_number_float());
    EXPECT_EQ(out.lines()[0].substr(0, 16), R"({"duration":215,)");
}

TEST(EventStream, DropsARecordWithANonFiniteNumberWithoutATrace)
{
    StdoutCapture out;
    EXPECT_FALSE(emit({{"pid", 1}, {"rate", std::numeric_limits<double>::quiet_NaN()}}));
    EXPECT_FALSE(emit({{"elapsed", std::numeric_limits<double>::infinity()}}));
    EXPECT_TRUE(emit({{"pid", 2}}));
    EXPECT_EQ(out.lines(), std::vector<std::string>{R"({"pid":2})"});
}

TEST(EventStream, ConcurrentWritersNeverMixTheirRecords)
{
    StdoutCapture out;
    const int writers = 4, records = 200;
    std::vector<std::thread> threads;
    for (int w = 0; w < writers; w++)
        threads.emplace_back([w] {
            for (int i = 0; i < records; i++)
                emit({{"writer", w}, {"text", std::string(5000 + i, char('a' + w))}});
        });
    for (auto& thread : threads)
        thread.join();
    auto lines = out.lines();
    ASSERT_EQ(lines.size(), std::size_t(writers * records));
    for (const auto& line : lines) {
        Record record = Record::parse(line);
        std::string text = record["text"];
        EXPECT_EQ(text, std::string(text.size(), char('a' + record["writer"].get<int>())));
    }
}
