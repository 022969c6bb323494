#pragma once
// The real reader window on a temporary book, with unhandled errors collected instead of
// ending the test program.
#include <QApplication>
#include <QTest>

#include <memory>
#include <vector>

#include "app/form2.h"
#include "book_fixture.h"
#include "jet/ado.h"
#include "reader/form1.h"
#include "reader/guard.h"
#include "swf/flash_control.h"
#include "web/web_browser.h"

namespace test {

class ReaderUnderTest {
public:
    explicit ReaderUnderTest(const StoreOptions& options = {}) : book(options)
    {
        reader::setUnhandledErrorHandler([this](const reader::ErrorReport& report) { errors.push_back(report); });
        form2.Form_Load();
        form = &form2.Form1();
        (void)QTest::qWaitForWindowExposed(form);
        form->activateWindow();
        (void)QTest::qWaitForWindowActive(form);
    }
    ~ReaderUnderTest() { reader::setUnhandledErrorHandler({}); }

    swf::ShockwaveFlash* flash(int number) const { return form->ShockwaveFlash(number); }
    bool shown(QWidget* widget) const { return widget->isVisibleTo(form); }
    bool menuShown() const
    {
        int visible = 0;
        for (int n = 21; n <= 35; ++n)
            visible += shown(flash(n));
        EXPECT_TRUE(visible == 0 || visible == 15) << "the contents menu is partly visible: " << visible;
        return visible == 15;
    }
    void click(QWidget* widget)
    {
        QTest::mouseClick(widget, Qt::LeftButton, {}, QPoint(widget->width() / 2, widget->height() / 2));
    }
    std::string page(std::string_view relative) const { return book.folder() + std::string(relative); }

    TempBook book;
    app::Form2 form2;
    reader::Form1* form = nullptr;
    std::vector<reader::ErrorReport> errors;
};

}  // namespace test
