#include "reader/form1.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include "commands/commands.h"
#include "content/extract_chapter.h"
#include "core/install_path.h"
#include "jet/ado.h"
#include "navigation/navigation.h"
#include "reader/accessibility.h"
#include "reader/guard.h"
#include "reader/layout.h"
#include "swf/flash_control.h"
#include "web/web_browser.h"

namespace reader {
namespace {

const QColor kGrey(128, 128, 128);
constexpr std::string_view kStartPage = "\\res\\1p.html";
constexpr std::string_view kChapterSource = "select m1 from b1";

int flashNumber(std::string_view name)
{
    constexpr std::string_view prefix = "ShockwaveFlash";
    return std::stoi(std::string(name.substr(prefix.size())));
}

}  // namespace

void LinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit Click();
}

Form1::Form1(const std::shared_ptr<jet::Connection>& adocnaccess, QWidget* parent)
    : QWidget(parent), adocnaccess_(adocnaccess)
{
    setWindowTitle("Talvorin");
    setWindowIcon(QIcon(":/talvorin/talvorin.ico"));
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kGrey);
    setPalette(palette);
    setAutoFillBackground(true);
    picture_.load(":/talvorin/background.jpg");
    picture_.setDevicePixelRatio(1.0);  // natural size: one image pixel per logical pixel
    buildControls();
}

Form1::~Form1() = default;

void Form1::buildControls()
{
    // Created from the bottom of the table up: a later sibling is drawn over an earlier one.
    for (auto row = kLayout.rbegin(); row != kLayout.rend(); ++row) {
        QWidget* widget = nullptr;
        switch (row->kind) {
        case ControlKind::Flash: {
            auto* flash = new swf::ShockwaveFlash(this);
            const int number = flashNumber(row->name);
            flash_.at(static_cast<std::size_t>(number)) = flash;
            connect(flash, &swf::ShockwaveFlash::GotFocus, this, [this, number] { ShockwaveFlash_GotFocus(number); });
            widget = flash;
            break;
        }
        case ControlKind::Browser:
            WebBrowser1 = new web::WebBrowser(this);
            widget = WebBrowser1;
            break;
        case ControlKind::TextBox: {
            auto* box = new QLineEdit(QString::fromUtf8(row->name.data(), static_cast<int>(row->name.size())), this);
            (row->name == "Text1" ? Text1 : Text2) = box;
            widget = box;
            break;
        }
        case ControlKind::Label: {
            Label1 = new LinkLabel("Corvanta Team", this);
            // The designed face, or the nearest installed one: a condensed sans of the same
            // width, so that the caption fits the label's fixed size.
            QFont font;
            font.setFamilies({"Franklin Gothic Demi", "Franklin Gothic Medium", "DejaVu Sans Condensed",
                              "Liberation Sans Narrow"});
            font.setStyleHint(QFont::SansSerif);
            font.setPointSize(12);
            font.setWeight(QFont::Normal);
            Label1->setFont(font);
            QPalette palette = Label1->palette();
            palette.setColor(QPalette::WindowText, kGrey);
            Label1->setPalette(palette);
            Label1->setAutoFillBackground(false);
            Label1->setFocusPolicy(Qt::NoFocus);
            Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            connect(Label1, &LinkLabel::Click, this, [this] { guarded([this] { Label1_Click(); }); });
            widget = Label1;
            break;
        }
        }
        widget->setObjectName(QString::fromUtf8(row->name.data(), static_cast<int>(row->name.size())));
        widget->setGeometry(twipsToPixels(row->left, row->top, row->width, row->height));
        if (row->kind == ControlKind::Flash)
            describeFlashControl(widget);
    }

    // The tab order, skipping the label, which never takes the focus.
    std::array<QWidget*, kLayout.size()> byTab{};
    for (const auto& row : kLayout)
        byTab.at(static_cast<std::size_t>(row.tabIndex)) = control(row.name);
    QWidget* previous = nullptr;
    for (QWidget* widget : byTab) {
        if (!widget || widget == Label1)
            continue;
        if (previous)
            setTabOrder(previous, widget);
        previous = widget;
    }
}

swf::ShockwaveFlash* Form1::ShockwaveFlash(int number) const
{
    if (number < 0 || number >= static_cast<int>(flash_.size()))
        return nullptr;
    return flash_[static_cast<std::size_t>(number)];
}

QWidget* Form1::control(std::string_view name) const
{
    return findChild<QWidget*>(QString::fromUtf8(name.data(), static_cast<int>(name.size())),
                               Qt::FindDirectChildrenOnly);
}

void Form1::setOuterSize(QMargins frame)
{
    frame_ = frame;
    const QSize outer = outerSizePixels();
    resize(outer.width() - frame.left() - frame.right(), outer.height() - frame.top() - frame.bottom());
}

void Form1::centreOnScreen()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    placedAt_ = centredOn(screen->geometry(), outerSizePixels());
    move(*placedAt_);
}

bool Form1::userHasPlacedWindow() const
{
    if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized))
        return true;
    const QSize client = outerSizePixels().shrunkBy(frame_);
    return size() != client || (placedAt_ && pos() != *placedAt_);
}

void Form1::applyFrameExtents(QMargins frame)
{
    // The user's own placement stands: a window already moved, resized or maximised keeps
    // where and how big the user made it.
    if (frame.isNull() || frame == frame_ || userHasPlacedWindow())
        return;
    setOuterSize(frame);
    centreOnScreen();
}

// The window manager reports its frame only once the window is mapped. When it does, the
// client area is sized once more so that the outer size is the designed one; without a
// window manager (or before it answers) the standard frame stands.
void Form1::watchFrameExtents()
{
    auto* timer = new QTimer(this);
    timer->setInterval(50);
    auto attempts = std::make_shared<int>(0);
    connect(timer, &QTimer::timeout, this, [this, timer, attempts] {
        const QRect outer = frameGeometry();
        const QRect inner = geometry();
        const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(),
                             outer.right() - inner.right(), outer.bottom() - inner.bottom());
        applyFrameExtents(frame);
        if (!frame.isNull() || ++*attempts >= 40)
            timer->deleteLater();
    });
    timer->start();
}

void Form1::Show()
{
    if (!loaded_) {
        Form_Load();
        loaded_ = true;
    }
    centreOnScreen();
    WebBrowser1->setFocus();  // the first control in tab order takes the first focus
    show();
    raise();
    activateWindow();
    watchFrameExtents();
}

void Form1::Form_Load()
{
    // 1. The outer size.
    setOuterSize(frame_);
    // 2. The browser into place; 3. silent.
    WebBrowser1->move(twipsToPixels(kBrowserLeftTwips), WebBrowser1->y());
    WebBrowser1->setSilent(true);
    // 4. Every Flash control's movie, in the table's order.
    for (const auto& [name, movie] : kMovies)
        ShockwaveFlash(flashNumber(name))->setMovie(QString::fromStdString(core::applicationFolder() + std::string(movie)));
    // 5. The contents menu hidden.
    Text1_Click();
    // 6, 7. The cover page.
    pageIndex_ = 0;
    currentPage_ = core::applicationFolder() + std::string(kStartPage);
    navigateWebBrowser1(currentPage_);
    // 8. The chapter recordset on the data module's connection.
    if (!rsxs_)
        rsxs_ = std::make_shared<jet::Recordset>();
    rsxs_->ActiveConnection = adocnaccess_;
    rsxs_->Source = std::string(kChapterSource);
    rsxs_->Open();
    // 9. No step back from the first page.
    setUpArrowVisible(false);
}

void Form1::Form_Unload()
{
    if (!rsxs_)
        rsxs_ = std::make_shared<jet::Recordset>();
    rsxs_->Close();
    rsxs_.reset();
}

void Form1::closeEvent(QCloseEvent* event)
{
    if (loaded_) {
        loaded_ = false;  // unloads once, however often the window is asked to close
        guarded([this] { Form_Unload(); });
    }
    event->accept();
}

void Form1::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // On a high-density screen the picture is scaled up: smoothly, not in blocks.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!picture_.isNull())
        painter.drawPixmap(QPoint(0, 0), picture_);
}

void Form1::ShockwaveFlash_GotFocus(int number)
{
    // Moving the focus inside an action (hiding the focused button, parking on Text1) must not
    // start another action.
    if (handling_)
        return;
    handling_ = true;
    guarded([this, number] {
        switch (number) {
        case 2: commands::Help(*this); break;
        case 3: commands::Exit();
        case 10: navigation::ContentsButton(*this); break;
        case 11: navigation::StepBack(*this); break;
        case 12: navigation::StepForward(*this); break;
        default:
            if (number >= 21 && number <= 35)
                navigation::MenuButtonPressed(*this, number);
            break;  // ShockwaveFlash4 and ShockwaveFlash5 are decorative
        }
    });
    handling_ = false;
}

void Form1::Label1_Click()
{
    commands::WebLink(*this);
}

jet::Recordset& Form1::rsxs()
{
    if (!rsxs_)
        rsxs_ = std::make_shared<jet::Recordset>();
    return *rsxs_;
}

void Form1::Text1_Click()
{
    for (int number = 21; number <= 35; ++number)
        ShockwaveFlash(number)->setVisible(false);
}

void Form1::Text2_Click()
{
    for (int number = 21; number <= 35; ++number)
        ShockwaveFlash(number)->setVisible(true);
}

void Form1::setUpArrowVisible(bool visible) { ShockwaveFlash(11)->setVisible(visible); }
void Form1::setDownArrowVisible(bool visible) { ShockwaveFlash(12)->setVisible(visible); }
void Form1::setText2(const std::string& text) { Text2->setText(QString::fromStdString(text)); }
void Form1::parkFocusOnText1() { Text1->setFocus(Qt::OtherFocusReason); }
void Form1::navigateWebBrowser1(const std::string& url) { WebBrowser1->Navigate(QString::fromStdString(url)); }

void Form1::ExtractChapter(const std::string& pagePath)
{
    content::ExtractChapter(rsxs(), pagePath);
}

}  // namespace reader
