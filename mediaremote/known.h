// Whether the players found when the bus was attached have told what they
// do. Questions and commands given before then wait for it, so that none is
// answered from a half-known bus. Bus thread only.
#pragma once

#include <functional>

void known_start();                          // the bus is attached: discovery begins
void known_ask();                            // a call of that discovery went out
void known_answer();                         // and one came back
void known_stop();                           // the bus is gone: nothing more to wait for
void known_then(std::function<void()> job);  // at once while nothing is being discovered
