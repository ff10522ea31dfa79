// Preloaded: reads of hung.* never return (a dead mount), of slow.* take 1 s, of cut.* end at 8 bytes (cut once sized);
// no thread can be made while the file TOLVANE_NO_THREADS names exists.
#include <dlfcn.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" ssize_t read(int fd, void* into, size_t size)
{
    char link[32], path[4096] = {};
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    while (readlink(link, path, sizeof path - 1) > 0 && strstr(path, "/hung."))
        pause();
    if (strstr(path, "/slow."))
        sleep(1);
    if (strstr(path, "/cut."))
        size = std::min<off_t>(size, std::max<off_t>(8 - lseek(fd, 0, SEEK_CUR), 0));
    return reinterpret_cast<ssize_t (*)(int, void*, size_t)>(dlsym(RTLD_NEXT, "read"))(fd, into, size);
}

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*run)(void*), void* arg)
{
    if (const char* refused = getenv("TOLVANE_NO_THREADS"); refused && access(refused, F_OK) == 0)
        return EAGAIN;
    return reinterpret_cast<decltype(&pthread_create)>(dlsym(RTLD_NEXT, "pthread_create"))(thread, attr, run, arg);
}

extern "C" const char* __asan_default_options()
{
    return "verify_asan_link_order=0";
}
