// The record exchanged with the controller and the three key operations.
#include <gtest/gtest.h>

#include "scripted_controller.h"

using Log = std::vector<std::string>;

TEST(KeyCode, PacksTheFirstFourCharactersFirstMostSignificant)
{
    struct { const char* name; uint32_t code; } rows[] = {{"FNum", 0x464E756D}, {"Ftst", 0x46747374},
        {"fpe2", 0x66706532}, {"flt ", 0x666C7420}, {"ui8 ", 0x75693820}, {"ui16", 0x75693136}, {"F0Acxy", 0x46304163}};
    for (const auto& row : rows)
        EXPECT_EQ(key_code(row.name), row.code) << row.name;
}

TEST(ReadFloat, DecodesByTypeAndReadsMinusOneOnAnyFailure)
{
    struct { ScriptedKey key; std::map<std::string, Fault> faults; float value; Log log; } rows[] = {
        {{"fpe2", 2, {0x5D, 0xC0}}, {}, 6000, {"info TEST", "read TEST"}},
        {{"fpe2", 2, {0xFF, 0xFF}}, {}, 16383.75f, {"info TEST", "read TEST"}},
        {{"ui16", 2, {0x17, 0x70}}, {}, 6000, {"info TEST", "read TEST"}},
        {{"ui8 ", 1, {0x01}}, {}, 1, {"info TEST", "read TEST"}},
        {{"flt ", 4, {0x00, 0x00, 0x80, 0x3F}}, {}, 1, {"info TEST", "read TEST"}},
        {{"flt ", 4, {0x00, 0x00, 0xA0, 0xC0}}, {}, -5, {"info TEST", "read TEST"}},   // looks like a failure
        {{"sp78", 2, {0x30, 0x00}}, {}, 0, {"info TEST", "read TEST"}},                // types we do not know
        {{"ui8 ", 0, {0x01}}, {}, -1, {"info TEST"}},
        {{"ui8 ", 33, {0x01}}, {}, -1, {"info TEST"}},
        {{"ui8 ", 1, {0x01}}, {{"info TEST", kRefused}}, -1, {"info TEST"}},
        {{"ui8 ", 1, {0x01}}, {{"info TEST", kBroken}}, -1, {"info TEST"}},
        {{"ui8 ", 1, {0x01}}, {{"read TEST", kRefused}}, -1, {"info TEST", "read TEST"}},
        {{"ui8 ", 1, {0x01}}, {{"read TEST", kBroken}}, -1, {"info TEST", "read TEST"}}};
    for (const auto& row : rows) {
        SCOPED_TRACE("row " + std::to_string(&row - rows));
        script({{"TEST", row.key}}, row.faults);
        EXPECT_EQ(read_float("TEST"), row.value);
        EXPECT_EQ(exchanges, row.log);
    }
}
