// hold: a speed kept until a stop signal, then handed back.
#pragma once

// The longest wait between reminders: with a reminder's own time-out it stays well inside
// the watchdog's 61 s, which the helper counts in whole seconds.
const int kMaxEverySeconds = 50;

// Sends setRequest, then a status request every everySeconds while the status shows the
// fans forced, until SIGINT, SIGTERM or SIGHUP, then auto. Returns the exit status.
int hold(const char* path, const char* setRequest, int everySeconds);
