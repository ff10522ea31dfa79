#include "file_text.h"

#include <fcntl.h>
#include <unistd.h>

std::optional<std::string> file_text(const char* path)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::string text;
    char chunk[4096];
    ssize_t n;
    while ((n = read(fd, chunk, sizeof chunk)) > 0)
        text.append(chunk, size_t(n));
    close(fd);
    return n == 0 ? std::optional(text) : std::nullopt;
}
