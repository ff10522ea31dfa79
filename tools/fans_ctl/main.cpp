// tolvane-fans-ctl: a person's client of the fan helper's socket. It speaks the
// helper's protocol and nothing else: one request per connection.
#include "hold.h"
#include "request.h"

#include <getopt.h>
#include <sysexits.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

static const char kUsage[] = "usage: tolvane-fans-ctl [--socket path] [--every seconds] "
                             "status | hello | ping | auto | set rpm | hold rpm\n";
static const char kHelp[] = "  status, hello, ping, auto   send that request and print the reply\n"
                            "  set rpm                     force every fan to rpm (the helper hands them back\n"
                            "                              after 61 s without a request)\n"
                            "  hold rpm                    force them and keep them forced until SIGINT,\n"
                            "                              SIGTERM or SIGHUP, then hand them back\n"
                            "  --socket path               the helper's socket (/var/run/com.tolvane.fans.sock)\n"
                            "  --every seconds             how often hold reminds the helper (20; 1 to 50)\n"
                            "See tolvane-fans-ctl(1).\n";

struct Options {
    const char* socketPath = "/var/run/com.tolvane.fans.sock";
    int everySeconds = 20;
    bool help = false;
    bool valid = true;
};

static int parse_every(const char* text)  // 0 unless a whole number of seconds in range
{
    char* end;
    long seconds = strtol(text, &end, 10);
    return *end == '\0' && seconds >= 1 && seconds <= kMaxEverySeconds ? int(seconds) : 0;
}

// Options come before the command.
static Options scan_options(int argc, char** argv)
{
    static const option longOptions[] = {{"socket", required_argument, nullptr, 's'},
        {"every", required_argument, nullptr, 'e'}, {"help", no_argument, nullptr, 'h'}, {nullptr, 0, nullptr, 0}};
    Options o;
    opterr = 0;  // the usage line says it all
    for (int c; (c = getopt_long(argc, argv, "+", longOptions, nullptr)) != -1;) {
        if (c == 's')
            o.socketPath = optarg;
        else if (c == 'e')
            o.valid = o.valid && (o.everySeconds = parse_every(optarg)) > 0;
        else if (c == 'h')
            o.help = true;
        else
            o.valid = false;
    }
    return o;
}

static bool is_one_of(const char* word, std::initializer_list<const char*> words)
{
    for (const char* w : words)
        if (strcmp(word, w) == 0)
            return true;
    return false;
}

// The request the command asks for; false for a faulty command.
static bool command_request(int count, char** args, char (&request)[kRequestSize])
{
    if (count == 1 && is_one_of(args[0], {"status", "hello", "ping", "auto"}))
        return snprintf(request, sizeof request, "%s\n", args[0]) > 0;
    if (count == 2 && is_one_of(args[0], {"set", "hold"}))
        return snprintf(request, sizeof request, "set %s\n", args[1]) < int(sizeof request);
    return false;
}

int main(int argc, char** argv)
{
    Options o = scan_options(argc, argv);
    if (o.help) {
        fputs(kUsage, stdout);
        fputs(kHelp, stdout);
        return 0;
    }
    char request[kRequestSize];
    if (!o.valid || !command_request(argc - optind, argv + optind, request)) {
        fputs(kUsage, stderr);
        return EX_USAGE;
    }
    signal(SIGPIPE, SIG_IGN);  // a helper that closed first shows in send's result instead
    if (strcmp(argv[optind], "hold") == 0)
        return hold(o.socketPath, request, o.everySeconds);
    char reply[kReplySize];
    return fans_request(o.socketPath, request, reply);
}
