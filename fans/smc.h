// SMC key access: the 80-byte record exchanged with the controller, key codes,
// and the three key operations the fan logic is built from.
#pragma once

#include <cstddef>
#include <cstdint>

struct SmcRecord {
    uint32_t key;  // key code of the key addressed
    uint8_t reserved0[24];
    uint32_t dataSize;  // key info reply: the key's size; read/write request: bytes to move
    uint32_t dataType;  // key code of the key's data type (key info reply)
    uint8_t reserved1[4];
    uint8_t result;  // 0 is success
    uint8_t reserved2;
    uint8_t command;  // sub-command, below
    uint8_t reserved3[5];
    uint8_t bytes[32];  // the data, from bytes[0]
};
static_assert(sizeof(SmcRecord) == 80);
static_assert(offsetof(SmcRecord, dataSize) == 28 && offsetof(SmcRecord, dataType) == 32);
static_assert(offsetof(SmcRecord, result) == 40 && offsetof(SmcRecord, command) == 42);
static_assert(offsetof(SmcRecord, bytes) == 48);

enum : uint8_t {
    kSmcCmdRead = 5,
    kSmcCmdWrite = 6,
    kSmcCmdKeyInfo = 9,
};

// Four characters packed first-most-significant: "FNum" is 0x464E756D.
uint32_t key_code(const char* name);

struct SmcKeyInfo {
    bool ok;  // exchange succeeded, result 0 and size 1..32
    uint32_t size;
    uint32_t type;  // key code of the data type
};

SmcKeyInfo smc_key_info(const char* name);
float read_float(const char* name);                                   // -1.0 on failure
int write_key(const char* name, const uint8_t* data, uint32_t size);  // 0 or -1
