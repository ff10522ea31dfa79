// The simulated controller behind tolvane-fans-sim.
#include "smc.h"
#include "user_client.h"

#include <gtest/gtest.h>

TEST(SimulatedController, WritesOnlyTheSwitchesAndTargets)
{
    ASSERT_TRUE(smc_open());
    const uint8_t zeros[4] = {};
    struct { const char* key; uint32_t size; int result; } rows[] = {{"FNum", 1, -1}, {"Ftst", 1, 0},
        {"F0Md", 1, 0}, {"F1Ac", 4, -1}, {"F1Mn", 4, -1}, {"F1Mx", 4, -1}, {"F1Tg", 4, 0}, {"F2Tg", 4, -1}};
    for (const auto& row : rows)
        EXPECT_EQ(write_key(row.key, zeros, row.size), row.result) << row.key;
}
