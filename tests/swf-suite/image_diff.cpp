// swf_image_diff OURS EXPECTED [OURS EXPECTED]...
// Compares pictures with the movie tests' criterion and prints one line per pair:
// "match|differ MEAN OUTLIER_SHARE" ("missing" when a picture cannot be read).
#include <QGuiApplication>
#include <QImage>
#include <cstdio>

#include "../swf/image_compare.h"

int main(int argc, char** argv) {
    if (argc < 3 || argc % 2 == 0) {
        std::fprintf(stderr, "usage: swf_image_diff OURS EXPECTED [OURS EXPECTED]...\n");
        return 2;
    }
    for (int i = 1; i + 1 < argc; i += 2) {
        QImage ours(QString::fromLocal8Bit(argv[i])), expected(QString::fromLocal8Bit(argv[i + 1]));
        if (ours.isNull() || expected.isNull()) {
            std::printf("missing\n");
            continue;
        }
        // A picture of another size than the reference does not match, whatever its pixels.
        if (ours.size() != expected.size()) {
            std::printf("differ 255 1\n");
            continue;
        }
        const auto figures = swf::test::compareImages(ours, expected);
        std::printf("%s %.3f %.5f\n", figures.matches() ? "match" : "differ", figures.meanDiff, figures.outlierShare);
    }
    return 0;
}
