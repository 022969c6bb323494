// Baselines for the reader's benchmark (bench_reader.py):
//   bench_reader_helper bare PAGE...   a bare browser window showing PAGE 1; each click on the
//                                      button at its top left navigates to the next PAGE. The
//                                      view stands where the reader's browser stands.
//   bench_reader_helper extract FOLDER RUNS
//                                      the time of one ExtractChapter of record 1 of the
//                                      chapter store in FOLDER, median of RUNS, in ms.
#include <QApplication>
#include <QPushButton>
#include <QWebEngineView>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "content/extract_chapter.h"
#include "content/open_access.h"
#include "core/install_path.h"
#include "jet/ado.h"

namespace {

int bare(int argc, char** argv)
{
    QApplication application(argc, argv);
    QStringList pages;
    for (int i = 2; i < argc; ++i)
        pages << QString::fromLocal8Bit(argv[i]);
    QWidget window;
    window.setWindowTitle("Bare browser");
    window.setFixedSize(997, 747);
    auto* next = new QPushButton("Next", &window);
    next->setGeometry(911, 11, 64, 52);
    auto* view = new QWebEngineView(&window);
    view->setGeometry(0, 72, 1000, 625);
    int shown = 0;
    QObject::connect(next, &QPushButton::pressed, view, [&] {
        if (shown + 1 < pages.size())
            view->load(QUrl::fromLocalFile(pages[++shown]));
    });
    view->load(QUrl::fromLocalFile(pages.value(0)));
    window.move(0, 0);
    window.show();
    return application.exec();
}

int extract(const char* folder, int runs)
{
    core::overrideApplicationFolder(std::string(folder));
    std::shared_ptr<jet::Connection> connection;
    content::OpenAccess(connection, [] {});
    jet::Recordset rsxs;
    rsxs.ActiveConnection = connection;
    rsxs.Source = "select m1 from b1";
    rsxs.Open();
    const std::string page = std::string(folder) + "\\res\\Chapter\\faj.trm";
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        rsxs.MoveFirst();
        const auto start = std::chrono::steady_clock::now();
        content::ExtractChapter(rsxs, page);
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    std::printf("%.3f\n", times[times.size() / 2]);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "bare" && argc > 2)
        return bare(argc, argv);
    if (mode == "extract" && argc > 3)
        return extract(argv[2], std::max(1, std::atoi(argv[3])));
    std::fprintf(stderr, "usage: bench_reader_helper bare PAGE... | extract FOLDER RUNS\n");
    return 2;
}
