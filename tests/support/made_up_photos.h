#pragma once

#include <QImage>

namespace quillmere::test {

// A made-up "photo": a scene of gradients, overlapping shapes, a striped
// texture and fine noise, all drawn from the seed, so that no two seeds
// look alike but every change of one stays recognisable.
// `view` moves the window on the scene to the right by that share of the
// width: 0.15 is a neighbouring view of the same scene.
QImage madeUpPhoto(unsigned seed, int width, int height, double view = 0);

// The same scene with its colours rotated (red to green to blue): one
// design in other colours.
QImage recoloured(const QImage &photo);
// Every channel times factor (lighter above 1, darker below), clipped.
QImage lightened(const QImage &photo, double factor);
// Levels added to every channel (negative: darker), clipped.
QImage shifted(const QImage &photo, int levels);
// Channels spread from mid grey by factor.
QImage contrasted(const QImage &photo, double factor);
// The middle part, share cut from every side.
QImage cropped(const QImage &photo, double share);
// Scaled smoothly so that its long side is longSide.
QImage scaledToLongSide(const QImage &photo, int longSide);
// Turned clockwise by quarter turns (1 to 3).
QImage turned(const QImage &photo, int quarters);
QImage mirrored(const QImage &photo);
// A grey copy.
QImage greyed(const QImage &photo);

} // namespace quillmere::test
