// The command line of both real binaries: the mode it chooses, its output and status.
#include "program_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

std::string text_of(const std::string& path)
{
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

TEST(CommandLine, ChoosesTheModeAndEndsWithItsOutputAndStatus)
{
    TempDir dir;
    const std::string helper = TOLVANE_FANS_BIN, sim = TOLVANE_FANS_SIM_BIN;   // no SMC here for the first
    const std::string s = dir.file("s"), unbindable = dir.file("no/such/sock");   // the service exits 1
    const std::string fresh = "ok fans=2 forced=0 F0=1200,1200,6000,1200,0 F1=1300,1300,6500,1300,0\n";
    const std::string usage = "usage: " + sim + " --serve --owner <uid> [--socket path] | --status\n";
    struct { std::vector<std::string> args; int status; std::string out, err; } rows[] = {
        {{helper}, 2, "", "no SMC\n"}, {{helper, "--status"}, 2, "", "no SMC\n"},
        {{helper, "--serve", "--owner", "0", "--socket", s}, 2, "", "no SMC\n"},
        {{sim, "--status"}, 0, fresh, ""}, {{sim, "--serve", "--status", "--owner", "501", "--socket", s}, 0, fresh, ""},
        {{sim}, 64, "", usage}, {{sim, "--serve"}, 64, "", usage}, {{sim, "--serve", "--owner", "-1"}, 64, "", usage},
        {{sim, "--serve", "--owner"}, 64, "", usage},   // a last --owner has no value
        {{sim, "--owner", "--serve"}, 64, "", usage},   // --serve is the owner's value
        {{sim, "--serve", "--owner", "501", "--owner", "-7"}, 64, "", usage},
        {{sim, "--owner", "501", "--serve", "--socket", unbindable}, 1, "", ""},
        {{sim, "--serve", "--owner", "nobody", "--socket", unbindable}, 1, "", ""},   // reads as 0
        {{sim, "--serve", "-x", "--socket", s, "--owner", "501", "--socket", unbindable}, 1, "", ""}};
    for (const auto& row : rows) {
        SCOPED_TRACE("row " + std::to_string(&row - rows));
        EXPECT_EQ(wait_exit(start_program(row.args, dir.file("out"), dir.file("err"))), row.status);
        EXPECT_EQ(text_of(dir.file("out")), row.out);
        EXPECT_EQ(text_of(dir.file("err")), row.err);
        EXPECT_NE(access(s.c_str(), F_OK), 0);
    }
}

}  // namespace
