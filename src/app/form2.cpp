#include "app/form2.h"

#include <cstdio>
#include <cstdlib>

#include "content/open_access.h"
#include "reader/guard.h"

namespace app {

Form2::Form2() = default;

Form2::~Form2() = default;

std::string Form2::OpenAccess()
{
    return content::OpenAccess(adocnaccess, [] {
        std::fprintf(stderr, "数据库连接失败！\n");
        reader::showMessageBox("出错啦！", "数据库连接失败！");
        std::fflush(nullptr);
        std::_Exit(reader::kUnhandledErrorExitStatus);  // at once: no window, no unload
    });
}

void Form2::Form_Load()
{
    OpenAccess();
    Form1().Show();
    // Form2 has no window of its own, so unloading it leaves nothing to destroy; the
    // instance and adocnaccess live on.
}

reader::Form1& Form2::Form1()
{
    if (!form1_)
        form1_ = std::make_unique<reader::Form1>(adocnaccess);
    return *form1_;
}

}  // namespace app
