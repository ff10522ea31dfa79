// What the helper's status line tells a client that forced the fans.
#pragma once

// Whether it says forced=1.
bool forced(const char* statusReply);
// Whether a fan is at mode 0 while the helper says it forced them all: let go behind its
// back, as T2 Macs do across a suspend.
bool let_go(const char* statusReply);
