// The real framework's calling convention: its answers come on a dispatch
// queue, to blocks, the information as a CoreFoundation dictionary; its
// notification names are string objects stored at data symbols. Each bound
// function is wrapped in one taking the neutral types of media_remote.h.
#import <Foundation/Foundation.h>

#include <CoreFoundation/CoreFoundation.h>
#include <dispatch/dispatch.h>
#include <dlfcn.h>

#include "apple/info_values.h"
#include "framework.h"
#include "platform/dispatch_queue.h"

using RealGetInfo = void (*)(dispatch_queue_t queue, void (^completion)(CFDictionaryRef information));
using RealGetPID = void (*)(dispatch_queue_t queue, void (^completion)(int pid));
using RealGetPlaying = void (*)(dispatch_queue_t queue, void (^completion)(Boolean playing));
using RealSendCommand = Boolean (*)(uint32_t command, NSDictionary* options);
using RealSetElapsed = void (*)(double seconds);
using RealRegister = void (*)(dispatch_queue_t queue);

static RealGetInfo realGetInfo;
static RealGetPID realGetPID;
static RealGetPlaying realGetPlaying;
static RealSendCommand realSendCommand;
static RealSetElapsed realSetElapsed;
static RealRegister realRegister;

// The dictionary's temporary objects go with the conversion.
static void get_info(const platform::Queue& queue, const MRInfoCallback& callback)
{
    MRInfoCallback answer = callback;
    realGetInfo(platform::queue_dispatch(queue), ^(CFDictionaryRef information) {
        MRInfo info;
        @autoreleasepool {
            info = info_values((NSDictionary*)information);
        }
        answer(info);
    });
}

static void get_pid(const platform::Queue& queue, const MRPIDCallback& callback)
{
    MRPIDCallback answer = callback;
    realGetPID(platform::queue_dispatch(queue), ^(int pid) { answer(pid); });
}

static void get_playing(const platform::Queue& queue, const MRPlayingCallback& callback)
{
    MRPlayingCallback answer = callback;
    realGetPlaying(platform::queue_dispatch(queue), ^(Boolean playing) { answer(playing != 0); });
}

static bool send_command(std::uint32_t command, const void*)
{
    return realSendCommand(command, nil) != 0;
}

static void set_elapsed(double seconds)
{
    realSetElapsed(seconds);
}

static void register_for_notifications(const platform::Queue& queue)
{
    realRegister(platform::queue_dispatch(queue));
}

template <typename Fn> static Fn bind(void* framework, const char* name)
{
    return reinterpret_cast<Fn>(dlsym(framework, name));
}

MRRegisterForNowPlayingNotificationsFn framework_bind(void* framework)
{
    realGetInfo = bind<RealGetInfo>(framework, "MRMediaRemoteGetNowPlayingInfo");
    realGetPID = bind<RealGetPID>(framework, "MRMediaRemoteGetNowPlayingApplicationPID");
    realGetPlaying = bind<RealGetPlaying>(framework, "MRMediaRemoteGetNowPlayingApplicationIsPlaying");
    realSendCommand = bind<RealSendCommand>(framework, "MRMediaRemoteSendCommand");
    realSetElapsed = bind<RealSetElapsed>(framework, "MRMediaRemoteSetElapsedTime");
    realRegister = bind<RealRegister>(framework, "MRMediaRemoteRegisterForNowPlayingNotifications");
    getInfo = realGetInfo ? get_info : nullptr;
    getPID = realGetPID ? get_pid : nullptr;
    getPlaying = realGetPlaying ? get_playing : nullptr;
    sendCommand = realSendCommand ? send_command : nullptr;
    setElapsed = realSetElapsed ? set_elapsed : nullptr;
    return realRegister ? register_for_notifications : nullptr;
}

std::string framework_notification_name(void* framework, const char* symbol)
{
    auto stored = static_cast<NSString* const*>(dlsym(framework, symbol));
    const char* text = stored && *stored ? [*stored UTF8String] : nullptr;
    return text ? text : symbol;
}
