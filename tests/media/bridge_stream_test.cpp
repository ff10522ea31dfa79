// The event stream: one compact JSON record per line, whole, from any thread.
#include "event_stream.h"
#include "stdout_capture.h"

#include <gtest/gtest.h>

#include <limits>
#include <thread>

TEST(EventStream, WritesEachTextAsValidJsonOnOneLine)
{
    const struct {
        const char* text;
        const char* line;     // the exact line, where it is fixed
        const char* readsAs;  // what the line parses back to
    } rows[] = {
        {"one\ntwo\r\"three\"\\", R"({"t":"one\ntwo\r\"three\"\\"})", "one\ntwo\r\"three\"\\"},
        {"\x01\t\x1f", R"({"t":"\u0001\t\u001f"})", "\x01\t\x1f"},
        {"Sigur Rós – 東京 🎵", nullptr, "Sigur Rós – 東京 🎵"},
        {"bad \xff byte", nullptr, "bad \xEF\xBF\xBD byte"},  // mended, not lost
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.readsAs);
        StdoutCapture out;
        emit({{"t", row.text}});
        auto lines = out.lines();
        ASSERT_EQ(lines.size(), 1u);
        if (row.line) {
            EXPECT_EQ(lines[0], row.line);
        }
        EXPECT_EQ(Record::parse(lines[0])["t"], row.readsAs);
    }
}

TEST(EventStream, DropsARecordWithANonFiniteNumberWithoutATrace)
{
    StdoutCapture out;
    EXPECT_FALSE(emit({{"pid", 1}, {"rate", std::numeric_limits<double>::quiet_NaN()}}));
    EXPECT_FALSE(emit({{"elapsed", -std::numeric_limits<double>::infinity()}}));
    EXPECT_TRUE(emit({{"pid", 2}, {"rate", 1.5}}));
    EXPECT_EQ(out.lines(), std::vector<std::string>{R"({"pid":2,"rate":1.5})"});
}

TEST(EventStream, ConcurrentWritersNeverMixTheirRecords)
{
    StdoutCapture out;
    std::vector<std::thread> writers;
    for (int w = 0; w < 4; w++)
        writers.emplace_back([w] {
            for (int i = 0; i < 200; i++)
                emit({{"w", w}, {"text", std::string(5000 + i, char('a' + w))}});
        });
    for (auto& writer : writers)
        writer.join();
    auto lines = out.lines();
    ASSERT_EQ(lines.size(), 800u);
    for (const auto& line : lines) {
        Record record = Record::parse(line);
        std::string text = record["text"];
        ASSERT_EQ(text, std::string(text.size(), char('a' + record["w"].get<int>())));
    }
}
