// The bounded text helpers: results that fit, results cut at the buffer's
// end, and no byte written past it.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "text.h"

namespace {

// A buffer of size bytes followed by guard bytes that must stay untouched.
struct Guarded {
    char bytes[40];
    explicit Guarded(const char *initial = "")
    {
        memset(bytes, '#', sizeof bytes);
        strcpy(bytes, initial);
    }
    bool GuardIntact(unsigned size) const
    {
        for (unsigned i = size; i < sizeof bytes; ++i)
            if (bytes[i] != '#')
                return false;
        return true;
    }
};

struct Case {
    const char *name;
    const char *initial;
    const char *operand;
    unsigned size;
    int fits;
    const char *result;
};

TEST(TextHelpers, CopyAndAppendReportWhetherTheWholeTextFit)
{
    const Case copies[] = {
        {"shorter than the buffer", "", "abc", 8, 1, "abc"},
        {"exactly filling it with its NUL", "", "abcdefg", 8, 1, "abcdefg"},
        {"one byte too long", "", "abcdefgh", 8, 0, "abcdefg"},
        {"far too long", "", "abcdefghijklmnop", 4, 0, "abc"},
        {"empty", "", "", 1, 1, ""},
    };
    for (const Case &c : copies) {
        Guarded buffer;
        EXPECT_EQ(CopyText(buffer.bytes, c.size, c.operand), c.fits) << c.name;
        EXPECT_STREQ(buffer.bytes, c.result) << c.name;
        EXPECT_TRUE(buffer.GuardIntact(c.size)) << c.name << ": wrote past the buffer";
    }
    const Case appends[] = {
        {"fits", "ab", "cd", 8, 1, "abcd"},
        {"exactly fills", "abc", "defg", 8, 1, "abcdefg"},
        {"one byte too long", "abcd", "efgh", 8, 0, "abcdefg"},
        {"buffer already full", "abcdefg", "h", 8, 0, "abcdefg"},
    };
    for (const Case &c : appends) {
        Guarded buffer(c.initial);
        EXPECT_EQ(AppendText(buffer.bytes, c.size, c.operand), c.fits) << c.name;
        EXPECT_STREQ(buffer.bytes, c.result) << c.name;
        EXPECT_TRUE(buffer.GuardIntact(c.size)) << c.name << ": wrote past the buffer";
    }
}

TEST(TextHelpers, AppendRefusesADestinationWithoutTerminator)
{
    char unterminated[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(AppendText(unterminated, sizeof unterminated, "x"), 0);
    EXPECT_EQ(memcmp(unterminated, "abcd", 4), 0);
}

TEST(TextHelpers, FormatCutsAtTheBufferAndAlwaysTerminates)
{
    Guarded buffer;
    EXPECT_EQ(FormatText(buffer.bytes, 10, "%s=%d", "abc", 12345), 1); // 9 characters
    EXPECT_STREQ(buffer.bytes, "abc=12345");
    EXPECT_EQ(FormatText(buffer.bytes, 10, "%s=%d", "abc", 123456), 0); // 10 characters
    EXPECT_STREQ(buffer.bytes, "abc=12345");
    EXPECT_TRUE(buffer.GuardIntact(10));
    std::string longText(300, 'x');
    EXPECT_EQ(FormatText(buffer.bytes, 16, " %s => \n %s", longText.c_str(), "y"), 0);
    EXPECT_EQ(strlen(buffer.bytes), 15u);
    EXPECT_TRUE(buffer.GuardIntact(16));
}

TEST(TextHelpers, CountOfGivesTheArraySize)
{
    char path[128];
    char message[1024];
    EXPECT_EQ(COUNT_OF(path), 128u);
    EXPECT_EQ(COUNT_OF(message), 1024u);
}

} // namespace
