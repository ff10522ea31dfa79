// A powered-up simulated controller in automatic mode, and a clock the test sets.
#pragma once

#include "clock.h"
#include "fan_control.h"
#include "program_support.h"
#include "protocol.h"
#include "smc.h"
#include "user_client.h"

#include <gtest/gtest.h>

struct SimFans : testing::Test {
    TempDir dir;

    void SetUp() override
    {
        ASSERT_TRUE(smc_open());
        detect_fans();
        restore_auto();
        lastContact = 0;
        fakeNow = 1000;
        now_seconds = fake_seconds;
    }
    void TearDown() override { now_seconds = monotonic_seconds; }
};
