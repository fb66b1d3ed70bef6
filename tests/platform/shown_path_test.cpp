#include "platform/path_text.h"

#include <gtest/gtest.h>

using namespace quillmere;

// What a person sees of a path: one line naming the real file, so two paths
// that differ never look alike.
TEST(ShownPath, EscapesWhatIsNotReadableTextAndNothingElse)
{
    const std::pair<std::string, QString> cases[] = {
        {"/photos/caf\xc3\xa9 \xf0\x9f\x93\xb7.jpg", QStringLiteral("/photos/caf\u00e9 \U0001F4F7.jpg")},
        {"/a/caf\xe9.jpg", QStringLiteral("/a/caf\\xE9.jpg")},
        {"two\nlines\ttab\rcr", QStringLiteral("two\\nlines\\ttab\\rcr")},
        {"back\\slash", QStringLiteral("back\\\\slash")},
        {"bell\x07" "del\x7f", QStringLiteral("bell\\x07del\\x7F")},
        {"c1\xc2\x85", QStringLiteral("c1\\xC2\\x85")},
        {"cut\xe2\x82", QStringLiteral("cut\\xE2\\x82")},
        {"over\xc0\xaf", QStringLiteral("over\\xC0\\xAF")},
        // Separators that break a line, and characters that draw nothing.
        {"line\xe2\x80\xa8para\xe2\x80\xa9", QStringLiteral("line\\u2028para\\u2029")},
        {"zero\xe2\x80\x8bwidth\xef\xbb\xbf" "bom\xe2\x80\xaertl", QStringLiteral("zero\\u200bwidth\\ufeffbom\\u202ertl")},
        {"tag\xf3\xa0\x80\x81", QStringLiteral("tag\\U000e0001")},
    };
    for (const auto &[path, shown] : cases) {
        EXPECT_EQ(ShownPath(path), shown) << path;
        EXPECT_EQ(ShownPathText(pathToText(path)), shown) << path;
        EXPECT_EQ(textToPath(pathToText(path)), path);
    }
    // A name that looks like an escape stays apart from the byte it names.
    EXPECT_NE(ShownPath("\\xE9"), ShownPath("\xe9"));
    EXPECT_NE(ShownPath("a\xe2\x80\x8b.jpg"), ShownPath("a.jpg"));
    EXPECT_NE(ShownPath("\\u200b"), ShownPath("\xe2\x80\x8b"));
}
