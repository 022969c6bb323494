#pragma once
// Form2, the data module and start-up object. It is never shown: its load opens the chapter
// store (OpenAccess), shows the reader window Form1 and unloads itself. The instance, and
// with it the open connection adocnaccess, lives until the process ends.
#include <memory>
#include <string>

#include <QObject>

#include "jet/ado.h"
#include "reader/form1.h"

namespace app {

class Form2 : public QObject {
    Q_OBJECT
public:
    Form2();
    ~Form2() override;

    // The one connection to the chapter store, created closed on first use.
    std::shared_ptr<jet::Connection> adocnaccess;

    // Opens adocnaccess unless it is open: "数据库连接成功" when this call opened it, "" when it
    // was open already. When the store cannot be opened it does not return.
    std::string OpenAccess();

    // The start-up sequence: OpenAccess, Form1 shown modelessly (its whole load runs inside
    // that call), then Form2 unloads itself.
    void Form_Load();

    // The reader window; created on first reference.
    reader::Form1& Form1();

private:
    std::unique_ptr<reader::Form1> form1_;
};

}  // namespace app
