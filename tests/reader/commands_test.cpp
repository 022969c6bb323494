// The help command's path in the locale's 8-bit encoding, and the web link.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "commands/commands.h"
#include "reader_fixture.h"

namespace {

class LocaleScope {
public:
    explicit LocaleScope(const char* locale) : saved_(std::setlocale(LC_CTYPE, nullptr)) { std::setlocale(LC_CTYPE, locale); }
    ~LocaleScope() { std::setlocale(LC_CTYPE, saved_.c_str()); }
    bool active(const char* locale) const { return std::string(std::setlocale(LC_CTYPE, nullptr)) == locale; }

private:
    std::string saved_;
};

TEST(HelpCommand, PathsTheLocaleCannotHoldNameNoFile)
{
    LocaleScope ascii("C");
    ASSERT_TRUE(ascii.active("C"));
    EXPECT_EQ(commands::toLocal8Bit("/books/pic/help.exe"), "/books/pic/help.exe");
    EXPECT_EQ(commands::toLocal8Bit("/books/书库/pic/help.exe"), "/books/?" "?/pic/help.exe");  // split: "??/" is a trigraph
    EXPECT_FALSE(commands::shellExecute(commands::toLocal8Bit("/books/书库/pic/help.exe")));
}

TEST(HelpCommand, AFolderOutsideTheLocaleStartsNothingAndParksTheFocus)
{
    test::ReaderUnderTest reader;
    // The same installation reached through a folder whose name the locale cannot hold.
    const auto chinese = reader.book.root().parent_path() / (reader.book.root().filename().string() + "-书");
    std::filesystem::create_directory_symlink(reader.book.root(), chinese);
    core::overrideApplicationFolder(chinese.string());
    {
        LocaleScope ascii("C");
        commands::Help(*reader.form);
    }
    EXPECT_EQ(QApplication::focusWidget(), reader.form->Text1);
    // In a UTF-8 locale the same folder works. These starts are the events the test waits on:
    // a start in the C locale, had there been one, came before them and would show as a third.
    LocaleScope utf8("C.UTF-8");
    ASSERT_TRUE(utf8.active("C.UTF-8"));
    for (std::size_t starts = 1; starts <= 2; ++starts) {
        commands::Help(*reader.form);
        QTRY_VERIFY_WITH_TIMEOUT(test::readFile(reader.book.helpTrace()).size() >= 8 * starts, 5000);
    }
    const auto trace = test::readFile(reader.book.helpTrace());
    EXPECT_EQ(std::string(trace.begin(), trace.end()), "started\nstarted\n") << "only the UTF-8 starts ran";
    core::overrideApplicationFolder(reader.book.folder());
    std::filesystem::remove(chinese);
    EXPECT_TRUE(reader.errors.empty());
}

}  // namespace
