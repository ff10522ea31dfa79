// The bridge in a child process: tolvane-media-host loads a link to the
// built library from a temporary folder, next to a link to one variant of
// the scripted framework, which answers from the folder's script.
#pragma once

#include "child.h"

#include <nlohmann/json.hpp>

#include <filesystem>

using nlohmann::json;

struct BridgeProcess {
    // variant: "full", "without_pid", "without_seek", "without_names",
    // "silent", or "" for no framework at all.
    explicit BridgeProcess(const std::string& variant, const json& script = {{"pid", 42}, {"playing", true}});
    ~BridgeProcess();

    std::filesystem::path folder;
    Child child;
};

void write_script(const std::filesystem::path& folder, const json& script);
std::vector<std::string> log_of(const BridgeProcess& bridge);
// The next now-playing record, passing over the ready record.
std::optional<json> next_record(BridgeProcess& bridge, std::chrono::milliseconds limit = std::chrono::seconds(10));
