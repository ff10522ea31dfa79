// A tick counter rather than a clock orders the players: two events never tie.
#include "players.h"

#include <algorithm>
#include <vector>

static std::vector<Player>& players = *new std::vector<Player>;
static std::uint64_t tick;

void players_add(const std::string& name, const std::string& owner)
{
    players_remove(name);
    players.push_back({name, owner, 0, false, 0, ++tick});
}

void players_remove(const std::string& name)
{
    std::erase_if(players, [&](const Player& p) { return p.name == name; });
}

bool players_clear()
{
    bool had = !players.empty();
    players.clear();
    return had;
}

bool players_tracks(const std::string& owner)
{
    return std::any_of(players.begin(), players.end(), [&](const Player& p) { return p.owner == owner; });
}

void players_set_pid(const std::string& owner, std::int32_t pid)
{
    for (auto& p : players)
        if (p.owner == owner)
            p.pid = pid;
}

// Not a sign of life by itself: the answer to a read may come after newer
// signals of other players.
void players_set_playing(const std::string& owner, bool playing)
{
    ++tick;
    for (auto& p : players) {
        if (p.owner != owner)
            continue;
        if (playing && !p.playing)
            p.startedAt = tick;
        p.playing = playing;
    }
}

void players_touch(const std::string& owner)
{
    ++tick;
    for (auto& p : players)
        if (p.owner == owner)
            p.activeAt = tick;
}

// Whether a is the better now-playing choice than b: the one that most
// recently began playing, failing that the one most recently active.
static bool beats(const Player& a, const Player& b)
{
    if (a.playing != b.playing)
        return a.playing;
    return a.playing ? a.startedAt > b.startedAt : a.activeAt > b.activeAt;
}

const Player* players_current()
{
    const Player* best = nullptr;
    for (auto& p : players)
        if (!best || beats(p, *best))
            best = &p;
    return best;
}
