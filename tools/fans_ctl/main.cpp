// tolvane-fans-ctl: a person's client of the fan helper's socket. It speaks the
// helper's protocol and nothing else: one request per connection.
#include "follow.h"
#include "hold.h"
#include "options.h"
#include "request.h"
#include "sensors.h"

#include <sysexits.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <initializer_list>

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
        return snprintf(request, sizeof request, "%s\n", args[0]), true;
    if (count == 2 && is_one_of(args[0], {"set", "hold"}))
        return snprintf(request, sizeof request, "set %s\n", args[1]) < int(sizeof request);
    return false;
}

static int run_follow(const Options& o)
{
    FollowSetup setup;
    int status;
    if (!configure_follow(o, setup, status))
        return status;
    return o.check ? check_follow(setup) : follow(o.socketPath, setup);
}

int main(int argc, char** argv)
{
    Options o = scan_options(argc, argv);
    if (o.help) {
        print_help();
        return 0;
    }
    signal(SIGPIPE, SIG_IGN);  // a helper that closed first shows in send's result instead
    const char* command = optind < argc ? argv[optind] : "";
    if (argc - optind == 1 && is_one_of(command, {"follow", "sensors"})) {
        if (!o.valid || (strcmp(command, "sensors") == 0 && (o.following || o.everySeconds)))
            return fputs(kFollowUsage, stderr), EX_USAGE;
        return strcmp(command, "sensors") == 0 ? print_sensors() : run_follow(o);
    }
    char request[kRequestSize];
    if (!o.valid || o.following || !command_request(argc - optind, argv + optind, request)) {
        fputs(kUsage, stderr);
        return EX_USAGE;
    }
    if (strcmp(command, "hold") == 0)
        return hold(o.socketPath, request, o.everySeconds ? o.everySeconds : 20);
    char reply[kReplySize];
    return fans_request(o.socketPath, request, reply);
}
