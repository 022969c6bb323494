// Renders every movie of the shared reference corpus after the frames its test.toml
// names and compares the picture with the reference image taken from the original player.
// Pass: mean absolute difference per channel <= 4/255 and at most 2% of the pixels off by
// more than 64 in any channel. The corpus' own tolerance checks are reported beside.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QRegularExpression>
#include <cmath>
#include <cstdio>
#include <map>

#include "image_compare.h"
#include "swf/swf.h"

namespace {

QString corpusFolder() {
    QString root = qEnvironmentVariable("TALVORIN_TESTDATA", QStringLiteral(TALVORIN_TESTDATA_DEFAULT));
    return root + QStringLiteral("/swf");
}

// Cases whose picture needs what the player does not do yet, with the reason.
const std::map<std::string, std::string>& knownGaps() {
    static const std::map<std::string, std::string> gaps = {
    };
    return gaps;
}

struct Check {
    int tolerance = 0;
    long maxOutliers = 0;
};

struct Comparison {
    std::string folder;
    std::string image;  // reference name without ".expected.png"
    int frames = 1;
    std::vector<Check> checks;
};

// The few keys of test.toml that matter here: the frame count and each comparison's
// trigger frame and tolerance checks.
std::vector<Comparison> readToml(const QString& folder) {
    QFile file(folder + QStringLiteral("/test.toml"));
    std::vector<Comparison> out;
    if (!file.open(QIODevice::ReadOnly)) return out;
    const QString name = QFileInfo(folder).fileName();
    int frames = 1;
    std::map<QString, Comparison> byName;
    std::map<QString, int> triggers;
    QString section;
    bool checkArray = false;
    static const QRegularExpression table(R"(^\[\[?image_comparisons\.(\w+)(\.checks)?\]\]?)");
    static const QRegularExpression keyValue(R"(^(\w+)\s*=\s*(-?\d+))");
    for (const QString& raw : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
        QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            auto m = table.match(line);
            section = m.hasMatch() ? m.captured(1) : QString();
            checkArray = m.hasMatch() && !m.captured(2).isEmpty();
            if (!section.isEmpty()) {
                Comparison& c = byName[section];
                c.folder = name.toStdString();
                c.image = section.toStdString();
                if (checkArray || c.checks.empty()) c.checks.push_back({});
            }
            continue;
        }
        auto m = keyValue.match(line);
        if (!m.hasMatch()) continue;
        const QString key = m.captured(1);
        const long value = m.captured(2).toLong();
        if (section.isEmpty()) {
            if (key == QLatin1String("num_frames") || key == QLatin1String("num_ticks")) frames = int(value);
            continue;
        }
        Comparison& c = byName[section];
        if (key == QLatin1String("trigger")) triggers[section] = int(value);
        else if (key == QLatin1String("tolerance")) c.checks.back().tolerance = int(value);
        else if (key == QLatin1String("max_outliers")) c.checks.back().maxOutliers = value;
    }
    for (auto& [section, c] : byName) {
        c.frames = triggers.count(section) ? triggers[section] : frames;
        out.push_back(c);
    }
    return out;
}

std::vector<Comparison> allComparisons() {
    std::vector<Comparison> all;
    QDir dir(corpusFolder());
    for (const QString& folder : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        for (Comparison& c : readToml(dir.filePath(folder))) all.push_back(c);
    if (all.empty()) all.push_back({"absent", "none", 0, {}});
    return all;
}

class Reference : public testing::TestWithParam<Comparison> {};

TEST_P(Reference, MatchesOriginalPlayer) {
    const Comparison& c = GetParam();
    if (c.folder == "absent") GTEST_SKIP() << "reference corpus not found at " << corpusFolder().toStdString();
    const QString folder = corpusFolder() + QLatin1Char('/') + QString::fromStdString(c.folder);
    QImage reference(folder + QLatin1Char('/') + QString::fromStdString(c.image) + QStringLiteral(".expected.png"));
    ASSERT_FALSE(reference.isNull());

    auto movie = swf::loadMovieFile((folder + QStringLiteral("/test.swf")).toStdString());
    ASSERT_TRUE(movie);
    swf::Player player(movie);
    for (int i = 1; i < c.frames; ++i) player.advance();
    QImage ours = player.renderImage(reference.size());
    std::vector<int> tolerances;
    for (const Check& check : c.checks) tolerances.push_back(check.tolerance);
    const swf::test::Figures f = swf::test::compareImages(ours, reference, tolerances);

    const bool pass = f.matches();
    std::string corpusChecks;
    bool corpusPass = true;
    for (size_t i = 0; i < c.checks.size(); ++i) {
        const bool ok = f.channelsOver[i] <= c.checks[i].maxOutliers;
        corpusPass = corpusPass && ok;
        corpusChecks += " tol " + std::to_string(c.checks[i].tolerance) + ": " + std::to_string(f.channelsOver[i]) +
                        "/" + std::to_string(c.checks[i].maxOutliers) + (ok ? " ok;" : " over;");
    }
    std::printf("[figures] %s/%s after %d frame(s): mean diff %.2f/255, outliers %.3f%% -> %s | corpus checks:%s %s\n",
                c.folder.c_str(), c.image.c_str(), c.frames, f.meanDiff, f.outlierShare * 100, pass ? "PASS" : "FAIL",
                corpusChecks.c_str(), corpusPass ? "met" : "not met");
    if (const char* dump = std::getenv("SWF_DUMP_DIR"))
        ours.save(QString::fromUtf8(dump) + QLatin1Char('/') + QString::fromStdString(c.folder + "-" + c.image) + ".png");

    auto gap = knownGaps().find(c.folder);
    if (!pass && gap != knownGaps().end()) GTEST_SKIP() << "known gap: " << gap->second;
    EXPECT_LE(f.meanDiff, 4.0);
    EXPECT_LE(f.outlierShare, 0.02);
}

std::string caseName(const testing::TestParamInfo<Comparison>& info) {
    std::string name = info.param.folder + "_" + info.param.image;
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, Reference, testing::ValuesIn(allComparisons()), caseName);

}  // namespace
