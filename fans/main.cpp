// tolvane-fans: prints the fans' status once, or serves the control socket.
#include "fan_control.h"
#include "service.h"
#include "user_client.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

static const int kUsageStatus = 64;

struct Options {
    bool serve = false;
    bool status = false;
    int64_t owner = -1;
    const char* socketPath = "/var/run/com.tolvane.fans.sock";
};

// Unknown arguments are ignored; an option given twice keeps its last value.
static Options scan_options(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (strcmp(arg, "--serve") == 0)
            o.serve = true;
        else if (strcmp(arg, "--status") == 0)
            o.status = true;
        else if (strcmp(arg, "--owner") == 0 && i + 1 < argc)
            o.owner = strtol(argv[++i], nullptr, 10);
        else if (strcmp(arg, "--socket") == 0 && i + 1 < argc)
            o.socketPath = argv[++i];
    }
    return o;
}

static int print_status()
{
    char line[kStatusSize];
    status_line(line);
    fputs(line, stdout);
    return 0;
}

// A second helper would hand the first one's fans back and take its socket
// over, and both would then report states that are not so: it must touch
// neither, so the claim comes first.
static int serve_alone(const char* path, int64_t owner)
{
    if (!smc_claim()) {
        fputs("tolvane-fans: another helper already serves this SMC; not starting\n", stderr);
        return 1;
    }
    return serve(path, owner);
}

int main(int argc, char** argv)
{
    Options o = scan_options(argc, argv);

    // Every mode needs the controller, a faulty command line included.
    if (!smc_open()) {
        fputs("no SMC\n", stderr);
        return 2;
    }
    detect_fans();

    if (o.status)
        return print_status();
    if (o.serve && o.owner >= 0)
        return serve_alone(o.socketPath, o.owner);
    fprintf(stderr, "usage: %s --serve --owner <uid> [--socket path] | --status\n", argv[0]);
    return kUsageStatus;
}
