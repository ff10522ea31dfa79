// The sysfs files of the kernel's SMC drivers.
#pragma once

bool read_file(const char* path, char* text, int size);       // false, or a text of a byte or more, NUL-ended
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
