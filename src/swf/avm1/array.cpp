// The Array class: construction, the list methods and sort/sortOn with their flags.
#include <algorithm>
#include <cmath>

#include <QString>

#include "swf/avm1/vm.h"

namespace swf::avm1 {
namespace {

using Args = std::span<const Value>;

namespace sort_flag {
constexpr int kCaseInsensitive = 1, kDescending = 2, kUnique = 4, kReturnIndexed = 8, kNumeric = 16;
}

Value arrayCtor(EngineImpl& e, Object* callee, const Value&, Args args) {
    Object* a = e.alloc(ObjKind::Array, e.get(callee, "prototype").object());
    if (args.size() == 1 && args[0].isNumber()) {
        e.setArrayLength(a, args[0].n);
    } else {
        a->elements.assign(args.begin(), args.end());
    }
    return Value(a);
}

Object* thisArray(const Value& thisv) {
    Object* o = thisv.object();
    return o && o->kind == ObjKind::Array ? o : nullptr;
}

std::string join(EngineImpl& e, Object* a, std::string_view sep, int depth = 0) {
    std::string out;
    for (size_t i = 0; i < a->elements.size(); ++i) {
        if (i) out += sep;
        const Value& v = a->elements[i];
        if (v.isUndefined()) {
            if (e.version >= 7) out += "undefined";
            continue;
        }
        if (Object* inner = v.object(); inner && inner->kind == ObjKind::Array && depth < 64 && inner != a)
            out += e.toString(v);
        else
            out += e.toString(v);
        if (out.size() > e.limits.maxStringBytes) throw ScriptAbort{"string too long"};
    }
    return out;
}

int compareValues(EngineImpl& e, const Value& x, const Value& y, int flags) {
    if (flags & sort_flag::kNumeric) {
        // NaN goes after every number.
        if (x.isNumber() && y.isNumber()) {
            bool xn = std::isnan(x.n), yn = std::isnan(y.n);
            if (xn || yn) return xn == yn ? 0 : xn ? 1 : -1;
            return x.n < y.n ? -1 : x.n > y.n ? 1 : 0;
        }
    }
    std::string a = e.toString(x), b = e.toString(y);
    if (x.isUndefined()) a = "undefined";
    if (y.isUndefined()) b = "undefined";
    if (flags & sort_flag::kCaseInsensitive) {
        a = QString::fromStdString(a).toLower().toStdString();
        b = QString::fromStdString(b).toLower().toStdString();
    }
    return a < b ? -1 : a > b ? 1 : 0;
}

// Sorts indexes by cmp; returns false when UNIQUESORT found equal elements.
Value finishSort(EngineImpl& e, Object* a, std::vector<size_t>& order, int flags,
                 const std::function<int(const Value&, const Value&)>& cmp) {
    // A snapshot: a compare function or toString may change the array while it is sorted.
    const std::vector<Value> el = a->elements;
    if (order.size() > el.size()) order.resize(el.size());
    auto before = [&](size_t i, size_t j) {
        int c = cmp(el[i], el[j]);
        return (flags & sort_flag::kDescending) ? c > 0 : c < 0;
    };
    // Shell's sort with halving gaps: not stable, and equal elements end up where the
    // player leaves them.
    for (size_t gap = order.size() / 2; gap > 0; gap /= 2) {
        for (size_t i = gap; i < order.size(); ++i) {
            size_t moving = order[i];
            size_t j = i;
            for (; j >= gap && before(moving, order[j - gap]); j -= gap) order[j] = order[j - gap];
            order[j] = moving;
        }
    }
    if (flags & sort_flag::kUnique)
        for (size_t i = 1; i < order.size(); ++i)
            if (cmp(el[order[i - 1]], el[order[i]]) == 0) return Value(0.0);
    if (flags & sort_flag::kReturnIndexed) {
        std::vector<Value> idx;
        for (size_t i : order) idx.push_back(Value(double(i)));
        return Value(e.makeArray(std::move(idx)));
    }
    std::vector<Value> sorted;
    for (size_t i : order) sorted.push_back(el[i]);
    a->elements = std::move(sorted);
    return Value(a);
}

Value arrayMethod(EngineImpl& e, Object* callee, const Value& thisv, Args args) {
    Object* a = thisArray(thisv);
    if (!a && (callee->magic == 7 || callee->magic == 8) && thisv.isObject()) {
        // join on another object: its length counts, its elements are not looked up.
        double length = e.toNumber(e.get(thisv.o, "length"));
        size_t n = length > 0 ? size_t(std::min(length, double(e.limits.maxArrayLength))) : 0;
        Object* blank = e.makeArray(std::vector<Value>(n));
        std::string sep = callee->magic == 7 && !args.empty() && !args[0].isUndefined() ? e.toString(args[0]) : ",";
        return Value(join(e, blank, sep));
    }
    if (!a) return Value();
    auto& el = a->elements;
    // The list methods work on the elements kept; one that changes them makes their count the length.
    if (callee->magic <= 3 || callee->magic == 5) a->oddLength.reset();
    auto num = [&](size_t i) { return e.toNumber(arg(args, i)); };
    auto relIndex = [&](double v, size_t len) -> size_t {
        if (std::isnan(v)) return 0;
        if (v < 0) return size_t(std::max(0.0, double(len) + std::trunc(v)));
        return size_t(std::min(double(len), std::trunc(v)));
    };
    switch (callee->magic) {
        case 0:  // push
            if (el.size() + args.size() > e.limits.maxArrayLength) throw ScriptAbort{"array too long"};
            el.insert(el.end(), args.begin(), args.end());
            return Value(double(el.size()));
        case 1: {  // pop
            if (el.empty()) return Value();
            Value v = el.back();
            el.pop_back();
            return v;
        }
        case 2: {  // shift
            if (el.empty()) return Value();
            Value v = el.front();
            el.erase(el.begin());
            return v;
        }
        case 3:  // unshift
            if (el.size() + args.size() > e.limits.maxArrayLength) throw ScriptAbort{"array too long"};
            el.insert(el.begin(), args.begin(), args.end());
            return Value(double(el.size()));
        case 4: {  // slice
            size_t from = args.empty() ? 0 : relIndex(num(0), el.size());
            size_t to = args.size() > 1 && !args[1].isUndefined() ? relIndex(num(1), el.size()) : el.size();
            std::vector<Value> out;
            if (from < to) out.assign(el.begin() + long(from), el.begin() + long(to));
            return Value(e.makeArray(std::move(out)));
        }
        case 5: {  // splice
            if (args.empty()) return Value();
            size_t from = relIndex(num(0), el.size());
            size_t count = args.size() > 1 ? size_t(std::clamp(std::isnan(num(1)) ? 0.0 : num(1), 0.0, double(el.size() - from)))
                                           : el.size() - from;
            std::vector<Value> removed(el.begin() + long(from), el.begin() + long(from + count));
            el.erase(el.begin() + long(from), el.begin() + long(from + count));
            if (args.size() > 2) el.insert(el.begin() + long(from), args.begin() + 2, args.end());
            return Value(e.makeArray(std::move(removed)));
        }
        case 6: {  // concat
            std::vector<Value> out = el;
            for (auto& v : args) {
                Object* o = v.object();
                if (o && o->kind == ObjKind::Array) out.insert(out.end(), o->elements.begin(), o->elements.end());
                else out.push_back(v);
                if (out.size() > e.limits.maxArrayLength) throw ScriptAbort{"array too long"};
            }
            return Value(e.makeArray(std::move(out)));
        }
        case 7: {  // join
            std::string sep = args.empty() || args[0].isUndefined() ? "," : e.toString(args[0]);
            return Value(join(e, a, sep));
        }
        case 8: return Value(join(e, a, ","));  // toString
        case 9:  // reverse
            std::reverse(el.begin(), el.end());
            return Value(a);
        case 10: {  // sort
            Object* fn = arg(args, 0).object();
            // A non-function object sorts nothing; other non-numbers are refused.
            if (!args.empty() && !(fn && fn->isFunction()) && !args[0].isNumber())
                return args[0].isObject() ? Value(a) : Value();
            int flags = 0;
            bool secondGiven = args.size() > 1 && !args[1].isUndefined();
            if (fn && fn->isFunction()) flags = toInt32(num(1));
            else if (secondGiven) { fn = nullptr; flags = toInt32(num(1)); }
            else if (!args.empty()) { fn = nullptr; flags = toInt32(e.toNumber(args[0])); }
            std::vector<size_t> order(el.size());
            for (size_t i = 0; i < order.size(); ++i) order[i] = i;
            if (fn) {
                return finishSort(e, a, order, flags, [&](const Value& x, const Value& y) {
                    Value pair[] = {x, y};
                    double r = e.toNumber(e.call(Value(fn), Value(), pair));
                    return r < 0 ? -1 : r > 0 ? 1 : 0;
                });
            }
            return finishSort(e, a, order, flags, [&](const Value& x, const Value& y) { return compareValues(e, x, y, flags); });
        }
        case 11: {  // sortOn
            if (args.empty()) return Value();
            std::vector<Str> fields;
            std::vector<int> fieldFlags;
            if (Object* f = arg(args, 0).object(); f && f->kind == ObjKind::Array) {
                for (auto& v : f->elements) fields.push_back(e.toStr(v));
            } else {
                fields.push_back(e.toStr(arg(args, 0)));
            }
            int flags = 0;
            if (Object* f = arg(args, 1).object(); f && f->kind == ObjKind::Array) {
                // One flag per field, or none at all.
                if (f->elements.size() == fields.size())
                    for (auto& v : f->elements) fieldFlags.push_back(toInt32(e.toNumber(v)));
                if (!fieldFlags.empty()) flags = fieldFlags[0];
            } else if (args.size() > 1) {
                flags = toInt32(num(1));
            }
            // Keys are the objects' own stored values: neither prototypes nor getters are
            // asked. Values that are no objects are their own keys.
            auto sortKey = [&](const Value& v, const Str& field) {
                if (!v.isObject()) return v;
                Slot* p = e.findOwn(v.o, e.key(field.view()));
                return p ? p->value : Value();
            };
            std::vector<size_t> order(el.size());
            for (size_t i = 0; i < order.size(); ++i) order[i] = i;
            return finishSort(e, a, order, flags, [&](const Value& x, const Value& y) {
                for (size_t k = 0; k < fields.size(); ++k) {
                    Value fx = sortKey(x, fields[k]), fy = sortKey(y, fields[k]);
                    int f = k < fieldFlags.size() ? fieldFlags[k] : flags;
                    int c = compareValues(e, fx, fy, f);
                    if (k < fieldFlags.size() && (fieldFlags[k] & sort_flag::kDescending) != (flags & sort_flag::kDescending)) c = -c;
                    if (c) return c;
                }
                return 0;
            });
        }
    }
    return Value();
}

}  // namespace

void installArray(EngineImpl& e) {
    Object* c = e.makeClass("Array", arrayCtor, e.arrayProto);
    c->nativeConstruct = arrayCtor;
    const char* names[] = {"push", "pop", "shift", "unshift", "slice", "splice", "concat", "join", "toString", "reverse",
                           "sort", "sortOn"};
    for (int i = 0; i < 12; ++i) e.method(e.arrayProto, names[i], arrayMethod, i);
    const uint16_t constant = prop_flag::kDontEnum | prop_flag::kDontDelete | prop_flag::kReadOnly;
    e.define(c, "CASEINSENSITIVE", Value(1.0), constant);
    e.define(c, "DESCENDING", Value(2.0), constant);
    e.define(c, "UNIQUESORT", Value(4.0), constant);
    e.define(c, "RETURNINDEXEDARRAY", Value(8.0), constant);
    e.define(c, "NUMERIC", Value(16.0), constant);
}

}  // namespace swf::avm1
