#include "common/random_generator.h"
#include "platform/number_text.h"
#include "platform/path_text.h"

#include <gtest/gtest.h>

using namespace quillmere;

TEST(RandomGenerator, startsFromStateZeroWithTheKnownSequence)
{
    RandomState() = 0;
    EXPECT_EQ(RandomBelow(256), 0u);
    EXPECT_EQ(RandomBelow(256), 8u);
    EXPECT_EQ(RandomBelow(256), 220u);
    EXPECT_EQ(RandomBelow(256), 51u);
    // The value is the upper half of state * n: below n for every n.
    for (std::uint32_t n : {1u, 2u, 3u, 1000u, 0xFFFFFFFFu}) {
        EXPECT_LT(RandomBelow(n), n);
    }
}

TEST(GeneralNumberText, wholeAndFractionalValues)
{
    EXPECT_EQ(GeneralNumberText(0), QStringLiteral("0"));
    EXPECT_EQ(GeneralNumberText(512), QStringLiteral("512"));
    EXPECT_EQ(GeneralNumberText(123456789012345.0), QStringLiteral("123456789012345"));
    EXPECT_EQ(GeneralNumberText(1025.0 / 1024), QStringLiteral("1.0009765625"));
    EXPECT_EQ(GeneralNumberText(1048577.0 / 1048576), QStringLiteral("1.00000095367432"));
    EXPECT_EQ(GeneralNumberText(3000000.0 / 1048576), QStringLiteral("2.86102294921875"));
    EXPECT_EQ(GeneralNumberText(-1.5), QStringLiteral("-1.5"));
    EXPECT_EQ(GeneralNumberText(0.00001), QStringLiteral("0.00001"));
    EXPECT_EQ(GeneralNumberText(0.000001), QStringLiteral("1E-6"));
    EXPECT_EQ(GeneralNumberText(1e15), QStringLiteral("1E15"));
    EXPECT_EQ(GeneralNumberText(1.5e20), QStringLiteral("1.5E20"));
}

TEST(PathText, everyByteStringSurvivesTheRoundTrip)
{
    const std::vector<std::string> paths = {
        "/home/user/photo.jpg",
        "/tmp/caf\xc3\xa9.jpg",                   // valid UTF-8
        "/tmp/\xff\xfe.jpg",                      // not UTF-8 at all
        "/tmp/\xc3.jpg",                          // truncated sequence
        "/tmp/\xed\xb2\x80.jpg",                  // an encoded surrogate is not valid UTF-8
        "/tmp/\xc0\xaf.jpg",                      // overlong form
        "/tmp/\xf0\x9f\x98\x80 line\nbreak.jpg", // four-byte character and a line break
    };
    for (const std::string &path : paths) {
        EXPECT_EQ(textToPath(pathToText(path)), path);
    }
    EXPECT_EQ(pathToText("/tmp/caf\xc3\xa9.jpg"), QString::fromUtf8("/tmp/caf\xc3\xa9.jpg"));
    EXPECT_EQ(pathToText("/a\xff").back().unicode(), 0xDCFF);
}
