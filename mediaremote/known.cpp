#include "known.h"

#include <vector>

static bool discovering;
static int unanswered;
static std::vector<std::function<void()>>& waiting = *new std::vector<std::function<void()>>;

void known_start()
{
    discovering = true;
    unanswered = 0;
}

void known_ask()
{
    ++unanswered;
}

void known_answer()
{
    if (discovering && --unanswered == 0)
        known_stop();
}

void known_stop()
{
    discovering = false;
    std::vector<std::function<void()>> jobs;
    jobs.swap(waiting);
    for (auto& job : jobs)
        job();
}

void known_then(std::function<void()> job)
{
    if (discovering)
        waiting.push_back(std::move(job));
    else
        job();
}
