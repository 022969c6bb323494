#pragma once
// The demo book's pages: page sources wrapped with the book's style and each page's
// colour band, written where the reader looks for them.
#include <QString>
#include <QStringList>

namespace demobook {

// The colour of page `index` (0 to 15): the band at the top of that page.
QString pageColour(int index);

// Where page `index` goes: pages 0 to 7 relative to the installation folder
// ("res/1p.html", "res/Chapter/01.html"), the stored chapters 8 to 15 relative to the
// folder of pages to be packed into the chapter store ("06.html" to "13.html").
QString pageOutputPath(int index);

// Writes every page from `bookFolder` (pages/NN.html, book.css) and its pictures
// (pictures/ to res/pictures/) into `installFolder`, the stored chapters into
// `storedFolder`; returns the files written. Throws std::runtime_error.
QStringList writePages(const QString& bookFolder, const QString& installFolder, const QString& storedFolder);

}  // namespace demobook
