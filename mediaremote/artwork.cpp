#include "artwork.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string_view>

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

// Only regular files: a FIFO or a device would block or never end.
static ArtworkBytes read_file(const std::string& path)
{
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<std::size_t>(st.st_size) > artworkLimit) {
        close(fd);
        return nullptr;
    }
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (got < bytes->size()) {
        ssize_t n = read(fd, bytes->data() + got, bytes->size() - got);
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    close(fd);
    bytes->resize(got);
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
static ArtworkBytes load_data_url(std::string_view rest)
{
    auto comma = rest.find(',');
    if (comma == std::string_view::npos || !rest.substr(0, comma).ends_with(";base64"))
        return nullptr;
    return base64_decode(rest.substr(comma + 1));
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
