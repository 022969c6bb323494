#pragma once
// The one picture comparison of the movie tests: mean absolute difference per channel and
// the share of pixels off by more than 64 in any channel, plus counts of channels over
// given tolerances. A rendering matches when the mean is at most 4/255 and at most 2% of
// the pixels are outliers.
#include <QImage>
#include <algorithm>
#include <cstdlib>
#include <vector>

namespace swf::test {

struct Figures {
    double meanDiff = 0;              // 0..255 per channel
    double outlierShare = 0;          // 0..1
    std::vector<long> channelsOver;  // per tolerance asked for
    bool matches() const { return meanDiff <= 4.0 && outlierShare <= 0.02; }
};

inline Figures compareImages(const QImage& ours, const QImage& reference, const std::vector<int>& tolerances = {}) {
    Figures f;
    const QImage a = ours.convertToFormat(QImage::Format_ARGB32);
    const QImage b = reference.convertToFormat(QImage::Format_ARGB32).scaled(a.size());
    f.channelsOver.assign(tolerances.size(), 0);
    double total = 0;
    long outliers = 0;
    for (int y = 0; y < a.height(); ++y) {
        const auto* la = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* lb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            const int d[4] = {std::abs(qRed(la[x]) - qRed(lb[x])), std::abs(qGreen(la[x]) - qGreen(lb[x])),
                              std::abs(qBlue(la[x]) - qBlue(lb[x])), std::abs(qAlpha(la[x]) - qAlpha(lb[x]))};
            total += d[0] + d[1] + d[2] + d[3];
            if (*std::max_element(d, d + 4) > 64) ++outliers;
            for (size_t c = 0; c < tolerances.size(); ++c)
                for (int v : d)
                    if (v > tolerances[c]) ++f.channelsOver[c];
        }
    }
    const double pixels = std::max(1.0, double(a.width()) * a.height());
    f.meanDiff = total / (pixels * 4);
    f.outlierShare = outliers / pixels;
    return f;
}

}  // namespace swf::test
