// tolvane-media-host: loads libTOLVANEMedia and hands it this process's main
// thread, standard input and standard output. By default it takes the library
// that was built or installed beside it; a path argument names another one.
#include "executable_path.h"

#include <dlfcn.h>
#include <stdio.h>
#include <unistd.h>

#include <string>

static const char libraryName[] = TOLVANE_LIBRARY_NAME;

static bool exists(const std::string& path)
{
    return access(path.c_str(), F_OK) == 0;
}

// The build tree keeps libraries in lib/; an install keeps them in a folder
// of their own (lib/<multiarch>/tolvane under /usr), the second choice.
static bool default_library(std::string& path)
{
    std::string dir;
    if (!executable_path(dir))
        return false;
    dir.erase(dir.rfind('/'));
    path = dir + "/../lib/" + libraryName;
    if (!exists(path))
        path = dir + "/" TOLVANE_LIBDIR_FROM_BINDIR "/" + libraryName;
    return true;
}

int main(int argc, char** argv)
{
    if (argc > 2) {
        fprintf(stderr, "usage: tolvane-media-host [library]\n");
        return 64;
    }
    std::string path;
    if (argc == 2)
        path = argv[1];
    else if (!default_library(path)) {
        fprintf(stderr, "tolvane-media-host: cannot find own executable\n");
        return 1;
    }
    void* library = dlopen(path.c_str(), RTLD_NOW);
    if (!library) {
        fprintf(stderr, "tolvane-media-host: %s\n", dlerror());
        return 1;
    }
    auto run = reinterpret_cast<void (*)()>(dlsym(library, "tolvane_media_run"));
    if (!run) {
        fprintf(stderr, "tolvane-media-host: %s\n", dlerror());
        return 1;
    }
    run();
    return 0;
}
