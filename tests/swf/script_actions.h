#pragma once
// Action bytes assembled by hand for the player's script tests: pushes, calls, members and
// anonymous functions, enough to drive clips without a compiler.
#include <QByteArray>
#include <cstdint>
#include <cstring>

#include "handmade_swf.h"

namespace swf::test {

class ScriptActions {
public:
    ScriptActions& str(const char* s) { return record(0x96, QByteArray(1, '\0') + QByteArray(s) + '\0'); }
    ScriptActions& num(int v) { return record(0x96, QByteArray(1, '\x07') + u32(uint32_t(v))); }
    // A double as the Push action stores it: the high word first.
    ScriptActions& dbl(double v) {
        uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        return record(0x96, QByteArray(1, '\x06') + u32(uint32_t(bits >> 32)) + u32(uint32_t(bits)));
    }
    ScriptActions& op(uint8_t code) {
        bytes_ += char(code);
        return *this;
    }
    ScriptActions& getVar(const char* name) { return str(name).op(0x1C); }
    ScriptActions& trace() { return op(0x26); }
    // object.method(one argument already pushed), result dropped.
    ScriptActions& call1(const char* object, const char* method) { return num(1).getVar(object).str(method).op(0x52).op(0x17); }
    ScriptActions& call0(const char* object, const char* method) { return num(0).getVar(object).str(method).op(0x52).op(0x17); }
    ScriptActions& traceMember(const char* object, const char* name) { return getVar(object).str(name).op(0x4E).trace(); }
    // GotoFrame2 with the frame value already pushed.
    ScriptActions& gotoFrame2(bool play, int bias) {
        QByteArray body(1, char((play ? 1 : 0) | (bias ? 2 : 0)));
        if (bias) body += u16(bias);
        return record(0x9F, body);
    }
    // An anonymous function with no parameters, left on the stack.
    ScriptActions& function(const QByteArray& code) {
        bytes_ += char(0x9B);
        bytes_ += u16(1 + 2 + 2);
        bytes_ += '\0';
        bytes_ += u16(0) + u16(int(code.size()));
        bytes_ += code;
        return *this;
    }
    // Any action with a body, given as its raw bytes.
    ScriptActions& action(uint8_t code, const QByteArray& body) { return record(code, body); }
    QByteArray body() const { return bytes_; }
    QByteArray end() const { return bytes_ + '\0'; }

private:
    ScriptActions& record(uint8_t code, const QByteArray& body) {
        bytes_ += char(code);
        bytes_ += u16(int(body.size()));
        bytes_ += body;
        return *this;
    }
    QByteArray bytes_;
};

}  // namespace swf::test
