// The demo book's help program, installed as pic/help.exe: one window with the book's
// help, closed by its button or the close box.
#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <QWidget>

namespace {

const char* const kHelpHtml = R"(
<h2 style="color:#1F2D3A">Reading <i>The Lamplighter of Wrenfield</i></h2>
<p>The book has sixteen pages: the cover, the front matter, the contents and thirteen
chapters. The buttons along the top of the reader window do the following:</p>
<table cellpadding="4">
<tr><td><b>Contents</b> (top left)</td><td>opens the contents page with a button for every chapter;
click a chapter's button to go straight to it.</td></tr>
<tr><td><b>Up arrow</b></td><td>goes back one page. It is hidden on the cover.</td></tr>
<tr><td><b>Down arrow</b></td><td>goes forward one page. It is hidden on the last chapter.</td></tr>
<tr><td><b>?</b></td><td>opens this help.</td></tr>
<tr><td><b>Power</b></td><td>closes the reader at once.</td></tr>
</table>
<p>The words <b>Corvanta Team</b> at the bottom right open the publisher's web page in the
reader; the arrows then go on from the page you were reading.</p>
<p>Right-click any button for the movie player's menu (zoom, quality, play and loop).</p>
<p style="color:#555">This is a demonstration book, written for the Talvorin reader.</p>
)";

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Talvorin Help"));
    auto* layout = new QVBoxLayout(&window);
    auto* text = new QTextBrowser(&window);
    text->setObjectName(QStringLiteral("helpText"));
    text->setHtml(QString::fromUtf8(kHelpHtml));
    layout->addWidget(text);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &window);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &window, &QWidget::close);
    layout->addWidget(buttons);
    window.resize(520, 420);
    window.show();
    return app.exec();
}
