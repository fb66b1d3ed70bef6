#include "cli/mask_texts.h"
#include "imaging/picture_format.h"
#include "imaging/picture_formats.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace quillmere;

namespace {

std::string sourceFile(const char *relative)
{
    QFile file(QStringLiteral(QUILLMERE_SOURCE_DIR "/") + QLatin1String(relative));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << relative;
    return file.readAll().toStdString();
}

// "JPEG, BMP or PNG": the formats' names as the manuals list them.
std::string kindNames()
{
    std::string text;
    const auto &formats = PictureFormats();
    for (std::size_t i = 0; i < formats.size(); ++i) {
        if (i > 0) {
            text += i + 1 == formats.size() ? " or " : ", ";
        }
        text += formats[i]->name().toStdString();
    }
    return text;
}

} // namespace

TEST(DocumentedKinds, readmeAndManualListThePictureFormatsTheProgramOffers)
{
    const std::string readme = sourceFile("README.md");
    EXPECT_NE(readme.find("the kind of picture (" + kindNames() + ")"), std::string::npos) << kindNames();
    EXPECT_NE(readme.find("[--mask " + QuotedMasks("|", "|") + "]"), std::string::npos) << QuotedMasks("|", "|");

    // The manual's --mask entry names each mask in order, the first as the
    // default, then all.
    const std::string manual = sourceFile("data/quillmere.1");
    EXPECT_NE(manual.find("(" + kindNames() + ")"), std::string::npos);
    std::string maskEntry = "The files to compare:\n";
    const QStringList masks = PictureMasks();
    for (qsizetype i = 0; i < masks.size(); ++i) {
        if (i == 0) {
            maskEntry += ".B " + masks[i].toStdString() + "\n(the default),\n";
        } else if (i + 1 == masks.size()) {
            maskEntry += ".B " + masks[i].toStdString() + "\nor\n";
        } else {
            maskEntry += ".BR " + masks[i].toStdString() + " ,\n";
        }
    }
    maskEntry += ".B all\n(every picture format).\n";
    EXPECT_NE(manual.find(maskEntry), std::string::npos) << maskEntry;
}
