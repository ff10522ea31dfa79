// Artwork URLs, file and data. Only images load: bytes that begin with one of
// the signatures below must load exactly, and nothing loads altered. Any data:
// URL whose payload is canonical base64 gives the bytes a strict decoder
// gives; the bridge's own base64 must decode strictly back to its bytes and
// load through a data: URL; a file: URL, percent-encoded or not, with or
// without "localhost", loads the file's bytes. file: URLs name only this
// target's own folder.
#include "media/base64.h"
#include "mediaremote/artwork.h"
#include "strict_base64.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

using namespace std::literals;

static std::string folder;

// How an image of each format the loader takes begins.
static constexpr std::string_view images[] = {"\x89PNG\r\n\x1a\n"sv, "\xff\xd8\xff"sv, "GIF87a"sv, "GIF89a"sv,
    "RIFF\0\0\0\0WEBP"sv, "BM\0\0\0\0\0\0\0\0\0\0\0\0\x28\0\0\0"sv, "II*\0"sv, "MM\0*"sv, "\0\0\0\030ftypheic"sv,
    "\0\0\0\030ftypavif"sv};

static bool begins_as_image(const std::vector<std::uint8_t>& bytes)
{
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return std::ranges::any_of(images, [&](std::string_view image) { return text.starts_with(image); });
}

static void check_loaded(const ArtworkBytes& loaded, const std::vector<std::uint8_t>& bytes)
{
    if (loaded ? *loaded != bytes : begins_as_image(bytes))
        abort();
}

// At most most bytes of the input, behind one of the signatures or not, as it says.
static std::vector<std::uint8_t> some_bytes(FuzzedDataProvider& in, std::size_t most)
{
    std::size_t pick = in.ConsumeIntegralInRange<std::size_t>(0, std::size(images));
    std::vector<std::uint8_t> bytes;
    if (pick < std::size(images))
        bytes.assign(images[pick].begin(), images[pick].end());
    auto rest = in.ConsumeBytes<std::uint8_t>(most);
    bytes.insert(bytes.end(), rest.begin(), rest.end());
    return bytes;
}

static void check_any_url(const std::string& url)
{
    if (url.starts_with("file:"))
        return;  // a path chosen at random is not ours to open
    ArtworkBytes loaded = artwork_load(url);
    if (loaded && loaded->size() > artworkLimit)
        abort();
    std::size_t comma = url.find(',');
    if (!url.starts_with("data:") || comma == std::string::npos || !url.substr(0, comma).ends_with(";base64"))
        return;
    if (auto strict = strict_base64_decode(std::string_view(url).substr(comma + 1)))
        check_loaded(loaded, *strict);
}

static void check_data_round_trip(const std::vector<std::uint8_t>& bytes)
{
    std::string text = base64_encode(bytes.data(), bytes.size());
    auto decoded = strict_base64_decode(text);
    if (!decoded || *decoded != bytes)
        abort();
    check_loaded(artwork_load("data:image/png;base64," + text), bytes);
}

// Each byte of the path after its leading '/' percent-encoded or not, as the
// input says; '%' always, as it would otherwise start an escape.
static std::string file_url(FuzzedDataProvider& in, const std::string& path)
{
    std::string url = in.ConsumeBool() ? "file://localhost/" : "file:///";
    for (unsigned char c : path.substr(1)) {
        char escape[4];
        snprintf(escape, sizeof escape, in.ConsumeBool() ? "%%%02X" : "%%%02x", c);
        url += c == '%' || in.ConsumeBool() ? std::string(escape) : std::string(1, static_cast<char>(c));
    }
    return url;
}

static void check_file(FuzzedDataProvider& in, const std::vector<std::uint8_t>& bytes)
{
    std::string path = folder + "/cover 100%.png";  // a space and a '%' to encode
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    check_loaded(artwork_load(file_url(in, path)), bytes);
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char name[] = "/tmp/tolvane-fuzz-artwork-XXXXXX";
    if (!mkdtemp(name))
        abort();
    folder = name;
    atexit([] {
        unlink((folder + "/cover 100%.png").c_str());
        rmdir(folder.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0: check_any_url(in.ConsumeRemainingBytesAsString()); break;
    case 1: check_data_round_trip(some_bytes(in, in.remaining_bytes())); break;
    default: {
        auto bytes = some_bytes(in, in.ConsumeIntegralInRange(0, 256));
        check_file(in, bytes);
    }
    }
    return 0;
}
