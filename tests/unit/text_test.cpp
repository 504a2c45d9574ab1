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

// FormatText with up to six int arguments or two strings, as the installer calls it.
struct FormatCase {
    const char *format;
    unsigned size;
    int fits;
    const char *result;
};

void ExpectFormat(const FormatCase &c, int fits, const Guarded &buffer)
{
    EXPECT_EQ(fits, c.fits) << "format \"" << c.format << "\" into " << c.size << " bytes";
    EXPECT_STREQ(buffer.bytes, c.result) << "format \"" << c.format << "\"";
    EXPECT_TRUE(buffer.GuardIntact(c.size)) << c.format << ": wrote past the buffer";
}

TEST(TextHelpers, FormatNumbersAsTheLogAndTheMessagesUseThem)
{
    const struct {
        FormatCase c;
        int values[6];
    } cases[] = {
        {{"%02d/%02d/%02d %02d:%02d:%02d ", 40, 1, "03/06/04 09:05:07 "}, {3, 6, 4, 9, 5, 7}},
        {{"%02d/%02d/%02d %02d:%02d:%02d ", 40, 1, "12/31/99 23:59:59 "}, {12, 31, 99, 23, 59, 59}},
        {{"%02d", 40, 1, "123"}, {123}},
        {{"%02d", 40, 1, "00"}, {0}},
        {{"Add Printer Error %d", 40, 1, "Add Printer Error 1802"}, {1802}},
        {{"Result = %d", 40, 1, "Result = -5"}, {-5}},
        {{"%d", 40, 1, "-2147483648"}, {-2147483647 - 1}},
        {{"%d", 40, 1, "2147483647"}, {2147483647}},
        {{"%03d|%4d|%-d", 40, 1, "-05|   7|%-d"}, {-5, 7}},
        // Cut at the buffer's end, the last byte kept for the NUL.
        {{"Add Printer Error %d", 23, 1, "Add Printer Error 1802"}, {1802}},
        {{"Add Printer Error %d", 22, 0, "Add Printer Error 180"}, {1802}},
        {{"Result = %d", 10, 0, "Result = "}, {-5}},
        {{"%02d/%02d", 4, 0, "03/"}, {3, 6}},
        {{"%05d", 3, 0, "00"}, {7}},
    };
    for (const auto &k : cases) {
        Guarded buffer;
        const int *v = k.values;
        int fits =
            FormatText(buffer.bytes, k.c.size, k.c.format, v[0], v[1], v[2], v[3], v[4], v[5]);
        ExpectFormat(k.c, fits, buffer);
    }
}

TEST(TextHelpers, FormatTextsAndPercentSigns)
{
    const struct {
        FormatCase c;
        const char *first, *second;
    } cases[] = {
        {{"Copied %s", 40, 1, "Copied .\\A.PPD"}, ".\\A.PPD", NULL},
        {{" %s => \n %s", 40, 1, " .\\A => \n C:\\D\\A"}, ".\\A", "C:\\D\\A"},
        {{"%s|%s", 40, 1, "(null)|"}, NULL, ""},
        {{"100%% %x %", 40, 1, "100% %x %"}, NULL, NULL},
        {{"\n BEGIN", 40, 1, "\n BEGIN"}, NULL, NULL},
        {{" %s => \n %s", 12, 0, " .\\A => \n C"}, ".\\A", "C:\\D\\A"},
        {{"%s", 1, 0, ""}, "x", NULL},
        {{"%s", 2, 1, "x"}, "x", NULL},
    };
    for (const auto &k : cases) {
        Guarded buffer;
        int fits = FormatText(buffer.bytes, k.c.size, k.c.format, k.first, k.second);
        ExpectFormat(k.c, fits, buffer);
    }
    Guarded untouched("keep");
    EXPECT_EQ(FormatText(untouched.bytes, 0, "%s", "x"), 0);
    EXPECT_STREQ(untouched.bytes, "keep") << "a buffer of no bytes is left alone";
}

TEST(TextHelpers, CountOfGivesTheArraySize)
{
    char path[128];
    char message[1024];
    EXPECT_EQ(COUNT_OF(path), 128u);
    EXPECT_EQ(COUNT_OF(message), 1024u);
}

} // namespace
