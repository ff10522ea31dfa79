#include "standin.h"

#include "eventually.h"

#include <dlfcn.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <stdexcept>

template <typename Fn>
static Fn bind(void* handle, const char* name)
{
    return reinterpret_cast<Fn>(dlsym(handle, name));
}

const StandIn& standin()
{
    static const StandIn s = [] {
        void* h = dlopen(MEDIAREMOTE_PATH, RTLD_NOW);
        if (!h)
            throw std::runtime_error(dlerror());
        return StandIn{bind<MRGetNowPlayingInfoFn>(h, "MRMediaRemoteGetNowPlayingInfo"),
                       bind<MRGetNowPlayingApplicationPIDFn>(h, "MRMediaRemoteGetNowPlayingApplicationPID"),
                       bind<MRGetNowPlayingApplicationIsPlayingFn>(h, "MRMediaRemoteGetNowPlayingApplicationIsPlaying"),
                       bind<MRSendCommandFn>(h, "MRMediaRemoteSendCommand"),
                       bind<MRSetElapsedTimeFn>(h, "MRMediaRemoteSetElapsedTime"),
                       bind<MRRegisterForNowPlayingNotificationsFn>(h, "MRMediaRemoteRegisterForNowPlayingNotifications"),
                       h};
    }();
    return s;
}

const platform::Queue& test_queue()
{
    static const platform::Queue& q = *new platform::Queue(platform::queue_create("mediaremote.test"));
    return q;
}

// One answer: its value, how often it came, and whether always on the queue.
template <typename T>
struct Answer {
    std::mutex lock;
    std::condition_variable arrived;
    std::optional<T> value;
    int count = 0;
    bool onQueue = true;

    void deliver(T v)
    {
        std::lock_guard l(lock);
        value = std::move(v);
        ++count;
        onQueue = onQueue && platform::queue_is_current(test_queue());
        arrived.notify_all();
    }

    // The answer, or nothing if it never came, came twice or came elsewhere.
    std::optional<T> await()
    {
        std::unique_lock l(lock);
        if (!arrived.wait_for(l, patience, [&] { return count > 0; }))
            return std::nullopt;
        l.unlock();
        // A second answer would come right behind the first one, on the queue.
        std::atomic<bool> drained = false;
        platform::queue_async(test_queue(), [&] { drained = true; });
        eventually([&] { return drained.load(); });
        l.lock();
        return count == 1 && onQueue ? value : std::nullopt;
    }
};

template <typename T, typename Fn>
static std::optional<T> ask(Fn fn)
{
    auto answer = std::make_shared<Answer<T>>();
    fn(test_queue(), [answer](T v) { answer->deliver(std::move(v)); });
    return answer->await();
}

std::optional<std::int32_t> ask_pid()
{
    return ask<std::int32_t>(standin().getPID);
}

std::optional<bool> ask_playing()
{
    return ask<bool>(standin().getPlaying);
}

std::optional<MRInfo> ask_info()
{
    return ask<MRInfo>(standin().getInfo);
}

std::string now_playing_title()
{
    auto info = ask_info();
    if (!info || !*info)
        return "";
    auto it = (*info)->find(kMRMediaRemoteNowPlayingInfoTitle);
    if (it == (*info)->end() || !std::holds_alternative<std::string>(it->second))
        return "";
    return std::get<std::string>(it->second);
}

bool now_playing_title_becomes(const std::string& title)
{
    return eventually([&] { return now_playing_title() == title; });
}

static std::mutex countsLock;
static std::map<std::string, int>& counts = *new std::map<std::string, int>;

int posted(const char* name)
{
    static std::once_flag observing;
    std::call_once(observing, [] {
        for (const char* n : {"kMRMediaRemoteNowPlayingInfoDidChangeNotification",
                              "kMRMediaRemoteNowPlayingApplicationIsPlayingDidChangeNotification",
                              "kMRMediaRemoteNowPlayingApplicationDidChangeNotification"})
            platform::notification_add_observer(n, [](const std::string& posted) {
                std::lock_guard l(countsLock);
                ++counts[posted];
            });
        standin().registerForNotifications(test_queue());
    });
    std::lock_guard l(countsLock);
    return counts[name];
}
