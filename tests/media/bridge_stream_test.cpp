// The event stream: one compact JSON record per line, whole, from any thread.
#include "event_stream.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <limits>
#include <thread>

// Runs the writer with this process's standard output sent to a temporary
// file, and gives back the lines it wrote.
template <class Writer> static std::vector<std::string> lines_written_by(Writer writer)
{
    char path[] = "/tmp/bridge-stdout-XXXXXX";
    int file = mkstemp(path), saved = dup(1);
    std::fflush(stdout);
    dup2(file, 1);
    writer();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    close(file);
    std::ifstream written(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(written, line);)
        lines.push_back(line);
    unlink(path);
    return lines;
}

TEST(EventStream, WritesWhatJsonCanHoldMendsBadTextAndDropsTheRest)
{
    std::vector<bool> written;
    auto lines = lines_written_by([&] {
        written = {emit({{"pid", 1}, {"rate", std::numeric_limits<double>::quiet_NaN()}}),
            emit({{"elapsed", -std::numeric_limits<double>::infinity()}}),
            emit({{"pid", 2}, {"duration", 215}, {"rate", 1.5}, {"t", "a\\b\n"}}), emit({{"title", "bad \xff byte"}})};
    });
    EXPECT_EQ(written, (std::vector<bool>{false, false, true, true}));
    EXPECT_EQ(lines,
        (std::vector<std::string>{
            R"({"pid":2,"duration":215,"rate":1.5,"t":"a\\b\n"})", "{\"title\":\"bad \xEF\xBF\xBD byte\"}"}));
}

// Long plain text (base64 artwork) is written past the serialiser; the bytes
// must not change for it, wherever it stands and whatever else is there.
TEST(EventStream, WritesLongTextsExactlyAsTheSerialiserWould)
{
    const std::string art(3000, 'Q'), quoted = std::string(3000, 'a') + "\"", bad = std::string(3000, 'b') + "\xc3";
    const std::string tab = "\t" + std::string(2000, 'x'), wide = std::string(2000, 'y') + "\u00e9";
    const Record records[] = {
        {{"artwork", art}},
        {{"pid", 1}, {"artwork", art}, {"rate", 1.5}, {"second", art + "/+="}, {"playing", false}},
        {{"title", "So \"What\""}, {"a", art}, {"b", art}},
        {{"quoted", quoted}, {"bad", bad}, {"tab", tab}, {"wide", wide}, {"art", art}},
        {{std::string(1500, 'k'), art}},
    };
    auto lines = lines_written_by([&] {
        for (const Record& record : records)
            emit(record);
    });
    ASSERT_EQ(lines.size(), std::size(records));
    for (std::size_t i = 0; i < lines.size(); i++)
        EXPECT_EQ(lines[i], records[i].dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)) << i;
}

TEST(EventStream, ConcurrentWritersNeverMixTheirRecords)
{
    auto lines = lines_written_by([] {
        std::vector<std::thread> writers;
        for (int w = 0; w < 4; w++)
            writers.emplace_back([w] {
                for (int i = 0; i < 200; i++)
                    emit({{"w", w}, {"text", std::string(5000 + i, char('a' + w))}});
            });
        for (auto& writer : writers)
            writer.join();
    });
    ASSERT_EQ(lines.size(), 800u);
    for (const auto& line : lines) {
        Record record = Record::parse(line);
        std::string text = record["text"];
        ASSERT_EQ(text, std::string(text.size(), char('a' + record["w"].get<int>())));
    }
}
