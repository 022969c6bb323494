#include "reader/accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QVariant>
#include <QWidget>

namespace reader {
namespace {

constexpr const char* kDecorativeProperty = "talvorinDecorative";

QString toQString(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool isDecorative(const QWidget* widget)
{
    return widget->property(kDecorativeProperty).toBool();
}

// A Flash button: its action runs when it gains the focus, so pressing it is focusing it. The
// two decorative movies are pictures without an action. Asked each time, since the interface
// may be made before the reader has described its control.
class FlashControlAccessible : public QAccessibleWidget {
public:
    explicit FlashControlAccessible(QWidget* widget) : QAccessibleWidget(widget, QAccessible::Button) {}

    QAccessible::Role role() const override
    {
        return isDecorative(widget()) ? QAccessible::Graphic : QAccessible::Button;
    }
    QStringList actionNames() const override
    {
        return isDecorative(widget()) ? QStringList() : QStringList{pressAction()};
    }
    void doAction(const QString& action) override
    {
        if (action == pressAction() && !isDecorative(widget()) && widget()->isVisible() && widget()->isEnabled())
            widget()->setFocus(Qt::OtherFocusReason);
    }
};

QAccessibleInterface* flashControlAccessible(const QString& className, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget || className != QLatin1String("swf::ShockwaveFlash"))
        return nullptr;
    return new FlashControlAccessible(widget);
}

}  // namespace

const std::array<AccessibleText, 22> kAccessibleTexts = {{
    {"ShockwaveFlash12", "Next page", "Shows the next page of the book"},
    {"ShockwaveFlash11", "Previous page", "Shows the previous page of the book"},
    {"ShockwaveFlash10", "Contents", "Shows the contents page and the contents menu"},
    {"ShockwaveFlash2", "Help", "Starts the book's help program"},
    {"ShockwaveFlash3", "Exit", "Closes the book"},
    {"ShockwaveFlash34", "Cover", "Contents menu: opens the cover"},
    {"ShockwaveFlash35", "Front matter", "Contents menu: opens the front matter"},
    {"ShockwaveFlash21", "Chapter 1", "Contents menu: opens chapter 1"},
    {"ShockwaveFlash22", "Chapter 2", "Contents menu: opens chapter 2"},
    {"ShockwaveFlash23", "Chapter 3", "Contents menu: opens chapter 3"},
    {"ShockwaveFlash24", "Chapter 4", "Contents menu: opens chapter 4"},
    {"ShockwaveFlash25", "Chapter 5", "Contents menu: opens chapter 5"},
    {"ShockwaveFlash26", "Chapter 6", "Contents menu: opens chapter 6"},
    {"ShockwaveFlash27", "Chapter 7", "Contents menu: opens chapter 7"},
    {"ShockwaveFlash28", "Chapter 8", "Contents menu: opens chapter 8"},
    {"ShockwaveFlash29", "Chapter 9", "Contents menu: opens chapter 9"},
    {"ShockwaveFlash30", "Chapter 10", "Contents menu: opens chapter 10"},
    {"ShockwaveFlash31", "Chapter 11", "Contents menu: opens chapter 11"},
    {"ShockwaveFlash32", "Chapter 12", "Contents menu: opens chapter 12"},
    {"ShockwaveFlash33", "Chapter 13", "Contents menu: opens chapter 13"},
    {"ShockwaveFlash4", "Decoration", "An animated ornament of the window; it has no action", true},
    {"ShockwaveFlash5", "Decoration", "An animated ornament of the window; it has no action", true},
}};

void describeFlashControl(QWidget* flashControl)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(flashControlAccessible);
        return true;
    }();
    (void)factoryInstalled;
    const QString name = flashControl->objectName();
    for (const auto& text : kAccessibleTexts) {
        if (name != toQString(text.control))
            continue;
        flashControl->setAccessibleName(toQString(text.name));
        flashControl->setAccessibleDescription(toQString(text.description));
        flashControl->setProperty(kDecorativeProperty, text.decorative);
    }
}

}  // namespace reader
