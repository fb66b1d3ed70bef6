#pragma once

#include "imaging/graphic.h"

#include <memory>

namespace quillmere {

// A picture whose file records that its pixels are stored turned or
// mirrored: it reports the upright size and draws the stored picture turned
// upright, so that whoever shows it needs to know nothing of the turn.
class TUprightPicture : public TGraphic {
public:
    // orientation: 2 to 8 as the EXIF orientation tag numbers them (see
    // orientation.h); 1 draws the stored picture as it is.
    TUprightPicture(std::unique_ptr<TGraphic> stored, int orientation);

    int Width() const override;
    int Height() const override;
    int Orientation() const { return orientation_; }
    TGraphic &Stored() const { return *stored_; }

    // Loads the stored picture; the orientation stays the one given.
    void LoadFromFile(const std::string &path) override;
    // Draws the stored picture stretched over the turned rectangle, then
    // turns that: the upright picture stretched over rect.
    void StretchDraw(QImage &target, const QRect &rect) override;

protected:
    // The same through the stored picture's own drawing for a window, which
    // decodes just as much as the turned area shows.
    void DrawForDisplay(QImage &surface, const QRect &area) override;

private:
    void putTurned(const QImage &stored, QImage &target, const QRect &rect) const;

    std::unique_ptr<TGraphic> stored_;
    int orientation_;
};

} // namespace quillmere
