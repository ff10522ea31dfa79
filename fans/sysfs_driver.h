// The kernel drivers the Linux controller answers from, one table each.
#pragma once

enum FanField { kFanActual, kFanMinimum, kFanMaximum, kFanTarget, kFanMode, kFanFields };

struct SysfsDriver {
    bool (*find)();                 // sets the fan folder; false where the driver is absent
    const char* files[kFanFields];  // the file behind each key; a key exists where its file does
    bool (*read_mode)(int n, long* mode);
    bool (*write_mode)(int n, long mode);
    bool (*write_target)(int n, long rpm);
};

extern const SysfsDriver applesmcDriver;       // Intel Macs, the driver's own naming
extern const SysfsDriver applesmcHwmonDriver;  // Intel Macs, the standard hwmon naming
extern const SysfsDriver macsmcDriver;         // Apple Silicon Macs

// Sets the fan folder to that of the first hwmon device the driver runs whose
// folder or device folder holds fan 1's file of the pattern (any, if null).
bool find_hwmon(const char* driver, const char* pattern);
