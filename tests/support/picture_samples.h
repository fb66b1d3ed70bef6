#pragma once

#include <QRgb>
#include <QString>
#include <functional>
#include <map>
#include <string>

namespace quillmere {
class PictureFormat;
}

namespace quillmere::test {

// Four flat quadrants: wide enough areas of one colour that a lossy format
// keeps them within a few levels. Top left red, top right green, bottom
// left blue, bottom right yellow.
QRgb quadrant(int x, int y, int width, int height);

// How each registered format writes a sample file, and how far its decoded
// pixels may stray from what was written. A format added to the registry
// needs its line here (picture_samples.cpp), or the registry-wide tests fail
// for it.
struct Sample {
    std::function<std::string(int width, int height)> write; // the quadrants, as the file's bytes
    int tolerance; // largest channel difference allowed against a full decode scaled
};

// Every format's writer, by format name.
const std::map<QString, Sample> &samples();

// format's writer; raises when it has none.
const Sample &sampleOf(const PictureFormat &format);

} // namespace quillmere::test
