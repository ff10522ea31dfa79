#include "fake_sysfs_driver.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "fan_control.h"
#include "sysfs_files.h"
#include "user_client.h"

namespace fs = std::filesystem;

static FakeDriver* current;
static int (*realRead)(const char*, char*, int);
static int (*realWrite)(const char*, const char*);

struct FakeFile {
    const char* suffix;
    Driver driver;
    bool writable;
};

// Each driver's files per fan. applesmc lets root change the minimum; the
// controller must not.
static const FakeFile kFiles[] = {
    {"label", Driver::kApplesmc, false},
    {"input", Driver::kApplesmc, false},
    {"min", Driver::kApplesmc, true},
    {"max", Driver::kApplesmc, false},
    {"safe", Driver::kApplesmc, false},
    {"output", Driver::kApplesmc, true},
    {"manual", Driver::kApplesmc, true},
    {"label", Driver::kMacsmc, false},
    {"input", Driver::kMacsmc, false},
    {"min", Driver::kMacsmc, false},
    {"max", Driver::kMacsmc, false},
    {"target", Driver::kMacsmc, true},
};

static int fail(int error)
{
    errno = error;
    return -1;
}

// The fan file a path names, with its fan from 0; nullptr for any other.
static const FakeFile* file_of(const char* path, int* fan, std::string* name)
{
    *name = fs::path(path).filename();
    int number;
    char suffix[16];
    if (sscanf(name->c_str(), "fan%d_%15s", &number, suffix) != 2 || number < 1 || number > current->fans)
        return nullptr;
    *fan = number - 1;
    for (const FakeFile& f : kFiles)
        if (f.driver == current->kind && strcmp(f.suffix, suffix) == 0)
            return &f;
    return nullptr;
}

static double& speed_of(FakeFan& f, const std::string& suffix)
{
    return suffix == "input" ? f.actual
        : suffix == "min"    ? f.minimum
        : suffix == "max"    ? f.maximum
        : suffix == "safe"   ? f.safe
                             : f.target;
}

// What reading shows: whole rpm (applesmc drops the quarters), a manual bit, a label.
static int show(FakeDriver& d, const std::string& suffix, int k, std::string* text)
{
    if (suffix == "manual" && !d.manualKey)
        return EINVAL;
    *text = suffix == "label" ? (k == 0 ? "Left side" : "Right side")
        : suffix == "manual"  ? std::to_string(d.manualBits >> k & 1)
                              : std::to_string(long(speed_of(d.fan[k], suffix)));
    *text += "\n";
    return 0;
}

static int fake_read(const char* path, char* text, int size)
{
    int k;
    std::string name, shown;
    const FakeFile* f = file_of(path, &k, &name);
    if (f == nullptr)
        return fail(ENOENT);
    if (current->busy.count(name))
        return fail(EIO);
    if (int error = show(*current, f->suffix, k, &shown))
        return fail(error);
    snprintf(text, size_t(size), "%s", shown.c_str());
    return int(strlen(text));
}

// As the kernel's kstrtol: a sign, digits and at most one line end.
static bool parse(const char* text, long* value)
{
    const char* digits = text + (*text == '+' || *text == '-');
    if (!isdigit(static_cast<unsigned char>(*digits)))
        return false;
    char* end;
    errno = 0;
    *value = strtol(text, &end, 10);
    return errno == 0 && (strcmp(end, "") == 0 || strcmp(end, "\n") == 0);
}

// applesmc takes no sign (kstrtoul) and speeds of 14 bits, the key's whole
// part; fanN_manual sets or clears the fan's bit of the shared key.
static int store_applesmc(FakeDriver& d, const std::string& suffix, int k, long v)
{
    if (v < 0 || (suffix == "manual" && !d.manualKey) || (suffix != "manual" && v >= 16384))
        return EINVAL;
    if (suffix == "manual")
        d.manualBits = uint16_t(v != 0 ? d.manualBits | 1 << k : d.manualBits & ~(1 << k));
    else
        speed_of(d.fan[k], suffix) = double(v);
    return 0;
}

// macsmc_hwmon: a speed within the fan's range forces it, 0 hands it back.
static int store_macsmc(FakeDriver& d, int k, long v)
{
    FakeFan& f = d.fan[k];
    if (v != 0 && (v < f.minimum || v > f.maximum))
        return EINVAL;
    d.manual[k] = v != 0;
    if (v != 0)
        f.target = double(v);
    return 0;
}

static int fake_write(const char* path, const char* text)
{
    FakeDriver& d = *current;
    int k;
    std::string name;
    const FakeFile* f = file_of(path, &k, &name);
    if (f == nullptr)
        return fail(ENOENT);
    d.log += name + "=" + text;
    if (!f->writable || (d.kind == Driver::kMacsmc && !d.fanControl))
        return fail(EACCES);
    long v;
    if (d.busy.count(name))
        return fail(EIO);
    if (!parse(text, &v))
        return fail(EINVAL);
    int error = d.kind == Driver::kApplesmc ? store_applesmc(d, f->suffix, k, v) : store_macsmc(d, k, v);
    return error != 0 ? fail(error) : 0;
}

static void put(const fs::path& file, const std::string& text)
{
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

static void put_fan_files(const FakeDriver& d, const fs::path& dir)
{
    for (int n = 1; n <= d.fans; n++)
        for (const FakeFile& f : kFiles)
            if (f.driver == d.kind)
                put(dir / ("fan" + std::to_string(n) + "_" + f.suffix), "");
}

FakeDriver::FakeDriver(Driver kind, int fans)
    : kind(kind)
    , fans(fans)
    , root(fs::temp_directory_path() / ("tolvane-sysfs-" + std::to_string(getpid())))
    , applesmcDir(root + "/devices/platform/applesmc.768")
    , hwmonDir(root + "/class/hwmon")
{
    put(hwmonDir + "/hwmon0/name", "nct6775\n");
    put(hwmonDir + "/hwmon0/fan1_input", "900\n");
    if (kind == Driver::kApplesmc) {
        put_fan_files(*this, applesmcDir);
        put(applesmcDir + "/hwmon/hwmon2/name", "applesmc\n");
    } else if (kind == Driver::kMacsmc) {
        put_fan_files(*this, hwmonDir + "/hwmon1");
        put(hwmonDir + "/hwmon1/name", "macsmc_hwmon\n");
    }
    current = this;
    realRead = sysfsRead, realWrite = sysfsWrite;
    sysfsRead = fake_read, sysfsWrite = fake_write;
    sysfsRoot = applesmcDir.c_str(), hwmonRoot = hwmonDir.c_str();
    smc = 0, forced = 0, haveOriginal = false, fanCount = 0;
    opened = smc_open();
    if (opened)
        detect_fans();
}

FakeDriver::~FakeDriver()
{
    sysfsRead = realRead, sysfsWrite = realWrite;
    current = nullptr;
    fs::remove_all(root);
}

int FakeDriver::manual_fans() const
{
    return kind == Driver::kApplesmc ? manualBits : int(manual[0]) | int(manual[1]) << 1;
}

std::string FakeDriver::writes()
{
    std::string w;
    w.swap(log);
    return w;
}
