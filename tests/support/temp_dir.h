// A fresh folder under /tmp that any user may enter, removed with its contents.
#pragma once

#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <string>

struct TempDir {
    char name[32] = "/tmp/tolvane-test-XXXXXX";
    std::string path = mkdtemp(name);
    TempDir() { chmod(name, 0755); }  // clients under another uid connect in here
    ~TempDir() { std::filesystem::remove_all(path); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string file(const std::string& leaf) const { return path + "/" + leaf; }
    // The longest path a socket address holds: 107 bytes on Linux, 103 on macOS.
    std::string longest() const { return file(std::string(sizeof(sockaddr_un::sun_path) - path.size() - 2, 'a')); }
};
