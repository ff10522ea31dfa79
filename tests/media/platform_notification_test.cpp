#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform_wait.h"

// The default center lives for the whole process and observers are never
// removed, so each test posts names of its own and its observers only touch
// state that outlives the test.

// A name no earlier test or repeat has used.
static std::string fresh(const char* name)
{
  static std::atomic<int> uses{0};
  return name + std::to_string(uses++);
}

TEST(NotificationCenter, RunsObserversOnThePostingThreadInRegistrationOrder)
{
  struct Seen {
    std::mutex mutex;
    std::vector<std::pair<int, std::thread::id>> calls;
  };
  auto& seen = *new Seen;
  std::string order = fresh("test.order");
  for (int i = 0; i < 3; i++)
    platform::notification_add_observer(order, [&seen, i](const std::string&) {
      std::lock_guard lock(seen.mutex);
      seen.calls.emplace_back(i, std::this_thread::get_id());
    });
  std::atomic<bool> posted{false};
  std::thread::id poster;
  platform::thread_detach([&] {
    poster = std::this_thread::get_id();
    platform::notification_post(order);
    posted = true;
  });

  ASSERT_TRUE(wait_for([&] { return posted.load(); }));
  std::lock_guard lock(seen.mutex);
  ASSERT_EQ(seen.calls.size(), 3u);
  for (int i = 0; i < 3; i++) {
    EXPECT_EQ(seen.calls[i].first, i);
    EXPECT_EQ(seen.calls[i].second, poster);
  }
}

TEST(NotificationCenter, CallsOnlyObserversOfThePostedName)
{
  std::string mineName = fresh("test.mine"), otherName = fresh("test.other");
  auto& other = *new std::atomic<int>(0);
  auto& mine = *new std::atomic<int>(0);
  auto& given = *new std::string;
  platform::notification_add_observer(otherName, [&other](const std::string&) { other++; });
  platform::notification_add_observer(mineName, [&mine, &given](const std::string& name) {
    mine++;
    given = name;
  });

  platform::notification_post(mineName);

  EXPECT_EQ(other, 0);
  EXPECT_EQ(mine, 1);
  EXPECT_EQ(given, mineName);
}

TEST(NotificationCenter, LetsAnObserverPostAndRegister)
{
  std::string innerName = fresh("test.inner"), outerName = fresh("test.outer");
  auto& inner = *new std::atomic<int>(0);
  platform::notification_add_observer(innerName, [&inner](const std::string&) { inner++; });
  platform::notification_add_observer(outerName, [&inner, innerName](const std::string&) {
    platform::notification_post(innerName);
    platform::notification_add_observer(innerName, [&inner](const std::string&) { inner += 10; });
  });

  platform::notification_post(outerName);
  EXPECT_EQ(inner, 1);
  platform::notification_post(innerName);
  EXPECT_EQ(inner, 12);
}

TEST(NotificationCenter, TakesPostsAndRegistrationsFromManyThreads)
{
  auto& calls = *new std::atomic<int>(0);
  std::atomic<int> finished{0};
  std::string busy = fresh("test.busy");
  platform::notification_add_observer(busy, [&calls](const std::string&) { calls++; });
  for (int t = 0; t < 3; t++)
    platform::thread_detach([&] {
      for (int i = 0; i < 500; i++) {
        platform::notification_post(busy);
        platform::notification_add_observer("test.busy.unused", [](const std::string&) {});
      }
      finished++;
    });

  ASSERT_TRUE(wait_for([&] { return finished == 3; }));
  EXPECT_EQ(calls, 1500);
}
