// The reader's entry: prepares the browser engine, then hands over to the data module Form2,
// whose load brings up the reader window. Every start-up step runs inside the top-level guard.
#include <unistd.h>

#include <QApplication>
#include <QLoggingCategory>

#include "app/form2.h"
#include "assets/assets.h"
#include "reader/guard.h"
#include "web/web_browser.h"

int main(int argc, char** argv)
{
    web::registerSchemes();
    // The browser engine's sandbox cannot run as root; an explicit setting is kept.
    if (::geteuid() == 0 && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

    // The browser engine reports its settings (and, as root, that it runs without a sandbox)
    // at info level on every start; a normal start prints nothing. QT_LOGGING_RULES still
    // turns them back on.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false\ndefault.info=false"));
    QApplication application(argc, argv);
    assets::initAssets();

    app::Form2 form2;
    reader::guarded([&] { form2.Form_Load(); });
    return application.exec();
}
