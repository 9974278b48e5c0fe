#include "tuning/line_graph.h"

#include <QPainter>
#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Clips the segment to `box` (Liang-Barsky). Keeps far-away points (a zoomed view) out of the
// rasteriser, whose fixed-point coordinates cannot hold them. False when nothing is inside.
bool Clip(QLineF& line, const QRectF& box) {
    const double x0 = line.x1(), y0 = line.y1(), dx = line.dx(), dy = line.dy();
    double t0 = 0, t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x0 - box.left(), box.right() - x0, y0 - box.top(), box.bottom() - y0};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return false;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) {
            t0 = std::max(t0, t);
        } else {
            t1 = std::min(t1, t);
        }
        if (t0 > t1) return false;
    }
    line = QLineF(x0 + t0 * dx, y0 + t0 * dy, x0 + t1 * dx, y0 + t1 * dy);
    return true;
}

}  // namespace

LineGraph::LineGraph(QCPAxis* keyAxis, QCPAxis* valueAxis) : QCPGraph(keyAxis, valueAxis) {}

void LineGraph::DataChanged() {
    valid_ = false;
    blocks_.clear();
}

void LineGraph::SummariseBlocks() {
    const QCPGraphDataContainer& points = *data();
    const size_t complete = static_cast<size_t>(points.size() / kBlock);
    if (blocks_.size() > complete) blocks_.clear();  // shrunk without DataChanged: start over
    for (size_t b = blocks_.size(); b < complete; ++b) {
        const auto begin = points.constBegin() + static_cast<long>(b) * kBlock;
        Block block{begin->value, begin->value, true};
        for (auto it = begin; it != begin + kBlock; ++it) {
            block.Finite = block.Finite && std::isfinite(it->key) && std::isfinite(it->value);
            block.Low = std::min(block.Low, it->value);
            block.High = std::max(block.High, it->value);
        }
        blocks_.push_back(block);
    }
}

bool LineGraph::Covers(const QCPPainter* painter) const {
    const QCPAxis* keys = keyAxis();
    const QCPAxis* values = valueAxis();
    return keys && values && lineStyle() == lsLine && scatterStyle().isNone() &&
           brush().style() == Qt::NoBrush && !channelFillGraph() &&
           keys->orientation() == Qt::Horizontal && keys->scaleType() == QCPAxis::stLinear &&
           values->scaleType() == QCPAxis::stLinear && !selected() &&
           !painter->modes().testFlag(QCPPainter::pmVectorized);
}

LineGraph::View LineGraph::CurrentView(const QCPPainter* painter) const {
    View v;
    v.Area = keyAxis()->axisRect()->rect();
    v.Keys = keyAxis()->range();
    v.Values = valueAxis()->range();
    v.Pen = pen();
    v.PixelRatio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    v.Antialiased = antialiased();
    return v;
}

void LineGraph::draw(QCPPainter* painter) {
    if (!Covers(painter)) {
        valid_ = false;
        QCPGraph::draw(painter);
        return;
    }
    const View view = CurrentView(painter);
    const int count = data()->size();
    if (view.Area.isEmpty() || count == 0) {
        valid_ = false;
        return;
    }
    // Exports (PNG at another size, printing) draw straight onto their device.
    if (painter->modes().testFlag(QCPPainter::pmNoCaching)) {
        painter->save();
        painter->translate(view.Area.topLeft());
        SummariseBlocks();
        Stroke(*painter, view, 0, count);
        painter->restore();
        return;
    }
    if (!valid_ || !(view == drawn_) || count < drawnCount_) {
        const QSize pixels = (QSizeF(view.Area.size()) * view.PixelRatio).toSize();
        if (image_.size() != pixels) image_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        image_.setDevicePixelRatio(view.PixelRatio);
        image_.fill(Qt::transparent);
        drawn_ = view;
        drawnCount_ = 0;
        valid_ = true;
        ++rebuilds_;
    }
    if (drawnCount_ < count) {
        SummariseBlocks();
        QPainter p(&image_);
        // The last point already drawn starts the new stretch, so the line stays joined.
        Stroke(p, view, std::max(drawnCount_ - 1, 0), count);
        drawnCount_ = count;
    }
    painter->drawImage(QPointF(view.Area.topLeft()), image_);
}

void LineGraph::Stroke(QPainter& target, const View& view, int from, int to) const {
    const QCPGraphDataContainer& points = *data();
    // Only the visible points and their neighbours outside, which draw the line to the edge.
    const int first =
        std::max(from, static_cast<int>(points.findBegin(view.Keys.lower) - points.constBegin()));
    const int last =
        std::min(to, static_cast<int>(points.findEnd(view.Keys.upper) - points.constBegin()));
    if (first >= last) return;

    // Linear axes: pixel = scale * coordinate + offset, taken from the axes themselves so that
    // reversed axes come out right.
    const QPointF origin = view.Area.topLeft();
    const double x0 = keyAxis()->coordToPixel(view.Keys.lower);
    const double x1 = keyAxis()->coordToPixel(view.Keys.upper);
    const double y0 = valueAxis()->coordToPixel(view.Values.lower);
    const double y1 = valueAxis()->coordToPixel(view.Values.upper);
    const double kx = view.Keys.size() > 0 ? (x1 - x0) / view.Keys.size() : 0;
    const double ky = view.Values.size() > 0 ? (y1 - y0) / view.Values.size() : 0;
    const double bx = x0 - kx * view.Keys.lower - origin.x();
    const double by = y0 - ky * view.Values.lower - origin.y();

    const double margin = view.Pen.widthF() + 2;
    const QRectF box =
        QRectF(QPointF(0, 0), QSizeF(view.Area.size())).adjusted(-margin, -margin, margin, margin);
    std::vector<QLineF> lines;
    lines.reserve(static_cast<size_t>(std::min(last - first, 4 * view.Area.width() + 16)));
    const auto add = [&](QLineF line) {
        if (Clip(line, box)) lines.push_back(line);
    };

    // Consecutive points in one pixel column are drawn as one vertical stroke from their lowest
    // to their highest value, which is what their segments cover at this scale; the segments
    // between columns are drawn as they are.
    bool inColumn = false;
    long column = 0;
    double low = 0, high = 0, firstX = 0, lastX = 0;
    QPointF previous;
    const auto closeColumn = [&] {
        if (inColumn && high > low) {
            const double x = (firstX + lastX) / 2;
            add(QLineF(x, low, x, high));
        }
        inColumn = false;
    };
    bool joined = false;  // `previous` is a point the next one joins
    const auto begin = points.constBegin();
    for (int i = first; i < last;) {
        // A whole block inside the open column adds only its extremes.
        if (joined && inColumn && i % kBlock == 0 && i + kBlock <= last &&
            static_cast<size_t>(i / kBlock) < blocks_.size()) {
            const Block& block = blocks_[static_cast<size_t>(i / kBlock)];
            const auto end = begin + (i + kBlock - 1);
            const double xa = kx * (begin + i)->key + bx, xb = kx * end->key + bx;
            if (block.Finite && static_cast<long>(std::floor(xa)) == column &&
                static_cast<long>(std::floor(xb)) == column) {
                const double ya = ky * block.Low + by, yb = ky * block.High + by;
                low = std::min({low, ya, yb});
                high = std::max({high, ya, yb});
                lastX = xb;
                previous = QPointF(xb, ky * end->value + by);
                i += kBlock;
                continue;
            }
        }
        const auto it = begin + i++;
        if (!std::isfinite(it->key) || !std::isfinite(it->value)) {  // a gap in the line
            closeColumn();
            joined = false;
            continue;
        }
        const QPointF q(kx * it->key + bx, ky * it->value + by);
        const long c = static_cast<long>(std::floor(q.x()));
        if (joined && inColumn && c == column) {
            low = std::min(low, q.y());
            high = std::max(high, q.y());
            lastX = q.x();
            previous = q;
            continue;
        }
        closeColumn();
        if (joined) add(QLineF(previous, q));
        inColumn = true;
        column = c;
        low = high = q.y();
        firstX = lastX = q.x();
        previous = q;
        joined = true;
    }
    closeColumn();

    QPen pen = view.Pen;
    // Segments are stroked one by one: round ends join them without seams.
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    target.setPen(pen);
    target.setRenderHint(QPainter::Antialiasing, view.Antialiased);
    if (!lines.empty()) target.drawLines(lines.data(), static_cast<int>(lines.size()));
    // A single sample still shows, as a dot.
    if (points.size() == 1 && joined) target.drawPoint(previous);
}
