// A hwmon class of the test's own: monitors in their devices' folders, linked into the class as the kernel lists
// them, and named by TOLVANE_HWMON_ROOT for the code and the programs the test runs.
#pragma once

#include "temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

struct FakeHwmon {
    TempDir dir;
    std::filesystem::path root = dir.file("class/hwmon");
    FakeHwmon() { std::filesystem::create_directories(root), setenv("TOLVANE_HWMON_ROOT", root.c_str(), 1); }
    // hwmonN on devices/DEVICE, named in its folder or on the device; its folder.
    std::filesystem::path monitor(int n, const std::string& device, const std::string& name, bool onDevice = false)
    {
        std::filesystem::path on = dir.file("devices/" + device), folder = on / "hwmon" / ("hwmon" + std::to_string(n));
        std::filesystem::create_directories(folder), std::filesystem::create_directory_symlink(on, folder / "device");
        std::filesystem::create_directory_symlink(folder, root / folder.filename());
        return write(onDevice ? on / "name" : folder / "name", name + "\n"), folder;
    }
    // Whole, by a rename, as a reader of sysfs sees a value change.
    static void write(const std::filesystem::path& file, const std::string& text)
    {
        std::ofstream(file.string() + ".new") << text;
        std::filesystem::rename(file.string() + ".new", file);
    }
};
