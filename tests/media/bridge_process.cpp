#include "bridge_process.h"

#include <fstream>

namespace fs = std::filesystem;

static fs::path make_folder(const std::string& variant, const json& script)
{
    char pattern[] = "/tmp/bridge-process-XXXXXX";
    fs::path folder = mkdtemp(pattern);
    fs::create_symlink(MEDIA_LIBRARY, folder / "libTOLVANEMedia.so");
    if (!variant.empty())
        fs::create_symlink(fs::path(STUB_FOLDER) / variant / "libMediaRemote.so", folder / "libMediaRemote.so");
    write_script(folder, script);
    return folder;
}

BridgeProcess::BridgeProcess(const std::string& variant, const json& script)
    : folder(make_folder(variant, script)),
      child({MEDIA_HOST, folder / "libTOLVANEMedia.so"},
            {"STUB_SCRIPT=" + (folder / "script").string(), "STUB_LOG=" + (folder / "log").string()})
{
}

BridgeProcess::~BridgeProcess()
{
    fs::remove_all(folder);
}

// Replaced whole, so the framework never reads half a script.
void write_script(const fs::path& folder, const json& script)
{
    std::ofstream(folder / "script.new") << script;
    fs::rename(folder / "script.new", folder / "script");
}

std::vector<std::string> log_of(const BridgeProcess& bridge)
{
    std::ifstream file(bridge.folder / "log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

std::optional<json> next_record(BridgeProcess& bridge, std::chrono::milliseconds limit)
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (auto line = child_read_line(bridge.child, std::chrono::ceil<std::chrono::milliseconds>(
                                                         deadline - std::chrono::steady_clock::now()))) {
        json record = json::parse(*line);
        if (!record.contains("ready"))
            return record;
    }
    return std::nullopt;
}
