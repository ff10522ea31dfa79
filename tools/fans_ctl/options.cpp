#include "options.h"

#include "follow_config.h"
#include "request.h"

#include <getopt.h>
#include <sysexits.h>

#include <cstdio>

static const char kHelp[] = "  status, hello, ping, auto   send that request and print the reply\n"
                            "  set rpm                     force every fan to rpm (the helper hands them back\n"
                            "                              after 61 s without a request)\n"
                            "  hold rpm                    force them and keep them forced until SIGINT,\n"
                            "                              SIGTERM or SIGHUP, then hand them back\n"
                            "  sensors                     list the temperature inputs and their values\n"
                            "  follow                      keep the fans on a curve of the hottest sensor's\n"
                            "                              temperature until SIGINT, SIGTERM or SIGHUP\n"
                            "  --socket path               the helper's socket (/var/run/com.tolvane.fans.sock)\n"
                            "  --every seconds             how often hold reminds the helper (20), follow reads\n"
                            "                              the sensors (2); 1 to 50\n"
                            "  --sensor name[+-offset]     a sensor to follow (a shell pattern; repeatable)\n"
                            "  --curve points              TEMP:RPM points, such as 55:2000,70:3500,85:6000\n"
                            "  --hysteresis C              how far it cools before the speed falls (3)\n"
                            "  --step rpm                  the smallest change asked for (100)\n"
                            "  --config path               the settings (/etc/tolvane/fans-follow.toml)\n"
                            "  --check                     show the curve and what it would do now, and stop\n"
                            "See tolvane-fans-ctl(1).\n";

Options scan_options(int argc, char** argv)
{
    static const option longOptions[] = {{"socket", required_argument, nullptr, 's'},
        {"every", required_argument, nullptr, 'e'}, {"help", no_argument, nullptr, 'h'},
        {"sensor", required_argument, nullptr, 'n'}, {"curve", required_argument, nullptr, 'c'},
        {"hysteresis", required_argument, nullptr, 'y'}, {"step", required_argument, nullptr, 't'},
        {"config", required_argument, nullptr, 'f'}, {"check", no_argument, nullptr, 'k'}, {}};
    Options o;
    double every;
    opterr = 0;  // the usage line says it all
    for (int c; (c = getopt_long(argc, argv, "+", longOptions, nullptr)) != -1;) {
        o.following = o.following || (c != 's' && c != 'e' && c != 'h');
        if (c == 's')
            o.socketPath = optarg;
        else if (c == 'e')
            o.valid = o.valid && parse_limited(kEvery, optarg, every) && (o.everySeconds = int(every));
        else if (c == 'h')
            o.help = true;
        else if (c == 'n')
            o.sensors.push_back(optarg);
        else if (c == 'c')
            o.curve = optarg;
        else if (c == 'y')
            o.valid = o.valid && parse_limited(kHysteresis, optarg, o.hysteresis.emplace());
        else if (c == 't')
            o.valid = o.valid && parse_limited(kStep, optarg, o.step.emplace());
        else if (c == 'f')
            o.configPath = optarg;
        else if (c == 'k')
            o.check = true;
        else
            o.valid = false;
    }
    return o;
}

void print_help()
{
    fputs(kUsage, stdout);
    fputs(kHelp, stdout);
}

int usage_fault(const std::string& fault, const char* usage)
{
    warn("%s", fault.c_str());
    fputs(usage, stderr);
    return EX_USAGE;
}
