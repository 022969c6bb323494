// Built-in classes without a display side: Object, Function, Array, String, Number, Boolean,
// Math, Error and the global functions.
#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "swf/avm1/vm.h"

namespace swf::avm1 {
namespace {

using Args = std::span<const Value>;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();


// ---- Object ----

Value objectCtor(EngineImpl& e, Object*, const Value&, Args args) {
    if (!args.empty() && args[0].isObject()) return args[0];
    if (!args.empty() && !args[0].isNullish()) return Value(e.toObject(args[0]));
    return Value(e.makeObject());
}

Value objectToString(EngineImpl& e, Object*, const Value& thisv, Args) {
    Object* o = thisv.object();
    if (o && o->isFunction()) return Value("[type Function]");
    (void)e;
    return Value("[object Object]");
}

Value objectValueOf(EngineImpl&, Object*, const Value& thisv, Args) { return thisv; }

Value objectHasOwnProperty(EngineImpl& e, Object*, const Value& thisv, Args args) {
    Object* o = thisv.object();
    if (!o || args.empty()) return Value(false);
    return Value(e.hasOwn(o, e.toStr(args[0])));
}

Value objectIsPropertyEnumerable(EngineImpl& e, Object*, const Value& thisv, Args args) {
    Object* o = thisv.object();
    if (!o || args.empty()) return Value(false);
    Slot* p = e.findOwn(o, e.key(e.toStr(args[0]).view()));
    if (!p) {
        size_t i;
        return Value(o->kind == ObjKind::Array && EngineImpl::arrayIndex(e.toStr(args[0]).view(), i) &&
                     i < o->elements.size() && !o->elements[i].isHole());
    }
    return Value(!(p->flags & prop_flag::kDontEnum));
}

Value objectIsPrototypeOf(EngineImpl&, Object*, const Value& thisv, Args args) {
    Object* o = thisv.object();
    Object* v = arg(args, 0).object();
    if (!o || !v) return Value(false);
    int guard = 0;
    for (Object* p = v->proto; p && guard < 256; p = p->proto, ++guard)
        if (p == o) return Value(true);
    return Value(false);
}

Value objectAddProperty(EngineImpl& e, Object*, const Value& thisv, Args args) {
    Object* o = thisv.object();
    if (!o || args.size() < 2) return Value(false);
    Str name = e.toStr(args[0]);
    Object* getter = args[1].object();
    Object* setter = arg(args, 2).object();
    if (name.size() == 0 || !getter || !getter->isFunction()) return Value(false);
    // A setter must be given: a function, or null for a read-only property.
    if (args.size() < 3 || (!args[2].isNull() && !(setter && setter->isFunction()))) return Value(false);
    std::string k = e.key(name.view());
    Slot* p = o->props.find(k);
    if (!p) p = &o->props.insert(k, name);
    // The value underneath stays: a watch still reports it as the old value.
    p->getter = getter;
    p->setter = setter;
    return Value(true);
}

Value objectWatch(EngineImpl& e, Object*, const Value& thisv, Args args) {
    Object* o = thisv.object();
    Object* cb = arg(args, 1).object();
    if (!o || args.size() < 2 || !cb || !cb->isFunction()) return Value(false);
    if (!o->watches) o->watches = std::make_unique<std::unordered_map<std::string, std::pair<Object*, Value>>>();
    (*o->watches)[e.key(e.toStr(args[0]).view())] = {cb, arg(args, 2)};
    return Value(true);
}

Value objectUnwatch(EngineImpl& e, Object*, const Value& thisv, Args args) {
    Object* o = thisv.object();
    if (!o || !o->watches || args.empty()) return Value(false);
    return Value(o->watches->erase(e.key(e.toStr(args[0]).view())) > 0);
}

Value objectRegisterClass(EngineImpl& e, Object*, const Value&, Args args) {
    if (args.size() < 2) return Value(false);
    // A class is a function; null (or nothing) takes the registration back.
    Object* cls = args[1].object();
    if (cls ? !cls->isFunction() : !args[1].isNullish()) return Value(false);
    e.registeredClasses[e.toString(args[0])] = cls;
    return Value(true);
}

// ---- Function ----

Value functionCtor(EngineImpl& e, Object*, const Value&, Args) { return Value(e.makeObject()); }

Value functionCall(EngineImpl& e, Object*, const Value& thisv, Args args) {
    Value self = args.empty() ? Value() : args[0];
    if (self.isNullish()) self = Value(e.global);  // no object to run on: _global
    return e.call(thisv, self, args.size() > 1 ? args.subspan(1) : Args{});
}

Value functionApply(EngineImpl& e, Object*, const Value& thisv, Args args) {
    Value self = args.empty() ? Value() : args[0];
    if (self.isNullish()) self = Value(e.global);
    std::vector<Value> list;
    if (Object* a = arg(args, 1).object()) {
        double len = e.toNumber(e.get(a, "length"));
        size_t n = len > 0 ? size_t(std::min(len, double(e.limits.maxArrayLength))) : 0;
        for (size_t i = 0; i < n; ++i) list.push_back(e.get(a, Str(std::to_string(i))));
    }
    return e.call(thisv, self, list);
}

// ---- Boolean, Number ----

Value booleanCall(EngineImpl& e, Object*, const Value&, Args args) {
    if (args.empty()) return Value();
    return Value(e.toBoolean(args[0]));
}

Value booleanConstruct(EngineImpl& e, Object* callee, const Value&, Args args) {
    Object* o = e.alloc(ObjKind::Boolean, e.get(callee, "prototype").object());
    o->primitive = Value(!args.empty() && e.toBoolean(args[0]));
    return Value(o);
}

Value booleanToString(EngineImpl& e, Object*, const Value& thisv, Args) {
    if (thisv.type == Type::Boolean) return Value(thisv.b ? "true" : "false");
    Object* o = thisv.object();
    if (o && o->kind == ObjKind::Boolean) return Value(e.toStr(o->primitive));
    return Value();
}

Value booleanValueOf(EngineImpl&, Object*, const Value& thisv, Args) {
    if (thisv.type == Type::Boolean) return thisv;
    Object* o = thisv.object();
    if (o && o->kind == ObjKind::Boolean) return o->primitive;
    return Value();
}

Value numberCall(EngineImpl& e, Object*, const Value&, Args args) {
    return Value(args.empty() ? 0.0 : e.toNumber(args[0]));
}

Value numberConstruct(EngineImpl& e, Object* callee, const Value&, Args args) {
    Object* o = e.alloc(ObjKind::Number, e.get(callee, "prototype").object());
    o->primitive = Value(args.empty() ? 0.0 : e.toNumber(args[0]));
    return Value(o);
}

Value numberToStringFn(EngineImpl& e, Object*, const Value& thisv, Args args) {
    double v;
    if (thisv.isNumber()) v = thisv.n;
    else if (Object* o = thisv.object(); o && o->kind == ObjKind::Number) v = o->primitive.n;
    else return Value();
    int radix = args.empty() || args[0].isUndefined() ? 10 : clampToInt(e.toNumber(args[0]));
    return Value(numberToRadix(v, radix));
}

Value numberValueOf(EngineImpl&, Object*, const Value& thisv, Args) {
    if (thisv.isNumber()) return thisv;
    if (Object* o = thisv.object(); o && o->kind == ObjKind::Number) return o->primitive;
    return Value();
}

// ---- String ----

std::string thisString(EngineImpl& e, const Value& thisv) {
    if (thisv.isString()) return thisv.s.str();
    if (Object* o = thisv.object(); o && o->kind == ObjKind::String) return o->primitive.s.str();
    return e.toString(thisv);
}

Value stringCall(EngineImpl& e, Object*, const Value&, Args args) {
    return args.empty() ? Value("") : Value(e.toStr(args[0]));
}

Value stringConstruct(EngineImpl& e, Object* callee, const Value&, Args args) {
    Object* o = e.alloc(ObjKind::String, e.get(callee, "prototype").object());
    o->primitive = args.empty() ? Value("") : Value(e.toStr(args[0]));
    e.defineStringLength(o);
    return Value(o);
}

Value stringValueOf(EngineImpl& e, Object*, const Value& thisv, Args) { return Value(thisString(e, thisv)); }

int clampIndex(double v, int len) {
    if (std::isnan(v)) return 0;
    if (v < 0) return 0;
    if (v > len) return len;
    return int(v);
}

Value stringMethod(EngineImpl& e, Object* callee, const Value& thisv, Args args) {
    std::u16string s = toUtf16(thisString(e, thisv));
    int len = int(s.size());
    // Positions and counts are read as 32-bit integers, wrapping as the player's do.
    auto num = [&](size_t i) { return double(toInt32(e.toNumber(arg(args, i)))); };
    auto out = [](std::u16string_view v) { return Value(toUtf8(v)); };
    // The searching and cutting methods answer nothing at all when given no argument.
    if (args.empty() && callee->magic >= 3 && callee->magic <= 7) return Value();
    switch (callee->magic) {
        case 0: {  // charAt
            double i = num(0);
            if (i < 0 || i >= len) return Value("");
            return out(s.substr(size_t(i), 1));
        }
        case 1: {  // charCodeAt
            double i = num(0);
            if (i < 0) return Value(kNaN);
            if (i >= len) return e.codeVersion() < 6 ? Value(0.0) : Value(kNaN);
            return Value(double(s[size_t(i)]));
        }
        case 2: {  // concat
            std::string r = toUtf8(s);
            for (auto& a : args) r += e.toString(a);
            return Value(r);
        }
        case 3: case 4: {  // indexOf, lastIndexOf
            std::u16string needle = toUtf16(e.toString(arg(args, 0)));
            if (callee->magic == 3) {
                double from = args.size() > 1 ? num(1) : 0;
                if (from > len) return Value(-1.0);
                size_t p = s.find(needle, size_t(clampIndex(from, len)));
                return Value(p == std::u16string::npos ? -1.0 : double(p));
            }
            double st = args.size() > 1 && !args[1].isUndefined() ? num(1) : len;
            if (st < 0) return Value(-1.0);
            size_t p = s.rfind(needle, size_t(std::min<double>(st, len)));
            return Value(p == std::u16string::npos ? -1.0 : double(p));
        }
        case 5: {  // slice
            double a = args.empty() ? 0 : num(0), b = args.size() > 1 && !args[1].isUndefined() ? num(1) : len;
            if (std::isnan(a)) a = 0;
            if (std::isnan(b)) b = 0;
            if (a < 0) a += len;
            if (b < 0) b += len;
            int from = clampIndex(a, len), to = clampIndex(b, len);
            if (to <= from) return Value("");
            return out(s.substr(size_t(from), size_t(to - from)));
        }
        case 6: {  // substring
            int from = clampIndex(num(0), len);
            int to = args.size() > 1 && !args[1].isUndefined() ? clampIndex(num(1), len) : len;
            if (from > to) std::swap(from, to);
            return out(s.substr(size_t(from), size_t(to - from)));
        }
        case 7: {  // substr
            double a = num(0);
            if (std::isnan(a)) a = 0;
            if (a < 0) a = std::max(0.0, a + len);
            int from = clampIndex(a, len);
            double c = args.size() > 1 && !args[1].isUndefined() ? num(1) : len;
            if (std::isnan(c)) c = 0;
            if (c < 0) c = std::max(0.0, c + len - from);
            int count = int(std::min<double>(c, len - from));
            if (count <= 0) return Value("");
            return out(s.substr(size_t(from), size_t(count)));
        }
        case 8: case 9: {  // toLowerCase, toUpperCase
            for (auto& c : s) {
                if (callee->magic == 8 && c >= 'A' && c <= 'Z') c = char16_t(c + 32);
                else if (callee->magic == 9 && c >= 'a' && c <= 'z') c = char16_t(c - 32);
                else if (callee->magic == 8 && c >= 0xC0 && c <= 0xDE && c != 0xD7) c = char16_t(c + 32);
                else if (callee->magic == 9 && c >= 0xE0 && c <= 0xFE && c != 0xF7) c = char16_t(c - 32);
            }
            return out(s);
        }
        case 10: {  // split
            Object* arr = e.makeArray();
            double limit = args.size() > 1 && !args[1].isUndefined() ? num(1) : 4294967295.0;
            bool noSeparator = args.empty() || args[0].isUndefined();
            std::u16string sep;
            if (e.codeVersion() < 6) {
                // SWF 5 splits at commas by default and never between characters.
                sep = noSeparator ? u"," : toUtf16(e.toString(args[0]));
                if (sep.empty()) {
                    if (limit > 0) arr->elements.push_back(out(s));
                    return Value(arr);
                }
            } else if (noSeparator) {
                arr->elements.push_back(Value(toUtf8(s)));
                return Value(arr);
            } else {
                sep = toUtf16(e.toString(args[0]));
            }
            if (sep.empty()) {
                for (size_t i = 0; i < s.size() && arr->elements.size() < limit; ++i) arr->elements.push_back(out(s.substr(i, 1)));
                return Value(arr);
            }
            size_t start = 0;
            while (arr->elements.size() < limit) {
                size_t p = s.find(sep, start);
                if (p == std::u16string::npos) {
                    arr->elements.push_back(out(s.substr(start)));
                    break;
                }
                arr->elements.push_back(out(s.substr(start, p - start)));
                start = p + sep.size();
            }
            return Value(arr);
        }
        case 11: return Value(toUtf8(s));  // toString
    }
    return Value();
}

Value stringFromCharCode(EngineImpl& e, Object*, const Value&, Args args) {
    std::u16string s;
    for (auto& a : args) {
        char16_t c = char16_t(toUint32(e.toNumber(a)) & 0xFFFF);
        if (c == 0) break;  // the player's strings end at a NUL
        s.push_back(c);
    }
    return Value(toUtf8(s));
}

// ---- Math ----

std::mt19937_64& mathRng() {
    static std::mt19937_64 gen(std::random_device{}());
    return gen;
}

Value mathFn(EngineImpl& e, Object* callee, const Value&, Args args) {
    double x = args.empty() ? kNaN : e.toNumber(args[0]);
    double y = args.size() > 1 ? e.toNumber(args[1]) : kNaN;
    switch (callee->magic) {
        case 0: return Value(std::fabs(x));
        case 1: return Value(std::acos(x));
        case 2: return Value(std::asin(x));
        case 3: return Value(std::atan(x));
        case 4: return Value(std::atan2(x, y));
        case 5: return Value(std::ceil(x));
        case 6: return Value(std::cos(x));
        case 7: return Value(std::exp(x));
        case 8: return Value(std::floor(x));
        case 9: return Value(std::log(x));
        case 10: {
            if (args.empty()) return Value(-std::numeric_limits<double>::infinity());
            if (args.size() < 2) return Value(kNaN);
            if (std::isnan(x) || std::isnan(y)) return Value(kNaN);
            return Value(std::max(x, y));
        }
        case 11: {
            if (args.empty()) return Value(std::numeric_limits<double>::infinity());
            if (args.size() < 2) return Value(kNaN);
            if (std::isnan(x) || std::isnan(y)) return Value(kNaN);
            return Value(std::min(x, y));
        }
        case 12: return Value(std::pow(x, y));
        case 13: return Value(std::uniform_real_distribution<double>(0, 1)(mathRng()));
        case 14: return Value(std::floor(x + 0.5));
        case 15: return Value(std::sin(x));
        case 16: return Value(std::sqrt(x));
        case 17: return Value(std::tan(x));
    }
    return Value();
}

// ---- global functions ----

Value parseIntFn(EngineImpl& e, Object*, const Value&, Args args) {
    if (args.empty()) return Value();
    std::string s = e.toString(arg(args, 0));
    int radix = 0;
    if (args.size() > 1) {
        double r = e.toNumber(args[1]);
        if (!(r >= 2 && r < 37)) return Value(kNaN);
        radix = int(r);
    }
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    auto isHexMark = [](char c) { return c == 'x' || c == 'X'; };
    size_t i = 0;
    bool neg = false;
    if (s.size() >= 2 && s[0] == '0' && isHexMark(s[1])) {
        // "0x" counts only at the very start; a sign and blanks may follow it.
        i = 2;
        if (radix == 0) radix = 16;
        while (i < s.size() && isSpace(s[i])) ++i;
        if (i < s.size() && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
    } else if (s.size() >= 3 && (s[0] == '-' || s[0] == '+') && s[1] == '0' && isHexMark(s[2])) {
        // A signed "0x" loses its sign and only its first two characters: the digits start at
        // the 'x', which no radix below 34 reads.
        i = 2;
        if (radix == 0) radix = 10;
    } else {
        while (i < s.size() && isSpace(s[i])) ++i;
        bool leadingBlank = i > 0;
        if (i < s.size() && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
        if (radix == 0) {
            // Octal when the text is nothing but a 0-led run of octal digits.
            bool octal = !leadingBlank && i + 1 < s.size() && s[i] == '0' &&
                         s.find_first_not_of("01234567", i) == std::string::npos;
            radix = octal ? 8 : 10;
        }
    }
    double v = 0;
    bool any = false;
    for (; i < s.size(); ++i) {
        char c = s[i];
        int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'z' ? c - 'a' + 10 : c >= 'A' && c <= 'Z' ? c - 'A' + 10 : 99;
        if (d >= radix) break;
        v = v * radix + d;
        any = true;
    }
    if (!any) return Value(kNaN);
    return Value(neg ? -v : v);
}

Value parseFloatFn(EngineImpl& e, Object*, const Value&, Args args) {
    std::string s = e.toString(arg(args, 0));
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
    size_t p = i;
    if (p < s.size() && (s[p] == '-' || s[p] == '+')) ++p;
    size_t ds = p;
    while (p < s.size() && isdigit(static_cast<unsigned char>(s[p]))) ++p;
    bool any = p > ds;
    if (p < s.size() && s[p] == '.') {
        ++p;
        size_t f = p;
        while (p < s.size() && isdigit(static_cast<unsigned char>(s[p]))) ++p;
        any = any || p > f;
    }
    if (!any) return Value(kNaN);
    if (p < s.size() && (s[p] == 'e' || s[p] == 'E')) {
        size_t q = p + 1;
        if (q < s.size() && (s[q] == '-' || s[q] == '+')) ++q;
        size_t es = q;
        while (q < s.size() && isdigit(static_cast<unsigned char>(s[q]))) ++q;
        if (q > es) p = q;
    }
    return Value(std::strtod(s.substr(i, p - i).c_str(), nullptr));
}

// Without an argument both look at NaN, whatever undefined converts to in this version.
Value isNaNFn(EngineImpl& e, Object*, const Value&, Args args) { return Value(args.empty() || std::isnan(e.toNumber(args[0]))); }
Value isFiniteFn(EngineImpl& e, Object*, const Value&, Args args) { return Value(!args.empty() && std::isfinite(e.toNumber(args[0]))); }

Value escapeFn(EngineImpl& e, Object*, const Value&, Args args) {
    std::string s = e.toString(arg(args, 0)), out;
    for (unsigned char c : s) {
        if (isalnum(c)) {
            out += char(c);
        } else {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        }
    }
    return Value(out);
}

Value unescapeFn(EngineImpl& e, Object*, const Value&, Args args) {
    std::string s = e.toString(arg(args, 0)), out;
    auto hex = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    };
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() + 0 && hex(s[i + 1]) >= 0 && hex(s[i + 2]) >= 0) {
            out += char(hex(s[i + 1]) * 16 + hex(s[i + 2]));
            i += 2;
        } else if (s[i] == '+') {
            out += ' ';
        } else {
            out += s[i];
        }
    }
    return Value(out);
}

Value setPropFlags(EngineImpl& e, Object*, const Value&, Args args) {
    Object* o = arg(args, 0).object();
    if (!o) return Value();
    uint16_t setFlags = uint16_t(toUint32(e.toNumber(arg(args, 2))));
    uint16_t clearFlags = args.size() > 3 ? uint16_t(toUint32(e.toNumber(args[3]))) : 0;
    std::vector<std::string> names;
    const Value& list = arg(args, 1);
    bool all = list.isNull();
    if (Object* arr = list.object(); arr && arr->kind == ObjKind::Array) {
        for (auto& v : arr->elements) names.push_back(e.key(e.toString(v)));
    } else if (!all) {
        std::string text = e.toString(list);
        size_t start = 0;
        while (start <= text.size()) {
            size_t comma = text.find(',', start);
            if (comma == std::string::npos) comma = text.size();
            names.push_back(e.key(text.substr(start, comma - start)));
            start = comma + 1;
        }
    }
    auto& items = o->props.items();
    auto& keys = o->props.keys();
    for (size_t i = 0; i < items.size(); ++i) {
        if (!all && std::find(names.begin(), names.end(), keys[i]) == names.end()) continue;
        items[i].flags = uint16_t((items[i].flags & ~clearFlags) | setFlags);
    }
    return Value();
}

// ---- timers ----

Value setTimer(EngineImpl& e, Object* callee, const Value&, Args args) {
    bool repeat = callee->magic == 0;
    Timer t;
    size_t next;
    if (args.empty()) return Value();
    if (args[0].isObject() && args[0].o->isFunction()) {
        t.callee = args[0];
        next = 1;
    } else if (args.size() >= 2 && args[0].isObject()) {
        t.callee = args[0];
        t.method = e.toStr(args[1]);
        next = 2;
    } else {
        return Value();
    }
    if (arg(args, next).isUndefined()) return Value();
    double interval = e.toNumber(arg(args, next));
    if (std::isnan(interval) || interval < 0) interval = 0;
    t.interval = interval;
    t.due = e.timeMs + std::max(interval, 1.0);
    t.repeat = repeat;
    t.id = e.nextTimerId++;
    for (size_t i = next + 1; i < args.size(); ++i) t.args.push_back(args[i]);
    e.timers.push_back(std::move(t));
    return Value(double(e.timers.back().id));
}

Value clearTimer(EngineImpl& e, Object*, const Value&, Args args) {
    double id = e.toNumber(arg(args, 0));
    std::erase_if(e.timers, [&](const Timer& t) { return t.id == id; });
    return Value();
}

// ---- Error ----

Value errorCtor(EngineImpl& e, Object*, const Value& thisv, Args args) {
    if (Object* o = thisv.object(); o && !args.empty() && !args[0].isUndefined()) e.set(o, "message", args[0]);
    return Value();
}

Value errorToString(EngineImpl& e, Object*, const Value& thisv, Args) {
    return Value(e.toStr(e.getValueMember(thisv, "message")));
}

}  // namespace

void installObjectAndFunction(EngineImpl& e) {
    Object* op = e.objectProto;
    Object* fp = e.functionProto;
    Object* objectClass = e.makeClass("Object", objectCtor, op);
    e.method(op, "toString", objectToString);
    e.method(op, "valueOf", objectValueOf);
    e.method(op, "hasOwnProperty", objectHasOwnProperty);
    e.method(op, "isPropertyEnumerable", objectIsPropertyEnumerable);
    e.method(op, "isPrototypeOf", objectIsPrototypeOf);
    e.method(op, "addProperty", objectAddProperty);
    e.method(op, "watch", objectWatch);
    e.method(op, "unwatch", objectUnwatch);
    e.method(objectClass, "registerClass", objectRegisterClass);
    e.makeClass("Function", functionCtor, fp);
    e.method(fp, "call", functionCall);
    e.method(fp, "apply", functionApply);
    // Object.prototype methods are hidden below SWF 6 as in the original player.
    for (auto& p : op->props.items())
        if (p.name.view() == "hasOwnProperty" || p.name.view() == "isPropertyEnumerable" ||
            p.name.view() == "isPrototypeOf" || p.name.view() == "watch" || p.name.view() == "unwatch" ||
            p.name.view() == "addProperty")
            p.flags |= p.name.view() == "addProperty" || p.name.view() == "watch" || p.name.view() == "unwatch"
                           ? 0
                           : prop_flag::kVersion6;
    for (auto& p : fp->props.items()) p.flags |= prop_flag::kVersion6;

    e.method(e.global, "ASSetPropFlags", setPropFlags);
    Object* errorClass = e.makeClass("Error", errorCtor, e.errorProto);
    (void)errorClass;
    e.define(e.errorProto, "message", Value("Error"));
    e.define(e.errorProto, "name", Value("Error"));
    e.method(e.errorProto, "toString", errorToString);
}

void installStringNumberBoolean(EngineImpl& e) {
    Object* b = e.makeClass("Boolean", booleanCall, e.booleanProto);
    b->nativeConstruct = booleanConstruct;
    e.method(e.booleanProto, "toString", booleanToString);
    e.method(e.booleanProto, "valueOf", booleanValueOf);

    Object* n = e.makeClass("Number", numberCall, e.numberProto);
    n->nativeConstruct = numberConstruct;
    e.method(e.numberProto, "toString", numberToStringFn);
    e.method(e.numberProto, "valueOf", numberValueOf);
    const uint16_t constant = prop_flag::kDontEnum | prop_flag::kDontDelete | prop_flag::kReadOnly;
    e.define(n, "MAX_VALUE", Value(std::numeric_limits<double>::max()), constant);
    e.define(n, "MIN_VALUE", Value(4.9406564584124654e-324), constant);
    e.define(n, "NaN", Value(kNaN), constant);
    e.define(n, "NEGATIVE_INFINITY", Value(-std::numeric_limits<double>::infinity()), constant);
    e.define(n, "POSITIVE_INFINITY", Value(std::numeric_limits<double>::infinity()), constant);

    Object* s = e.makeClass("String", stringCall, e.stringProto);
    s->nativeConstruct = stringConstruct;
    e.method(e.stringProto, "valueOf", stringValueOf);
    const char* names[] = {"charAt", "charCodeAt", "concat", "indexOf", "lastIndexOf", "slice", "substring",
                           "substr", "toLowerCase", "toUpperCase", "split", "toString"};
    for (int i = 0; i < 12; ++i) e.method(e.stringProto, names[i], stringMethod, i);
    e.method(s, "fromCharCode", stringFromCharCode);
}

void installMath(EngineImpl& e) {
    Object* m = e.makeObject();
    e.define(e.global, "Math", Value(m));
    const char* names[] = {"abs", "acos", "asin", "atan", "atan2", "ceil", "cos", "exp", "floor",
                           "log", "max", "min", "pow", "random", "round", "sin", "sqrt", "tan"};
    for (int i = 0; i < 18; ++i) e.method(m, names[i], mathFn, i);
    const uint16_t constant = prop_flag::kDontEnum | prop_flag::kDontDelete | prop_flag::kReadOnly;
    e.define(m, "E", Value(M_E), constant);
    e.define(m, "LN10", Value(M_LN10), constant);
    e.define(m, "LN2", Value(M_LN2), constant);
    e.define(m, "LOG10E", Value(M_LOG10E), constant);
    e.define(m, "LOG2E", Value(M_LOG2E), constant);
    e.define(m, "PI", Value(M_PI), constant);
    e.define(m, "SQRT1_2", Value(M_SQRT1_2), constant);
    e.define(m, "SQRT2", Value(M_SQRT2), constant);
}

void installGlobals(EngineImpl& e) {
    Object* g = e.global;
    e.method(g, "parseInt", parseIntFn);
    e.method(g, "parseFloat", parseFloatFn);
    e.method(g, "isNaN", isNaNFn);
    e.method(g, "isFinite", isFiniteFn);
    e.method(g, "escape", escapeFn);
    e.method(g, "unescape", unescapeFn);
    e.method(g, "setInterval", setTimer, 0);
    e.method(g, "setTimeout", setTimer, 1);
    e.method(g, "clearInterval", clearTimer);
    e.method(g, "clearTimeout", clearTimer);
    e.define(g, "NaN", Value(kNaN));
    e.define(g, "Infinity", Value(std::numeric_limits<double>::infinity()));
}

}  // namespace swf::avm1
