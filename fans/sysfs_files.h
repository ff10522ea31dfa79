// The sysfs files of the kernel's SMC drivers. Fan files are read and written
// through two replaceable functions, so that tests can stand in a driver that
// refuses as the kernel does; folder lookups use the real file system.
#pragma once

// Both default to the real open, read and write; -1 with errno on failure.
extern int (*sysfsRead)(const char* path, char* text, int size);  // length; text NUL-ended
extern int (*sysfsWrite)(const char* path, const char* text);     // 0 on success

int read_file(const char* path, char* text, int size);        // the real reading
bool path_in(const char* dir, const char* name, char* path);  // path holds PATH_MAX bytes

// The folder holding the fan files of the driver found. A fan's file is named
// by a pattern with its number, counted from 1: "fan%d_input" for fan 0 is
// fan1_input.
bool set_fan_dir(const char* dir);
bool lock_fan_dir();  // an exclusive lock on that folder, held while the process lives
bool has_fan_file(int n, const char* pattern);
int count_fans();
bool read_fan_number(int n, const char* pattern, long* value);
bool write_fan_number(int n, const char* pattern, long value);
