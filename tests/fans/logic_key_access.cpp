// The record exchanged with the controller and the three key operations.
#include <gtest/gtest.h>

#include <cstring>

#include "scripted_controller.h"

using Log = std::vector<std::string>;

TEST(KeyCode, PacksFirstCharacterMostSignificant)
{
    EXPECT_EQ(key_code("FNum"), 0x464E756Du);
    EXPECT_EQ(key_code("Ftst"), 0x46747374u);
    EXPECT_EQ(key_code("fpe2"), 0x66706532u);
    EXPECT_EQ(key_code("flt "), 0x666C7420u);
    EXPECT_EQ(key_code("ui8 "), 0x75693820u);
    EXPECT_EQ(key_code("ui16"), 0x75693136u);
    EXPECT_EQ(key_code("F0Ac and more"), key_code("F0Ac"));
}

TEST(ReadFloat, SendsKeyInfoThenReadInZeroFilledRecords)
{
    script_reset();
    script_ui8("FNum", 2);
    EXPECT_EQ(read_float("FNum"), 2.0f);
    EXPECT_EQ(script_log(), (Log{"info FNum", "read FNum"}));
    SmcRecord info{}, read{};
    info.key = read.key = key_code("FNum");
    info.command = kSmcCmdKeyInfo;
    read.command = kSmcCmdRead;
    read.dataSize = 1;
    EXPECT_EQ(memcmp(&script_requests()[0], &info, sizeof info), 0);
    EXPECT_EQ(memcmp(&script_requests()[1], &read, sizeof read), 0);
}

TEST(ReadFloat, DecodesEachDataType)
{
    struct { const char* type; uint32_t size; std::vector<uint8_t> bytes; float value; } cases[] = {
        {"fpe2", 2, {0x5D, 0xC0}, 6000.0f},
        {"fpe2", 2, {0xFF, 0xFF}, 16383.75f},
        {"ui16", 2, {0x17, 0x70}, 6000.0f},
        {"ui8 ", 1, {0x01}, 1.0f},
        {"flt ", 4, {0x00, 0x00, 0x80, 0x3F}, 1.0f},
        {"flt ", 4, {0x00, 0x00, 0xA0, 0xC0}, -5.0f},  // indistinguishable from a failure
        {"sp78", 2, {0x30, 0x00}, 0.0f},               // unknown types read as 0
    };
    for (const auto& c : cases) {
        script_reset();
        script_key("TEST", c.type, c.size, c.bytes);
        EXPECT_EQ(read_float("TEST"), c.value) << c.type;
    }
}

TEST(ReadFloat, FailsWithoutReadWhenKeyInfoIsNotOk)
{
    script_reset();
    script_key("ZERO", "ui8 ", 0, {1});
    script_key("HUGE", "ui8 ", 33, {1});
    script_ui8("REFU", 1);
    script_refuse("info REFU");
    script_ui8("BRKN", 1);
    script_break("info BRKN");
    for (const char* key : {"ZERO", "HUGE", "REFU", "BRKN", "NONE"}) {
        EXPECT_EQ(read_float(key), -1.0f) << key;
        EXPECT_EQ(script_log().back(), std::string("info ") + key);
    }
}

TEST(ReadFloat, FailsWhenTheReadFails)
{
    script_reset();
    script_ui8("REFU", 1);
    script_refuse("read REFU");
    script_ui8("BRKN", 1);
    script_break("read BRKN");
    EXPECT_EQ(read_float("REFU"), -1.0f);
    EXPECT_EQ(read_float("BRKN"), -1.0f);
}

TEST(WriteKey, SendsExactlyTheDataBytesAndNothingElse)
{
    script_reset();
    script_key("F0Tg", "fpe2", 2, {0, 0});
    const uint8_t data[2] = {0x5D, 0xC0};
    EXPECT_EQ(write_key("F0Tg", data, 2), 0);
    EXPECT_EQ(script_log(), (Log{"info F0Tg", "write F0Tg 5dc0"}));
    SmcRecord write{};
    write.key = key_code("F0Tg");
    write.command = kSmcCmdWrite;
    write.dataSize = 2;
    memcpy(write.bytes, data, 2);
    EXPECT_EQ(memcmp(&script_requests()[1], &write, sizeof write), 0);
}

TEST(WriteKey, SendsNoWriteWhenTheSizeDiffersOrKeyInfoIsNotOk)
{
    script_reset();
    script_key("TWO ", "ui16", 2, {0, 0});
    script_key("HUGE", "ui8 ", 33, {});
    const uint8_t data[33] = {1};
    EXPECT_EQ(write_key("TWO ", data, 1), -1);
    EXPECT_EQ(write_key("HUGE", data, 33), -1);
    EXPECT_EQ(write_key("NONE", data, 1), -1);
    EXPECT_EQ(script_log(), (Log{"info TWO ", "info HUGE", "info NONE"}));
}

TEST(WriteKey, FailsWhenTheWriteIsRefusedOrBroken)
{
    script_reset();
    script_ui8("REFU", 0);
    script_refuse("write REFU");
    script_ui8("BRKN", 0);
    script_break("write BRKN");
    const uint8_t one = 1;
    EXPECT_EQ(write_key("REFU", &one, 1), -1);
    EXPECT_EQ(write_key("BRKN", &one, 1), -1);
}
