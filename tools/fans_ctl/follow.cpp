#include "follow.h"

#include "request.h"
#include "status_reply.h"
#include "stop_signals.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

// A reminder well inside the helper's 61 s watchdog, as hold's default.
static const int64_t kRemindMs = 20000;

int64_t (*followClock)() = monotonic_ms;
void (*followWait)(int64_t) = wait_for;

static const char* socketPath;
static Speed speed;                 // as decided; 0: handed back
static std::optional<int> sentRpm;  // as the helper last took it, if known
static int64_t lastContact;         // the last answered request
static bool helperLost, sensorLost;

static void print_speed(int rpm)
{
    if (rpm != 0)
        printf("%d rpm", rpm);
    else
        fputs("auto", stdout);
}

// One line a change, at once: the journal reads a pipe.
static void say_change(const Reading& reading, const char* why)
{
    if (reading.fault)
        printf("%s %s: ", reading.name.c_str(), reading.fault);
    else
        printf("%.1f °C %s: ", reading.celsius, reading.name.c_str());
    print_speed(speed.rpm);
    printf(" (%s)\n", why);
    fflush(stdout);
}

// Says once that the helper is gone (its first fault in full) and once that it is back.
static int ask(const char* request, char (&reply)[kReplySize])
{
    int status = fans_request(socketPath, request, reply, kQuietReply | (helperLost ? kQuietFaults : 0));
    if (status == 1 && !helperLost)  // a refusal such as "error smc", tried again each period as a fault is
        warn("the helper answered %.*s", int(strcspn(reply, "\n")), reply);
    if (status != 0 && !helperLost)
        warn("waiting for the helper; meanwhile the firmware runs the fans");
    else if (status == 0 && helperLost)
        warn("the helper is back");
    helperLost = status != 0;
    lastContact = status == 0 ? followClock() : lastContact;
    return status;
}

static void send_speed()
{
    char request[32], reply[kReplySize];
    if (speed.rpm != 0)
        snprintf(request, sizeof request, "set %d\n", speed.rpm);
    else
        snprintf(request, sizeof request, "auto\n");
    sentRpm = ask(request, reply) == 0 ? std::optional(speed.rpm) : std::nullopt;
}

// A status in time for the watchdog, which also shows whether the fans are still as set.
static void remind()
{
    char reply[kReplySize];
    if (ask("status\n", reply) != 0)
        sentRpm.reset();
    else if (!forced(reply))
        warn("the fans are no longer forced (the helper restarted?); setting them again"), send_speed();
    else if (let_go(reply))
        warn("a fan runs on its own again (after a suspend?); setting it again"), send_speed();
}

static const char* why(int before, const Reading& reading)
{
    return reading.fault     ? "handed back"
        : speed.rpm > before ? "rising"
        : speed.rpm == 0     ? "below the curve"
                             : "falling";
}

static void decide(const FollowSetup& s)
{
    Reading reading = read_chosen(s.sensors);
    if (reading.fault && !sensorLost)
        warn("sensor %s %s: handing the fans back", reading.name.c_str(), reading.fault);
    else if (!reading.fault && sensorLost)
        warn("sensor %s reads again: following it", reading.name.c_str());
    sensorLost = reading.fault;
    int before = speed.rpm;
    speed = reading.fault ? Speed{} : next_speed(s.curve, s.hysteresis, s.step, speed, reading.celsius);
    if (speed.rpm != before || (!sentRpm && !helperLost))
        say_change(reading, why(before, reading));
}

// From nothing known, however often it runs in a process.
int follow(const char* path, const FollowSetup& setup)
{
    socketPath = path, speed = {}, sentRpm.reset(), helperLost = sensorLost = false;
    catch_stop_signals();
    for (int64_t next = followClock(); !stop_requested(); followWait(next)) {
        decide(setup);
        if (speed.rpm != sentRpm)
            send_speed();
        else if (speed.rpm != 0 && followClock() - lastContact >= kRemindMs)
            remind();
        next = std::max(next + in_ms(setup.every), followClock());
    }
    char reply[kReplySize];
    return fans_request(path, "auto\n", reply, kQuietReply);
}

int check_follow(const FollowSetup& s)
{
    printf("    °C    rpm\n");
    for (const CurvePoint& point : s.curve)
        printf("%6.1f  %5d\n", point.celsius, point.rpm);
    printf("auto below %.1f °C; down after %.1f °C cooler; steps of %d rpm or more; every %d s\n",
        s.curve.front().celsius, s.hysteresis, s.step, s.every);
    std::vector<Sensor> sensors = find_sensors();
    for (const Chosen& chosen : s.sensors) {
        Reading one = hottest(sensors, {chosen});
        if (one.fault)
            printf("%s %s\n", one.name.c_str(), one.fault);
        else
            printf("%s: %.1f °C (%+.1f)\n", one.name.c_str(), one.celsius - chosen.offset, chosen.offset);
    }
    Reading reading = hottest(sensors, s.sensors);
    speed.rpm = reading.fault ? 0 : curve_rpm(s.curve, reading.celsius);
    printf("now: ");
    say_change(reading, reading.fault ? "handed back" : speed.rpm != 0 ? "on the curve" : "below the curve");
    return 0;
}
