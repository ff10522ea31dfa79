// The Linux controller on a fake Apple SMC driver tree in a temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "fan_control.h"
#include "smc.h"
#include "user_client.h"

namespace fs = std::filesystem;

// A driver with two fans in the device folder or, as on newer kernels, under
// hwmon/hwmon3/ beside a sensor without fans; opened, its fans detected.
struct FakeDriver {
    fs::path root = fs::temp_directory_path() / ("tolvane-sysfs-" + std::to_string(getpid()));
    fs::path fans;
    explicit FakeDriver(bool hwmon) : fans(hwmon ? root / "hwmon/hwmon3" : root)
    {
        fs::create_directories(root / "hwmon/hwmon0");
        fs::create_directories(fans);
        for (std::string f : {"1_input 2000", "1_min 1200", "1_max 6200", "1_output 2000", "1_manual 0",
                              "2_input 1800", "2_min 1000", "2_max 5800", "2_output 1800", "2_manual 0"})
            std::ofstream(fans / ("fan" + f.substr(0, f.find(' ')))) << f.substr(f.find(' ') + 1) << "\n";
        sysfsRoot = root.c_str(), smc = 0, haveOriginal = false;
        EXPECT_TRUE(smc_open());
        detect_fans();
    }
    ~FakeDriver() { fs::remove_all(root); }
    std::string text(const char* file)
    {
        std::ifstream in(fans / file);
        return {std::istreambuf_iterator<char>(in), {}};
    }
};

TEST(SysfsController, ServesEitherLayoutWithSpeedsAsWholeRpmText)
{
    for (bool hwmon : {false, true}) {
        SCOPED_TRACE(hwmon);
        FakeDriver driver(hwmon);
        char line[kStatusSize];
        status_line(line);
        EXPECT_STREQ(line, "ok fans=2 forced=0 F0=2000,1200,6200,2000,0 F1=1800,1000,5800,1800,0\n");
        EXPECT_FALSE(smc_key_info("Ftst").ok);
        EXPECT_TRUE(force_all_fans(2500.6f));
        EXPECT_EQ(driver.text("fan1_output") + driver.text("fan2_manual"), "2501\n1\n");
        restore_auto();
        EXPECT_EQ(driver.text("fan1_manual"), "0\n");
    }
}

TEST(SysfsController, FailsOnAWriteTheDriverRefusesAndOpensNoMissingDevice)
{
    FakeDriver driver(false);
    fs::remove(driver.fans / "fan2_output");
    fs::create_symlink("/dev/full", driver.fans / "fan2_output");
    EXPECT_FALSE(force_all_fans(2500));
    EXPECT_EQ(driver.text("fan1_manual"), "0\n");
    sysfsRoot = "/nonexistent/applesmc.768", smc = 0;
    EXPECT_FALSE(smc_open());
}
