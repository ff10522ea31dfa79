// The Linux controller on a fake Apple SMC driver tree in a temporary folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "fan_control.h"
#include "smc.h"
#include "user_client.h"

namespace fs = std::filesystem;

// A driver tree with two fans, its files either in the device folder itself
// or, as on newer kernels, under hwmon/hwmon3/.
struct FakeDriver {
    fs::path root;
    fs::path fans;

    explicit FakeDriver(bool hwmon)
    {
        char name[] = "/tmp/tolvane-sysfs-XXXXXX";
        root = mkdtemp(name);
        fans = hwmon ? root / "hwmon" / "hwmon3" : root;
        fs::create_directories(fans);
        if (hwmon)
            fs::create_directories(root / "hwmon" / "hwmon0");  // another sensor, no fans
        put("fan1_input", "2000\n"), put("fan1_min", "1200\n"), put("fan1_max", "6200\n");
        put("fan1_output", "2000\n"), put("fan1_manual", "0\n");
        put("fan2_input", "1800\n"), put("fan2_min", "1000\n"), put("fan2_max", "5800\n");
        put("fan2_output", "1800\n"), put("fan2_manual", "0\n");
        smc = 0;
    }
    ~FakeDriver() { fs::remove_all(root); }

    void put(const char* file, const char* text) { std::ofstream(fans / file) << text; }
    std::string get(const char* file)
    {
        std::ifstream in(fans / file);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    bool open()
    {
        sysfsRoot = root.c_str();
        return smc_open();
    }
};

static std::string status()
{
    char buf[kStatusSize];
    status_line(buf);
    return buf;
}

TEST(SysfsController, ReadsFansFromTheDeviceFolder)
{
    FakeDriver driver(false);
    ASSERT_TRUE(driver.open());
    detect_fans();
    EXPECT_EQ(status(), "ok fans=2 forced=0 F0=2000,1200,6200,2000,0 F1=1800,1000,5800,1800,0\n");
}

TEST(SysfsController, ReadsFansFromTheHwmonFolder)
{
    FakeDriver driver(true);
    ASSERT_TRUE(driver.open());
    detect_fans();
    EXPECT_EQ(status(), "ok fans=2 forced=0 F0=2000,1200,6200,2000,0 F1=1800,1000,5800,1800,0\n");
}

TEST(SysfsController, WritesTargetsAsWholeRpmAndModesAsDigits)
{
    FakeDriver driver(true);
    ASSERT_TRUE(driver.open());
    fanCount = 2;
    haveOriginal = false;
    EXPECT_TRUE(force_all_fans(2500.6f));
    EXPECT_EQ(driver.get("fan1_output"), "2501\n");
    EXPECT_EQ(driver.get("fan2_manual"), "1\n");
    restore_auto();
    EXPECT_EQ(driver.get("fan1_manual"), "0\n");
}

TEST(SysfsController, ARefusedWriteIsAFailure)
{
    FakeDriver driver(false);
    fs::remove(driver.fans / "fan2_output");
    fs::create_symlink("/dev/full", driver.fans / "fan2_output");
    ASSERT_TRUE(driver.open());
    fanCount = 2;
    EXPECT_FALSE(force_all_fans(2500));
    EXPECT_EQ(driver.get("fan1_manual"), "0\n");
    const uint8_t one = 1;
    EXPECT_EQ(write_key("FNum", &one, 1), -1);
}

TEST(SysfsController, HasNoTestSwitch)
{
    FakeDriver driver(false);
    ASSERT_TRUE(driver.open());
    EXPECT_FALSE(smc_key_info("Ftst").ok);
    EXPECT_FALSE(smc_key_info("F2Ac").ok);
}

TEST(SysfsController, FailsToOpenWithoutTheDevice)
{
    FakeDriver driver(false);
    std::string absent = (driver.root / "absent").string();
    sysfsRoot = absent.c_str();
    EXPECT_FALSE(smc_open());
    EXPECT_EQ(smc, 0u);
}
