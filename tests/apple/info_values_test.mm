// The information dictionary as the bridge reads it, from real Foundation objects (GNUstep on Linux).
#include "apple/info_values.h"

#import <Foundation/Foundation.h>

#include <gtest/gtest.h>

// Values and keys are the framework's; without a pool the runtime would leak every temporary or complain.
struct InfoValues : testing::Test {
    NSAutoreleasePool* pool = [[NSAutoreleasePool alloc] init];
    ~InfoValues() override { [pool drain]; }

    static MRInfo convert(id value) { return info_values([NSDictionary dictionaryWithObject:value forKey:@"k"]); }
    template <typename T> static T as(id value)
    {
        MRInfo info = convert(value);
        EXPECT_TRUE(info && info->count("k"));
        const T* found = std::get_if<T>(&info->at("k"));
        EXPECT_NE(found, nullptr) << "wrong kind of value";
        return found ? *found : T{};
    }
};

TEST_F(InfoValues, KeepsEachKindApartDescribesAnyOtherObjectAndLeavesOutKeysThatAreNotText)
{
    EXPECT_EQ(as<std::string>(@"Kind of Blue ♪"), "Kind of Blue ♪");
    EXPECT_EQ(as<std::int64_t>([NSNumber numberWithInt:215]), 215);
    EXPECT_EQ(as<std::int64_t>([NSNumber numberWithLongLong:-9007199254740993LL]), -9007199254740993LL);
    EXPECT_EQ(as<double>([NSNumber numberWithDouble:215.04]), 215.04);
    EXPECT_EQ(as<double>([NSNumber numberWithFloat:0.5f]), 0.5);
    EXPECT_EQ(as<double>([NSNumber numberWithUnsignedLongLong:18446744073709551615ULL]), 18446744073709551615.0);
    EXPECT_EQ(as<bool>([NSNumber numberWithBool:YES]), true);
    EXPECT_EQ(as<bool>([NSNumber numberWithBool:NO]), false);
    EXPECT_EQ(as<MRDate>([NSDate dateWithTimeIntervalSince1970:1700000000.125]).sinceEpoch, 1700000000.125);
    const std::uint8_t bytes[] = {0x89, 'P', 'N', 'G', 0};
    MRData data = as<MRData>([NSData dataWithBytes:bytes length:sizeof bytes]);
    ASSERT_TRUE(data.bytes);
    EXPECT_EQ(*data.bytes, std::vector<std::uint8_t>(bytes, bytes + sizeof bytes));
    EXPECT_TRUE(as<MRData>([NSData data]).bytes->empty());
    NSArray* list = [NSArray arrayWithObjects:@"a", @"b", nil];
    EXPECT_EQ(as<MRObject>(list).description, std::string([[list description] UTF8String]));
    NSDictionary* mixed =
        [NSDictionary dictionaryWithObjectsAndKeys:@"kept", @"text", @"dropped", [NSNumber numberWithInt:7], nil];
    MRInfo info = info_values(mixed);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->size(), 1u);
    EXPECT_EQ(std::get<std::string>(info->at("text")), "kept");
    EXPECT_EQ(info_values(nil), nullptr);
}
