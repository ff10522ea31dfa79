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

extern const SysfsDriver applesmcDriver;  // Intel Macs
extern const SysfsDriver macsmcDriver;    // Apple Silicon Macs
