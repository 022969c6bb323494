#pragma once
// The click phase with a heavy movie: how long a click on a control next to a movie whose
// frames take long to draw waits for its handler, and how many frames the movie dropped.
#include <QString>

namespace bench {
// Writes its movies into `picFolder` (the installation's pic folder) and prints its lines.
void heavyMovieClicks(const QString& picFolder);
}  // namespace bench
