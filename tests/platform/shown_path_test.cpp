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
    };
    for (const auto &[path, shown] : cases) {
        EXPECT_EQ(ShownPath(path), shown) << path;
        EXPECT_EQ(ShownPathText(pathToText(path)), shown) << path;
        EXPECT_EQ(textToPath(pathToText(path)), path);
    }
    // A name that looks like an escape stays apart from the byte it names.
    EXPECT_NE(ShownPath("\\xE9"), ShownPath("\xe9"));
}
