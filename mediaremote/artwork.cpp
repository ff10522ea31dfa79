#include "artwork.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>

static constexpr std::size_t imageHeadLength = 32;  // enough for every signature below

static int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

static bool percent_decode(std::string_view in, std::string& out)
{
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '%') {
            out += in[i];
            continue;
        }
        int hi = i + 2 < in.size() ? hex_digit(in[i + 1]) : -1;
        int lo = hi >= 0 ? hex_digit(in[i + 2]) : -1;
        if (lo < 0)
            return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

// Artwork is an image, known by its first bytes: whatever a player names,
// a text or a key is not shipped. HEIF and AVIF are ISO media files whose
// first box names an image brand; a BMP's header is followed by one of its
// info headers, which tells it from text that begins with "BM".
static bool is_image(std::string_view head)
{
    static constexpr std::string_view plain[] = {
        "\x89PNG\r\n\x1a\n", "\xff\xd8\xff", "GIF87a", "GIF89a", {"II*\0", 4}, {"MM\0*", 4}};
    static constexpr std::string_view brands[] = {
        "heic", "heix", "heim", "heis", "hevc", "hevx", "hevm", "hevs", "mif1", "msf1", "avif", "avis"};
    static constexpr std::uint8_t bmpInfoSizes[] = {12, 16, 40, 52, 56, 64, 108, 124};
    auto at = [&](std::size_t offset) {
        return [&, offset](std::string_view s) { return head.substr(std::min(offset, head.size())).starts_with(s); };
    };
    return std::ranges::any_of(plain, at(0)) || (at(0)("RIFF") && at(8)("WEBP")) ||
        (at(4)("ftyp") && std::ranges::any_of(brands, at(8))) ||
        (at(0)("BM") && at(15)({"\0\0\0", 3}) && std::ranges::count(bmpInfoSizes, static_cast<std::uint8_t>(head[14])));
}

static std::size_t read_into(int fd, std::uint8_t* into, std::size_t size)
{
    std::size_t got = 0;
    while (got < size) {
        ssize_t n = read(fd, into + got, size - got);
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

// Only regular files: a FIFO or a device would block or never end. The rest
// is read only when the first bytes are an image's.
static ArtworkBytes read_file(const std::string& path)
{
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st;
    std::uint8_t head[imageHeadLength];
    std::size_t size = 0, got = 0;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::size_t>(st.st_size) <= artworkLimit) {
        size = static_cast<std::size_t>(st.st_size);
        got = read_into(fd, head, std::min(size, sizeof head));
    }
    ArtworkBytes bytes;
    if (is_image({reinterpret_cast<const char*>(head), got})) {
        auto all = std::make_shared<std::vector<std::uint8_t>>(head, head + got);
        all->resize(size);
        all->resize(got + read_into(fd, all->data() + got, size - got));
        bytes = std::move(all);
    }
    close(fd);
    return bytes;
}

// file:///path or file://localhost/path; other hosts are not ours to read.
static ArtworkBytes load_file_url(std::string_view rest)
{
    if (rest.starts_with("localhost/"))
        rest.remove_prefix(9);
    if (!rest.starts_with('/'))
        return nullptr;
    std::string path;
    if (!percent_decode(rest, path) || path.find('\0') != std::string::npos)
        return nullptr;
    return read_file(path);
}

static int base64_digit(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

static ArtworkBytes base64_decode(std::string_view text)
{
    while (text.ends_with('='))
        text.remove_suffix(1);
    if (text.size() / 4 * 3 > artworkLimit)
        return nullptr;
    auto bytes = std::make_shared<std::vector<std::uint8_t>>();
    bytes->reserve(text.size() / 4 * 3 + 2);
    unsigned bits = 0, count = 0;
    for (char c : text) {
        int d = base64_digit(c);
        if (d < 0)
            return nullptr;
        bits = (bits << 6) | static_cast<unsigned>(d);
        count += 6;
        if (count >= 8) {
            count -= 8;
            bytes->push_back(static_cast<std::uint8_t>(bits >> count));
        }
    }
    if (bytes->size() > artworkLimit)
        return nullptr;
    return bytes;
}

// data:[<type>][;parameters];base64,<payload>
static ArtworkBytes decode_data_url(std::string_view rest)
{
    auto comma = rest.find(',');
    if (comma == std::string_view::npos || !rest.substr(0, comma).ends_with(";base64"))
        return nullptr;
    return base64_decode(rest.substr(comma + 1));
}

// Inline data is held to the same test: a player can hand any bytes.
static ArtworkBytes load_data_url(std::string_view rest)
{
    ArtworkBytes bytes = decode_data_url(rest);
    return bytes && is_image({reinterpret_cast<const char*>(bytes->data()), bytes->size()}) ? bytes : nullptr;
}

ArtworkBytes artwork_load(const std::string& url)
{
    std::string_view u = url;
    if (u.starts_with("file://"))
        return load_file_url(u.substr(7));
    if (u.starts_with("data:"))
        return load_data_url(u.substr(5));
    return nullptr;
}
