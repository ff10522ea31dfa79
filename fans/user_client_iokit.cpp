// macOS: the AppleSMC user client. Its struct method 2 takes one 80-byte
// record in and gives one back.
#include <IOKit/IOKitLib.h>
#include <fcntl.h>
#include <mach/mach.h>
#include <sys/file.h>
#include <unistd.h>

#include "smc.h"
#include "user_client.h"

uint32_t smc;

bool smc_open()
{
    if (smc != 0)
        return true;
    CFMutableDictionaryRef matching = IOServiceMatching("AppleSMC");
    // The lookup consumes the matching dictionary.
    io_service_t service = IOServiceGetMatchingService(kIOMainPortDefault, matching);
    if (service == 0)
        return false;
    // Opened into a local first, so that a refused open cannot leave smc set.
    io_connect_t connection = 0;
    kern_return_t kr = IOServiceOpen(service, mach_task_self_, 0, &connection);
    IOObjectRelease(service);
    if (kr != KERN_SUCCESS)
        return false;
    smc = connection;
    return true;
}

// The machine has one AppleSMC, which any number of clients may open: the
// claim is a lock on a file of root's, which the kernel drops with the process.
bool smc_claim()
{
    int fd = open("/var/run/com.tolvane.fans.lock", O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0)
        return true;  // the descriptor stays open while the process lives
    if (fd >= 0)
        close(fd);
    return false;
}

int smc_call(const SmcRecord* request, SmcRecord* reply)
{
    size_t outSize = sizeof *reply;
    return IOConnectCallStructMethod(smc, 2, request, sizeof *request, reply, &outSize);
}
