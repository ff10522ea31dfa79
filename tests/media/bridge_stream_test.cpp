// The event stream: one compact JSON record per line, whole, from any thread.
#include "captured_output.h"
#include "event_stream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

// Long plain text (base64 artwork) is written past the serialiser: the same bytes, wherever it stands among what.
TEST(EventStream, WritesWhatJsonCanHoldMendsBadTextDropsTheRestAndWritesLongTextsAsTheSerialiserWouldFromAnyThread)
{
    CapturedOutput output;
    EXPECT_FALSE(emit({{"pid", 1}, {"rate", NAN}}) || emit({{"elapsed", -INFINITY}}));
    EXPECT_TRUE(
        emit({{"pid", 2}, {"duration", 215}, {"rate", 1.5}, {"t", "a\\b\n"}}) && emit({{"title", "bad \xff byte"}}));
    EXPECT_EQ(output.lines(),
        (std::vector<std::string>{
            R"({"pid":2,"duration":215,"rate":1.5,"t":"a\\b\n"})", "{\"title\":\"bad \xEF\xBF\xBD byte\"}"}));
    const std::string art(3000, 'Q'), quoted = std::string(3000, 'a') + "\"", bad = std::string(3000, 'b') + "\xff";
    const std::string tab = "\t\x1f" + std::string(2000, 'x'), wide = std::string(2000, 'y') + "\u00e9";
    const Record records[] = {
        {{"pid", 1}, {"artwork", art}, {"rate", 1.5}, {"second", art + "/+="}, {"playing", false}},
        {{"quoted", quoted}, {"bad", bad}, {"tab", tab}, {"wide", wide}, {"art", art}},
        {{std::string(1500, 'k'), art}, {"\\", std::string(1100, '\\')}, {"\"", std::string(1100, '"')}},
    };
    for (const Record& record : records) {
        emit(record);
        EXPECT_EQ(output.lines(), std::vector{record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)});
    }
    std::vector<std::jthread> writers;
    for (int w = 0; w < 4; w++)
        writers.emplace_back([w] {
            for (int i = 0; i < 200; i++)
                emit({{"w", w}, {"text", std::string(5000 + i, char('a' + w))}});
        });
    writers.clear();  // joined
    auto lines = output.lines();
    ASSERT_EQ(lines.size(), 800u);
    for (const auto& line : lines) {
        Record record = Record::parse(line);
        std::string text = record.value("text", "");
        ASSERT_GE(text.size(), 5000u);
        ASSERT_EQ(text, std::string(text.size(), char('a' + record.value("w", 0))));
    }
}
