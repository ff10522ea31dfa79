#include "apple/info_values.h"

#import <Foundation/Foundation.h>

#include <cstdint>
#include <cstring>
#include <limits>

// UTF-8 always: what it cannot hold (a lone surrogate) is replaced rather
// than losing the whole text.
static std::string text_of(NSString* string)
{
    NSData* bytes = [string dataUsingEncoding:NSUTF8StringEncoding allowLossyConversion:YES];
    return std::string(static_cast<const char*>([bytes bytes]), [bytes length]);
}

// A boolean number has a class of its own; where the runtime shares one
// class, the bool type code still tells it.
static bool is_boolean(NSNumber* number)
{
    static Class booleans = [[NSNumber numberWithBool:YES] class];
    static Class integers = [[NSNumber numberWithInt:1] class];
    return (booleans != integers && [number isKindOfClass:booleans]) || std::strcmp([number objCType], "B") == 0;
}

static bool is_fraction(NSNumber* number)
{
    const char* type = [number objCType];
    return std::strcmp(type, @encode(double)) == 0 || std::strcmp(type, @encode(float)) == 0;
}

// An unsigned value beyond the signed range keeps its magnitude as a double.
static MRValue number_of(NSNumber* number)
{
    if (is_boolean(number))
        return static_cast<bool>([number boolValue]);
    if (is_fraction(number))
        return [number doubleValue];
    const char* type = [number objCType];
    bool isUnsigned =
        std::strcmp(type, @encode(unsigned long long)) == 0 || std::strcmp(type, @encode(unsigned long)) == 0;
    if (isUnsigned &&
        [number unsignedLongLongValue] > static_cast<unsigned long long>(std::numeric_limits<std::int64_t>::max()))
        return [number doubleValue];
    return static_cast<std::int64_t>([number longLongValue]);
}

static MRValue data_of(NSData* data)
{
    const auto* bytes = static_cast<const std::uint8_t*>([data bytes]);
    return MRData{std::make_shared<const std::vector<std::uint8_t>>(bytes, bytes + [data length])};
}

static MRValue value_of(id value)
{
    if ([value isKindOfClass:[NSString class]])
        return text_of(value);
    if ([value isKindOfClass:[NSNumber class]])
        return number_of(value);
    if ([value isKindOfClass:[NSDate class]])
        return MRDate{[value timeIntervalSince1970]};
    if ([value isKindOfClass:[NSData class]])
        return data_of(value);
    return MRObject{text_of([value description])};
}

MRInfo info_values(NSDictionary* information)
{
    if (!information)
        return nullptr;
    auto values = std::make_shared<MRInfoDictionary>();
    for (id key in information)
        if ([key isKindOfClass:[NSString class]])
            values->emplace(text_of(key), value_of([information objectForKey:key]));
    return values;
}
