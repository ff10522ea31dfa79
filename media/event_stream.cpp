#include "event_stream.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

// Text at least this long that JSON carries unchanged goes past the
// serialiser, whose UTF-8 pass costs milliseconds over a megabyte of base64
// artwork, ASCII by construction.
static const std::size_t kVerbatimLength = 1024;

// One line of the stream: the serialised text, and the long texts written
// as they are at their offsets in it.
struct Line {
    std::string text;
    std::vector<std::pair<std::size_t, const std::string*>> verbatim;
};

static bool has_non_finite(const Record& record)
{
    for (const auto& value : record)
        if (value.is_number_float() && !std::isfinite(value.get<double>()))
            return true;
    return false;
}

// Printable ASCII without quote or backslash: JSON carries it unchanged.
static bool needs_no_escape(const std::string& text)
{
    static const auto plain = [] {
        std::array<std::uint8_t, 256> table{};
        for (int c = 0x20; c < 0x7f; c++)
            table[c] = c != '"' && c != '\\';
        return table;
    }();
    std::uint8_t all = 1;
    for (unsigned char c : text)
        all &= plain[c];
    return all;
}

static bool is_verbatim(const Record& value)
{
    return value.is_string() && value.get_ref<const std::string&>().size() >= kVerbatimLength &&
        needs_no_escape(value.get_ref<const std::string&>());
}

// Invalid UTF-8 can only come from a misbehaving framework; mend it rather
// than lose the whole record.
static std::string serialised(const Record& value)
{
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// Compact JSON exactly as the serialiser writes the whole record, which it
// does itself when there is no long text to leave out.
static Line compact_json(const Record& record)
{
    Line line;
    if (std::none_of(record.begin(), record.end(), is_verbatim)) {
        line.text = serialised(record);
        return line;
    }
    line.text.push_back('{');
    for (const auto& [key, value] : record.items()) {
        if (line.text.size() > 1)
            line.text += ',';
        line.text += serialised(key);
        line.text += ':';
        if (!is_verbatim(value)) {
            line.text += serialised(value);
            continue;
        }
        line.text += '"';
        line.verbatim.emplace_back(line.text.size(), &value.get_ref<const std::string&>());
        line.text += '"';
    }
    line.text += '}';
    return line;
}

static void write_line(const Line& line)
{
    std::size_t written = 0;
    for (const auto& [offset, text] : line.verbatim) {
        fwrite(line.text.data() + written, 1, offset - written, stdout);
        fwrite(text->data(), 1, text->size(), stdout);
        written = offset;
    }
    fwrite(line.text.data() + written, 1, line.text.size() - written, stdout);
    fputc('\n', stdout);
}

bool emit(const Record& record)
{
    if (has_non_finite(record))
        return false;
    Line line;
    try {
        line = compact_json(record);
    } catch (...) {
        return false;
    }
    // The stream's own lock keeps each record, its line feed and the flush
    // together, whichever thread writes.
    flockfile(stdout);
    write_line(line);
    fflush(stdout);
    funlockfile(stdout);
    return true;
}
