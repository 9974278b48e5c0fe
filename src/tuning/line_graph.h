// LineGraph: a QCustomPlot graph whose line is drawn from an image that grows with the data.
//
// A live chart appends one point per sample to a series that reaches millions of points, drawn
// with a wide antialiased pen. Stroking the whole line again for every sample costs most of a
// core (and, below a few thousand noisy points, a fifth of a second a replot). Here, while the
// axis ranges, the plot area and the pen stay as they were and points are only appended, a draw
// strokes just the new segments onto the cached image of the line and paints that image. Any
// other change redraws the image from the data, with one vertical stroke per pixel column where
// several points share the column; the lowest and highest value of every block of 64 points are
// kept as points are added, so a column of many points costs a few blocks, and redrawing follows
// the width in pixels rather than the number of points.
//
// UI thread only, like every QCustomPlot object. Whoever changes the data other than by adding
// points at the end (clearing, inserting before the last point, removing) calls DataChanged().
// What this drawing does not cover (step or impulse lines, scatter marks, fills, logarithmic or
// vertical key axes, vector output) is drawn by QCPGraph itself.
#pragma once

#include <qcustomplot.h>

#include <QImage>
#include <vector>

class LineGraph : public QCPGraph {
public:
    LineGraph(QCPAxis* keyAxis, QCPAxis* valueAxis);

    // The data changed other than by appending: the next draw starts from the data again.
    void DataChanged();
    // How many times the image was drawn again from all visible points (tests, benchmarks).
    int Rebuilds() const { return rebuilds_; }

protected:
    void draw(QCPPainter* painter) override;

private:
    // The state the image was drawn for; any difference means drawing it again.
    struct View {
        QRect Area;
        QCPRange Keys, Values;
        QPen Pen;
        qreal PixelRatio = 1;
        bool Antialiased = true;
        bool operator==(const View& o) const {
            return Area == o.Area && Keys == o.Keys && Values == o.Values && Pen == o.Pen &&
                   PixelRatio == o.PixelRatio && Antialiased == o.Antialiased;
        }
    };

    bool Covers(const QCPPainter* painter) const;
    View CurrentView(const QCPPainter* painter) const;
    // Strokes the points [from, to) onto `target`, whose origin is the top left corner of the
    // plot area, the first point joining nothing before it.
    void Stroke(QPainter& target, const View& view, int from, int to) const;
    // Summarises the blocks of points completed since the last call.
    void SummariseBlocks();

    static constexpr int kBlock = 64;
    struct Block {
        double Low, High;  // of the values
        bool Finite;       // no gap in it: the summary stands for its points
    };
    std::vector<Block> blocks_;  // block i: points [i * kBlock, (i + 1) * kBlock)

    QImage image_;
    View drawn_;
    bool valid_ = false;
    int drawnCount_ = 0;  // points stroked onto image_ (the last of them is joined by the next)
    int rebuilds_ = 0;
};
