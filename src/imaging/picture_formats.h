#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

namespace quillmere {

class PictureFormat;

// Every picture format the program reads, in a fixed order: the order of
// the search masks offered, and the order in which a file's thumbnail steps
// run. The first format's mask is the default.
const std::vector<const PictureFormat *> &PictureFormats();

// The search masks, one per format, in registry order ("*.jpg", ...).
QStringList PictureMasks();

// The mask list's entry that lists the files of every format.
QString AllPicturesMask();

// The entries of the mask list: every format's mask in registry order, then
// AllPicturesMask.
QStringList PictureMaskEntries();

// The file-name patterns a mask entry lists, each "*.<extension>": for a
// format's mask every extension of that format ("*.jpg" lists .jpg, .jpeg
// and .jpe names); for AllPicturesMask, or "all", every extension of every
// format. Entries are compared without regard to ASCII letter case. Empty
// for any other text.
QStringList PictureMaskPatterns(const QString &entry);

// The format whose mask is mask, compared without regard to ASCII letter
// case; nullptr for none.
const PictureFormat *PictureFormatForMask(const QString &mask);

// The formats whose thumbnail steps a file's name asks for, in registry
// order. Only the file-name part of the path counts (after the last '/'),
// its ASCII letters lower-cased.
std::vector<const PictureFormat *> PictureFormatsNamedBy(const std::string &path);

} // namespace quillmere
