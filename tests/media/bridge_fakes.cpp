#include "bridge_fakes.h"

#include "platform_wait.h"

#include <atomic>
#include <memory>

FakeFramework& fake = *new FakeFramework;

template <typename Callback, typename Value>
static void answer(const platform::Queue& answerQueue, const Callback& callback, Value value)
{
    platform::queue_async(answerQueue, [callback, value] { callback(value); });
}

static void fake_pid(const platform::Queue& answerQueue, const MRPIDCallback& callback)
{
    std::lock_guard guard(fake.lock);
    fake.queries.push_back(std::chrono::steady_clock::now());
    if (!fake.silent)
        answer(answerQueue, callback, fake.pid);
}

static void fake_playing(const platform::Queue& answerQueue, const MRPlayingCallback& callback)
{
    std::lock_guard guard(fake.lock);
    answer(answerQueue, callback, fake.playing);
}

static void fake_info(const platform::Queue& answerQueue, const MRInfoCallback& callback)
{
    std::lock_guard guard(fake.lock);
    fake.infoQueries++;
    answer(answerQueue, callback, fake.info);
}

static bool fake_command(std::uint32_t command, const void*)
{
    fake.commands.push_back(command);
    return true;
}

static void fake_seek(double seconds)
{
    fake.seeks.push_back(seconds);
}

void use_fakes(bool withSeek)
{
    if (!queue)
        queue = platform::queue_create("com.tolvane.media");
    // Past the debounce, so that no refresh of an earlier test comes late.
    drain_queue(std::chrono::milliseconds(150));
    std::lock_guard guard(fake.lock);
    getPID = fake_pid;
    getPlaying = fake_playing;
    getInfo = fake_info;
    sendCommand = fake_command;
    setElapsed = withSeek ? fake_seek : nullptr;
    fake.pid = 0;
    fake.playing = false;
    fake.info = nullptr;
    fake.silent = false;
    fake.queries.clear();
    fake.infoQueries = 0;
    fake.commands.clear();
    fake.seeks.clear();
}

std::size_t query_count()
{
    std::lock_guard guard(fake.lock);
    return fake.queries.size();
}

std::size_t info_count()
{
    std::lock_guard guard(fake.lock);
    return fake.infoQueries;
}

bool drain_queue(std::chrono::milliseconds delay)
{
    auto done = std::make_shared<std::atomic<bool>>(false);
    platform::queue_after(queue, delay, [done] { *done = true; });
    return wait_for([&] { return done->load(); });
}
