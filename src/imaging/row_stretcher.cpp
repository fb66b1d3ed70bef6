#include "imaging/row_stretcher.h"

#include "imaging/stretch.h"

#include <algorithm>

namespace quillmere {

namespace {

constexpr QRgb kOpaque = 0xFF000000u;

// The source span [first, last) that falls onto target position index: at
// least one pixel, and consecutive spans never overlap.
std::pair<int, int> sourceSpan(int index, int targetLength, int sourceLength)
{
    const int first = static_cast<int>(static_cast<long long>(index) * sourceLength / targetLength);
    const int last = static_cast<int>(static_cast<long long>(index + 1) * sourceLength / targetLength);
    return {first, std::max(last, first + 1)};
}

} // namespace

RowStretcher::RowStretcher(int sourceWidth, int sourceHeight, QImage &target, const QRect &rect, Mode mode)
    : target_(target)
    , stretch_(rect)
    , mode_(mode)
    , sourceWidth_(sourceWidth)
    , sourceHeight_(sourceHeight)
{
    if (sourceWidth <= 0 || sourceHeight <= 0 || target.isNull() || rect.isEmpty()) {
        return;
    }
    clip_ = rect.intersected(target.rect());
    if (clip_.isEmpty()) {
        return;
    }
    const int dw = stretch_.width();
    const int dh = stretch_.height();
    const int left = clip_.left() - stretch_.left();
    const int top = clip_.top() - stretch_.top();
    const auto clipWidth = static_cast<std::size_t>(clip_.width());
    columnFirst_.resize(clipWidth);
    columnLast_.resize(clipWidth);

    if (mode == Mode::Nearest) {
        // Both mappings are non-decreasing, so the distinct values come out
        // ascending.
        for (int y = 0; y < clip_.height(); ++y) {
            const int source = nearestSourceIndex(top + y, dh, sourceHeight);
            if (rows_.empty() || rows_.back() != source) {
                rows_.push_back(source);
            }
        }
        for (std::size_t x = 0; x < clipWidth; ++x) {
            const int source = nearestSourceIndex(left + static_cast<int>(x), dw, sourceWidth);
            if (columns_.empty() || columns_.back() != source) {
                columns_.push_back(source);
            }
            columnFirst_[x] = static_cast<int>(columns_.size()) - 1;
            columnLast_[x] = columnFirst_[x] + 1;
        }
        rowFirst_ = rows_.front();
        rowLast_ = rows_.back() + 1;
        sampled_.resize(columns_.size());
    } else {
        // Consecutive spans touch, so the rows read are one range.
        rowFirst_ = sourceSpan(top, dh, sourceHeight).first;
        rowLast_ = sourceSpan(top + clip_.height() - 1, dh, sourceHeight).second;
        for (std::size_t x = 0; x < clipWidth; ++x) {
            const auto [first, last] = sourceSpan(left + static_cast<int>(x), dw, sourceWidth);
            columnFirst_[x] = first;
            columnLast_[x] = last;
        }
        sampled_.resize(clipWidth);
        combined_.assign(clipWidth * static_cast<std::size_t>(clip_.height()), 0xFFFFFFFFu);
    }
}

int RowStretcher::nextRow(int y) const
{
    if (y >= rowLast_) {
        return sourceHeight_;
    }
    if (mode_ == Mode::AndReduce) {
        return std::max(y, rowFirst_);
    }
    return *std::lower_bound(rows_.begin(), rows_.end(), y);
}

std::pair<int, int> RowStretcher::rowSpan(int row) const
{
    const int index = clip_.top() - stretch_.top() + row;
    if (mode_ == Mode::Nearest) {
        const int source = nearestSourceIndex(index, stretch_.height(), sourceHeight_);
        return {source, source + 1};
    }
    return sourceSpan(index, stretch_.height(), sourceHeight_);
}

void RowStretcher::apply(int first, int last, const QRgb *sampled)
{
    // Both ends of the spans grow with the row, so the clip rows that read
    // from [first, last) are one run, found by two binary searches.
    int low = 0;
    int high = clip_.height();
    while (low < high) { // the first row whose span ends after first
        const int middle = (low + high) / 2;
        if (rowSpan(middle).second > first) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    const int firstRow = low;
    high = clip_.height();
    while (low < high) { // the first row whose span starts at last or later
        const int middle = (low + high) / 2;
        if (rowSpan(middle).first >= last) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    const int endRow = low;

    const int width = clip_.width();
    for (int row = firstRow; row < endRow; ++row) {
        if (mode_ == Mode::Nearest) {
            QRgb *out = reinterpret_cast<QRgb *>(target_.scanLine(clip_.top() + row)) + clip_.left();
            for (int x = 0; x < width; ++x) {
                out[x] = sampled[columnFirst_[static_cast<std::size_t>(x)]];
            }
        } else {
            QRgb *combined = combined_.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(width);
            for (int x = 0; x < width; ++x) {
                combined[x] &= sampled[x];
            }
        }
    }
}

void RowStretcher::finish()
{
    if (mode_ != Mode::AndReduce || combined_.empty()) {
        return;
    }
    const auto width = static_cast<std::size_t>(clip_.width());
    for (int row = 0; row < clip_.height(); ++row) {
        QRgb *out = reinterpret_cast<QRgb *>(target_.scanLine(clip_.top() + row)) + clip_.left();
        const QRgb *in = combined_.data() + static_cast<std::size_t>(row) * width;
        for (std::size_t x = 0; x < width; ++x) {
            out[x] = in[x] | kOpaque;
        }
    }
}

} // namespace quillmere
