// AVM1 action records. Only the timeline actions are kept (with Push and Pop, so that
// gotoFrame2 finds its frame); every other action is dropped here.
#include <cmath>

#include "swf/parse_internal.h"

namespace swf::detail {
namespace {

Action action(ActionOp op) {
    Action a;
    a.op = op;
    return a;
}

QString numberText(double v) {
    if (std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 1e15) return QString::number(qint64(v));
    return QString::number(v, 'g', 15);
}

}  // namespace

ActionCode keepActionCode(std::span<const uint8_t> bytes) {
    if (bytes.empty()) return nullptr;
    return std::make_shared<const std::vector<uint8_t>>(bytes.begin(), bytes.end());
}

std::shared_ptr<const ActionList> parseActions(ByteReader& r) {
    auto list = std::make_shared<ActionList>();
    std::vector<QString> pool;
    while (!r.atEnd()) {
        uint8_t code = r.u8();
        if (code == 0) break;
        size_t length = code >= 0x80 ? r.u16() : 0;
        ByteReader body(r.bytes(std::min(length, r.remaining())));
        switch (code) {
            case 0x04: list->push_back(action(ActionOp::NextFrame)); break;
            case 0x05: list->push_back(action(ActionOp::PrevFrame)); break;
            case 0x06: list->push_back(action(ActionOp::Play)); break;
            case 0x07: list->push_back(action(ActionOp::Stop)); break;
            case 0x17: list->push_back(action(ActionOp::Pop)); break;
            case 0x81: {
                Action a = action(ActionOp::GotoFrame);
                a.frame = body.u16();
                list->push_back(a);
                break;
            }
            case 0x8C: {
                Action a = action(ActionOp::GotoLabel);
                a.label = QString::fromUtf8(QByteArray::fromStdString(body.cstring()));
                list->push_back(a);
                break;
            }
            case 0x9F: {
                Action a = action(ActionOp::GotoFrameDynamic);
                uint8_t flags = body.u8();
                a.play = flags & 1;
                if (flags & 2) a.frame = body.u16();
                list->push_back(a);
                break;
            }
            case 0x88: {  // ConstantPool, for pushed constants
                pool.clear();
                unsigned count = body.u16();
                for (unsigned i = 0; i < count && !body.atEnd(); ++i)
                    pool.push_back(QString::fromUtf8(QByteArray::fromStdString(body.cstring())));
                break;
            }
            case 0x96: {
                Action a = action(ActionOp::Push);
                while (!body.atEnd()) {
                    uint8_t type = body.u8();
                    switch (type) {
                        case 0: a.pushed.push_back(QString::fromUtf8(QByteArray::fromStdString(body.cstring()))); break;
                        case 1: a.pushed.push_back(numberText(body.f32())); break;
                        case 2:
                        case 3: a.pushed.push_back(QString()); break;
                        case 4: body.u8(); a.pushed.push_back(QString()); break;
                        case 5: a.pushed.push_back(body.u8() ? QStringLiteral("1") : QStringLiteral("0")); break;
                        case 6: a.pushed.push_back(numberText(body.f64())); break;
                        case 7: a.pushed.push_back(numberText(int32_t(body.u32()))); break;
                        case 8: {
                            size_t i = body.u8();
                            a.pushed.push_back(i < pool.size() ? pool[i] : QString());
                            break;
                        }
                        case 9: {
                            size_t i = body.u16();
                            a.pushed.push_back(i < pool.size() ? pool[i] : QString());
                            break;
                        }
                        default: body.rest(); break;
                    }
                }
                list->push_back(std::move(a));
                break;
            }
            default: break;  // every other action is skipped
        }
    }
    return list;
}

}  // namespace swf::detail
