// demobook: builds the parts of the demo installation folder.
//   demobook movies PIC_FOLDER
//   demobook pages BOOK_FOLDER INSTALL_FOLDER STORED_FOLDER
#include "movies.h"
#include "pages.h"

#include <QGuiApplication>

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    // Text outlines need the font database, not a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    try {
        if (args.size() == 3 && args[1] == QLatin1String("movies")) {
            demobook::writeMovies(args[2]);
            return 0;
        }
        if (args.size() == 5 && args[1] == QLatin1String("pages")) {
            demobook::writePages(args[2], args[3], args[4]);
            return 0;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "demobook: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr,
                 "usage: demobook movies PIC_FOLDER\n"
                 "       demobook pages BOOK_FOLDER INSTALL_FOLDER STORED_FOLDER\n");
    return 2;
}
