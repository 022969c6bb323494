#pragma once
// The demo book's 22 button movies, drawn with the SWF writer.
#include <QString>
#include <QStringList>

namespace demobook {

// The chapter titles as the menu buttons show them, chapter 1 first.
const QStringList& chapterTitles();

// Writes the movies of the movie table into `picFolder`; returns the files written. The
// buttons' faces glow while the pointer is over them and click when pressed, unless
// `glowOnHover` is false (then they are plain pictures).
// Throws std::runtime_error when a file cannot be written.
QStringList writeMovies(const QString& picFolder, bool glowOnHover = true);

}  // namespace demobook
