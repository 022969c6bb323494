// Objects, properties, the heap and its collector, and the conversions that may call scripts.
#include <algorithm>
#include <cmath>
#include <limits>

#include <QString>

#include "swf/avm1/vm.h"

namespace swf::avm1 {

// ---- PropertyMap ----------------------------------------------------------------------------

namespace {
constexpr size_t kIndexFrom = 8;  // properties; fewer are searched one by one
size_t keyHash(std::string_view key) { return std::hash<std::string_view>{}(key); }
}  // namespace

Slot* PropertyMap::find(std::string_view key) {
    if (index_.empty()) {
        for (size_t i = 0; i < keys_.size(); ++i)
            if (keys_[i] == key) return &items_[i];
        return nullptr;
    }
    const size_t mask = index_.size() - 1;
    for (size_t at = keyHash(key) & mask;; at = (at + 1) & mask) {
        const uint32_t item = index_[at];
        if (item == 0) return nullptr;
        if (keys_[item - 1] == key) return &items_[item - 1];
    }
}

Slot& PropertyMap::insert(const std::string& key, Str name) {
    items_.push_back(Slot{std::move(name), Value(), nullptr, nullptr, 0});
    keys_.push_back(key);
    if (!index_.empty() && items_.size() * 2 <= index_.size()) place(uint32_t(items_.size() - 1));
    else if (items_.size() > kIndexFrom) rebuild();
    return items_.back();
}

void PropertyMap::place(uint32_t item) {
    const size_t mask = index_.size() - 1;
    size_t at = keyHash(keys_[item]) & mask;
    while (index_[at] != 0) at = (at + 1) & mask;
    index_[at] = item + 1;
}

bool PropertyMap::erase(const std::string& key) {
    for (size_t i = 0; i < keys_.size(); ++i) {
        if (keys_[i] != key) continue;
        items_.erase(items_.begin() + long(i));
        keys_.erase(keys_.begin() + long(i));
        index_.clear();
        if (items_.size() > kIndexFrom) rebuild();
        return true;
    }
    return false;
}

void PropertyMap::rebuild() {
    size_t size = 32;
    while (size < keys_.size() * 2) size *= 2;
    index_.assign(size, 0);
    for (size_t i = 0; i < keys_.size(); ++i) place(uint32_t(i));
}

// ---- heap -----------------------------------------------------------------------------------

Object* EngineImpl::alloc(ObjKind kind, Object* proto) {
    if (heap.size() >= limits.maxObjects) {
        // A running script holds objects in registers, activations and the natives' C++
        // locals, which the collector does not see: collect only between runs.
        if (runDepth == 0) collect();
        if (heap.size() >= limits.maxObjects) throw ScriptAbort{"too many objects"};
    }
    heap.push_back(std::make_unique<Object>());
    Object* o = heap.back().get();
    o->kind = kind;
    o->proto = proto;
    ++allocatedSinceGc;
    return o;
}

void EngineImpl::markValue(const Value& v) {
    if (v.type == Type::Object) mark(v.o);
}

void EngineImpl::markScope(const Scope* s) {
    for (; s; s = s->parent.get()) mark(s->object);
}

void EngineImpl::mark(Object* root) {
    std::vector<Object*> work{root};
    while (!work.empty()) {
        Object* o = work.back();
        work.pop_back();
        if (!o || o->marked) continue;
        o->marked = true;
        work.push_back(o->proto);
        for (auto& p : o->props.items()) {
            if (p.value.type == Type::Object) work.push_back(p.value.o);
            work.push_back(p.getter);
            work.push_back(p.setter);
        }
        for (auto& v : o->elements)
            if (v.type == Type::Object) work.push_back(v.o);
        if (o->primitive.type == Type::Object) work.push_back(o->primitive.o);
        for (const Scope* s = o->scope.get(); s; s = s->parent.get()) work.push_back(s->object);
        if (o->watches)
            for (auto& [k, w] : *o->watches) {
                work.push_back(w.first);
                if (w.second.type == Type::Object) work.push_back(w.second.o);
            }
        if (const Object::Extras* x = o->extras.get()) {
            if (x->superThis.type == Type::Object) work.push_back(x->superThis.o);
            work.push_back(x->superProto);
            for (Object* i : x->interfaces) work.push_back(i);
        }
    }
}

void EngineImpl::collect() {
    for (auto& o : heap) o->marked = false;
    mark(global);
    for (Object* o : {objectProto, functionProto, arrayProto, stringProto, numberProto, booleanProto, dateProto,
                      errorProto, movieClipProto, buttonProto, textFieldProto, textFormatCtor, keyObject,
                      mouseObject, stageObject, selectionObject})
        mark(o);
    for (auto& [k, o] : registeredClasses) mark(o);
    for (auto& [k, o] : displayObjects) mark(o);
    for (auto& t : timers) {
        markValue(t.callee);
        for (auto& v : t.args) markValue(v);
    }
    for (const PlayingSound& p : playingSounds) mark(p.sound);
    for (const PendingSoundLoad& p : pendingSoundLoads) mark(p.sound);
    for (const PendingClipLoad& p : pendingClipLoads) mark(p.loader);
    for (auto& v : stack) markValue(v);
    markValue(dummy);
    // Everything a running script holds lives on the value stack, in registers or scopes; the
    // collector runs only between runs, so nothing else needs marking.
    std::erase_if(heap, [](const std::unique_ptr<Object>& o) { return !o->marked; });
    allocatedSinceGc = 0;
}

// ---- keys and conversions -------------------------------------------------------------------

std::string EngineImpl::key(std::string_view name) const {
    std::string k(name);
    if (caseSensitive()) return k;
    if (!isAscii(k)) {
        // The player's case table is an old one: letters Unicode added after 3.0 keep their case.
        QString text = QString::fromUtf8(k.data(), qsizetype(k.size()));
        for (QChar& c : text)
            if (c.unicodeVersion() <= QChar::Unicode_3_0) c = c.toLower();
        return text.toStdString();
    }
    for (char& c : k)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return k;
}

std::string_view EngineImpl::keyView(std::string_view name, std::string& buffer) const {
    if (caseSensitive()) return name;
    for (char c : name)
        if ((c >= 'A' && c <= 'Z') || (c & 0x80)) {
            buffer = key(name);
            return buffer;
        }
    return name;
}

bool EngineImpl::toBoolean(const Value& v) const {
    switch (v.type) {
        case Type::Undefined:
        case Type::Null: return false;
        case Type::Boolean: return v.b;
        case Type::Number: return !std::isnan(v.n) && v.n != 0;
        case Type::String:
            if (codeVersion() >= 7) return v.s.size() > 0;
            {
                double d = stringToNumber(v.s.view(), codeVersion());
                return !std::isnan(d) && d != 0;
            }
        case Type::Object: return true;
    }
    return false;
}

Value EngineImpl::toPrimitive(const Value& v, bool preferString) {
    if (v.type != Type::Object) return v;
    Object* o = v.o;
    if (o->kind == ObjKind::Display) return preferString ? Value(displayText(o->display)) : v;
    // Dates prefer their text from SWF 6 on, even when toString answers an object.
    if (o->kind == ObjKind::Date && codeVersion() >= 6) return callMethod(v, "toString", {});
    if (preferString) {
        Value r = callMethod(v, "toString", {});
        if (r.type != Type::Object) return r;
    }
    // Without a hint only valueOf is asked; an object it answers stays an object.
    return callMethod(v, "valueOf", {});
}

double EngineImpl::toNumber(const Value& v) {
    switch (v.type) {
        case Type::Undefined: return codeVersion() >= 7 ? std::numeric_limits<double>::quiet_NaN() : 0;
        case Type::Null: return codeVersion() >= 7 ? std::numeric_limits<double>::quiet_NaN() : 0;
        case Type::Boolean: return v.b ? 1 : 0;
        case Type::Number: return v.n;
        case Type::String: return stringToNumber(v.s.view(), codeVersion());
        case Type::Object: {
            if (v.o->kind == ObjKind::Display) return std::numeric_limits<double>::quiet_NaN();
            Value p = callMethod(v, "valueOf", {});
            if (p.type == Type::Object) return codeVersion() < 5 ? 0 : std::numeric_limits<double>::quiet_NaN();
            return toNumber(p);
        }
    }
    return 0;
}

Str EngineImpl::displayText(DisplayId id) {
    // A clip that has left the display list is no longer anywhere: its text is empty, except
    // to its own unload handler, which still sees where it was.
    if (host.kind(id) == DisplayKind::None && id != unloadingClip) return Str();
    return Str(targetPath(id, false));
}

Str EngineImpl::toStr(const Value& v) {
    switch (v.type) {
        case Type::Undefined: return codeVersion() >= 7 ? Str("undefined") : Str();
        case Type::Null: return Str("null");
        case Type::Boolean: return codeVersion() < 5 ? Str(v.b ? "1" : "0") : Str(v.b ? "true" : "false");
        case Type::Number: return Str(numberToString(v.n));
        case Type::String: return v.s;
        case Type::Object: {
            Object* o = v.o;
            if (o->kind == ObjKind::Display) return displayText(o->display);
            // A toString that is missing or answers anything but a string names the type.
            Value r = callMethod(v, "toString", {});
            if (r.type == Type::String) return r.s;
            return Str(o->isFunction() ? "[type Function]" : "[type Object]");
        }
    }
    return Str();
}

Str EngineImpl::traceText(const Value& v) {
    if (v.isUndefined()) return Str("undefined");
    return toStr(v);
}

Object* EngineImpl::toObject(const Value& v) {
    switch (v.type) {
        case Type::Object: return v.o;
        case Type::String: {
            Object* o = alloc(ObjKind::String, stringProto);
            o->primitive = v;
            defineStringLength(o);
            return o;
        }
        case Type::Number: {
            Object* o = alloc(ObjKind::Number, numberProto);
            o->primitive = v;
            return o;
        }
        case Type::Boolean: {
            Object* o = alloc(ObjKind::Boolean, booleanProto);
            o->primitive = v;
            return o;
        }
        default: return nullptr;
    }
}

std::string EngineImpl::typeOf(const Value& v) {
    switch (v.type) {
        case Type::Undefined: return "undefined";
        case Type::Null: return "null";
        case Type::Boolean: return "boolean";
        case Type::Number: return "number";
        case Type::String: return "string";
        case Type::Object:
            if (v.o->isFunction()) return "function";
            if (v.o->kind == ObjKind::Display) {
                const DisplayKind k = host.kind(v.o->display);
                return k == DisplayKind::TextField || k == DisplayKind::Button ? "object" : "movieclip";
            }
            return "object";
    }
    return "undefined";
}

bool EngineImpl::strictEquals(const Value& a, const Value& b) {
    if (a.type != b.type) return false;
    switch (a.type) {
        case Type::Undefined:
        case Type::Null: return true;
        case Type::Boolean: return a.b == b.b;
        case Type::Number: return a.n == b.n || (std::isnan(a.n) && std::isnan(b.n));
        case Type::String: return a.s == b.s;
        case Type::Object:
            if (a.o == b.o) return true;
            // Clips are referred to by their path: two clips with the same path are equal.
            return a.o->kind == ObjKind::Display && b.o->kind == ObjKind::Display &&
                   host.kind(a.o->display) != DisplayKind::None && host.kind(b.o->display) != DisplayKind::None &&
                   targetPath(a.o->display, false) == targetPath(b.o->display, false);
    }
    return false;
}

bool EngineImpl::looseEquals(const Value& a, const Value& b) {
    if (a.type == b.type) return strictEquals(a, b);
    if (a.isNullish() && b.isNullish()) return true;
    if (a.isNullish() || b.isNullish()) {
        // An object without valueOf (such as _global) has undefined for its value.
        const Value& other = a.isNullish() ? b : a;
        return other.type == Type::Object && other.o->kind != ObjKind::Display && toPrimitive(other).isNullish();
    }
    if (a.type == Type::Number && b.type == Type::String) return a.n == toNumber(b);
    if (a.type == Type::String && b.type == Type::Number) return toNumber(a) == b.n;
    if (a.type == Type::Boolean) return looseEquals(Value(a.b ? 1.0 : 0.0), b);
    if (b.type == Type::Boolean) return looseEquals(a, Value(b.b ? 1.0 : 0.0));
    if (a.type == Type::Object && b.type != Type::Object) {
        Value p = toPrimitive(a);
        if (p.type == Type::Object) return false;
        return looseEquals(p, b);
    }
    if (b.type == Type::Object && a.type != Type::Object) {
        Value p = toPrimitive(b);
        if (p.type == Type::Object) return false;
        return looseEquals(a, p);
    }
    return false;
}

Value EngineImpl::lessThan(const Value& a, const Value& b) {
    // An operand that stays an object makes the comparison false, and the right one is
    // not even converted when the left one does.
    auto staysObject = [](const Value& p) { return p.type == Type::Object && p.o->kind != ObjKind::Display; };
    Value pa = toPrimitive(a);
    if (staysObject(pa)) return Value(false);
    Value pb = toPrimitive(b);
    if (staysObject(pb)) return Value(false);
    if (pa.type == Type::String && pb.type == Type::String) return Value(pa.s.str() < pb.s.str());
    double x = toNumber(pa), y = toNumber(pb);
    if (std::isnan(x) || std::isnan(y)) return Value();
    return Value(x < y);
}

// ---- properties -----------------------------------------------------------------------------

bool EngineImpl::visible(const Slot& p) const {
    uint16_t f = p.flags;
    if ((f & prop_flag::kVersion6) && version < 6) return false;
    if ((f & prop_flag::kOnlyNot6) && version == 6) return false;
    if ((f & prop_flag::kVersion7) && version < 7) return false;
    if ((f & prop_flag::kVersion8) && version < 8) return false;
    if ((f & prop_flag::kVersion9) && version < 9) return false;
    if ((f & prop_flag::kVersion10) && version < 10) return false;
    return true;
}

Slot* EngineImpl::findOwn(Object* o, std::string_view key) {
    Slot* p = o->props.find(key);
    return p && visible(*p) ? p : nullptr;
}

Slot* EngineImpl::findInChain(Object* o, std::string_view key, Object** holder) {
    int depth = 0;
    for (Object* cur = o; cur; cur = cur->proto) {
        if (Slot* p = findOwn(cur, key)) {
            if (holder) *holder = cur;
            return p;
        }
        // A prototype chain this long is a loop; the player stops the script.
        if (++depth > 256) throw ScriptAbort{"prototype chain too long", false};
    }
    return nullptr;
}

bool EngineImpl::ownVirtual(Object* o, std::string_view name) {
    if (o->props.size() == 0) return false;
    std::string buffer;
    Slot* p = o->props.find(keyView(name, buffer));
    return p && p->getter;
}

bool EngineImpl::isBusy(Object* o, std::string_view key) const {
    // SWF 6 code reaches the stored value from inside an accessor at once; later versions
    // run the accessor again, up to a fixed nesting, before they settle for the stored value.
    const int limit = codeVersion() >= 7 ? kPropertyRecursionLimit : 1;
    int nested = 0;
    for (auto& [object, name] : busyProperties)
        if (object == o && name == key && ++nested >= limit) return true;
    return false;
}

EngineImpl::BusyProperty::BusyProperty(EngineImpl& e, Object* o, std::string_view key) : engine(e) {
    engine.busyProperties.emplace_back(o, std::string(key));
}

EngineImpl::BusyProperty::~BusyProperty() { engine.busyProperties.pop_back(); }

bool EngineImpl::arrayIndex(std::string_view name, size_t& index) {
    if (name.empty() || name.size() > 10) return false;
    size_t v = 0;
    for (char c : name) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + size_t(c - '0');
    }
    if (name.size() > 1 && name[0] == '0') return false;
    index = v;
    return true;
}

bool EngineImpl::wrappedIndex(std::string_view name, int32_t& index) {
    // The player reads the digits into 32 bits as it goes, so any number of them wraps.
    bool negative = !name.empty() && name[0] == '-';
    std::string_view digits = negative ? name.substr(1) : name;
    if (digits.empty() || (digits.size() > 1 && digits[0] == '0') || (negative && digits == "0")) return false;
    uint32_t v = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        v = v * 10u + uint32_t(c - '0');
    }
    index = int32_t(negative ? 0u - v : v);
    return true;
}

void EngineImpl::changeArrayLength(Object* a, int32_t length) {
    if (length < int32_t(a->elements.size())) a->elements.resize(size_t(std::max(length, 0)));
    if (length == int32_t(a->elements.size())) a->oddLength.reset();
    else a->oddLength = length;
}

void EngineImpl::setArrayLength(Object* a, double length) {
    const int32_t n = toInt32(length);
    // Elements up to the limit are made (as holes); a longer length is only remembered.
    if (n > int32_t(a->elements.size()) && size_t(n) <= limits.maxArrayLength) a->elements.resize(size_t(n), Value::hole());
    changeArrayLength(a, n);
}

Value EngineImpl::get(Object* o, const Str& name) {
    if (!o) return Value();
    std::string_view n = name.view();
    if (o->kind == ObjKind::Super) {
        // super: the superclass prototype's properties, with getters run on this.
        if (n == "__proto__") return o->proto && o->proto->proto ? Value(o->proto->proto) : Value();
        Slot* p = o->proto ? findInChain(o->proto, key(n)) : nullptr;
        if (!p) return Value();
        if (p->getter) return call(Value(p->getter), o->more().superThis, {});
        return p->value;
    }
    if (o->kind == ObjKind::Array && !ownVirtual(o, n)) {
        size_t i;
        if (arrayIndex(n, i) && i < o->elements.size()) {
            const Value& v = o->elements[i];
            return v.isHole() ? Value() : v;
        }
        if (n == "length") return Value(double(arrayLength(o)));
    }
    if (n == "__proto__") return o->proto ? Value(o->proto) : Value();
    std::string buffer;
    std::string_view k = keyView(n, buffer);
    Object* holder = nullptr;
    Slot* p = findInChain(o, k, &holder);
    if (o->kind == ObjKind::Display && (!p || holder != o)) {
        if (!p || true) {
            // Display objects answer paths, children and display properties after their own
            // variables.
            if (!p || holder != o) {
                if (auto d = getDisplayProperty(o, name)) {
                    // Built-in names such as _parent win over the prototype even when empty.
                    if (!p || d->type != Type::Undefined || n.starts_with('_')) return *d;
                }
            }
        }
    }
    if (!p) {
        // An array further up the chain answers its elements.
        size_t index;
        if (arrayIndex(n, index)) {
            int depth = 0;
            for (Object* cur = o->proto; cur && depth < 256; cur = cur->proto, ++depth)
                if (cur->kind == ObjKind::Array && index < cur->elements.size() && !cur->elements[index].isHole())
                    return cur->elements[index];
        }
        return resolveMissing(o, name);
    }
    if (p->getter) {
        // A property whose getter, setter or watch is running reads as its stored value.
        if (isBusy(o, k)) return p->value;
        Object* getter = p->getter;
        BusyProperty busy(*this, o, k);
        return call(Value(getter), Value(o), {});
    }
    return p->value;
}

void EngineImpl::defineStringLength(Object* o) {
    // A plain property: scripts may overwrite it, but not delete it.
    define(o, "length", Value(double(toUtf16(o->primitive.s.view()).size())),
           prop_flag::kDontEnum | prop_flag::kDontDelete);
}

Value EngineImpl::resolveMissing(Object* o, const Str& name) {
    if (name.view() == "__resolve") return Value();
    // The first __resolve up the chain that holds an object answers; numbers, clips and
    // getters are passed over, and an object that is no function answers undefined.
    int depth = 0;
    for (Object* cur = o; cur && depth < 256; cur = cur->proto, ++depth) {
        Slot* p = findOwn(cur, "__resolve");
        if (!p || p->getter || p->value.type != Type::Object || p->value.o->kind == ObjKind::Display) continue;
        if (!p->value.o->isFunction()) return Value();
        Value args[] = {Value(name)};
        return call(p->value, Value(o), args);
    }
    return Value();
}

Value EngineImpl::getValueMember(const Value& base, const Str& name) {
    if (base.type == Type::Object) return get(base.o, name);
    if (base.type == Type::String) {
        if (name.view() == "length")
            return Value(double(toUtf16(base.s.view()).size()));
        return get(stringProto, name);
    }
    if (base.type == Type::Number) return get(numberProto, name);
    if (base.type == Type::Boolean) return get(booleanProto, name);
    return Value();
}

void EngineImpl::set(Object* o, const Str& name, const Value& v) {
    if (!o) return;
    std::string_view n = name.view();
    if (o->kind == ObjKind::Super) {
        Slot* p = o->proto ? findInChain(o->proto, key(n)) : nullptr;
        if (p && p->setter) {
            Value args[] = {v};
            call(Value(p->setter), o->more().superThis, args);
        } else if (Object* self = o->more().superThis.object()) {
            set(self, name, v);
        }
        return;
    }
    std::string buffer;
    std::string_view k = keyView(n, buffer);
    Value value = v;
    // While its watch or setter runs, a property takes assignments as plain data.
    bool busy = (o->watches || !busyProperties.empty()) && isBusy(o, k);
    if (o->watches && !busy) {
        auto it = o->watches->find(std::string(k));
        if (it != o->watches->end()) {
            // The old value is what is stored, without running a getter.
            Slot* stored = findInChain(o, k);
            Value old = stored ? stored->value : Value();
            Value cbArgs[] = {Value(name), old, v, it->second.second};
            Object* cb = it->second.first;
            BusyProperty guard(*this, o, k);
            value = call(Value(cb), Value(o), cbArgs);
        }
    }
    // Display properties (a text field's text too) are watched like any other.
    if (o->kind == ObjKind::Display && setDisplayProperty(o, name, value)) return;
    int32_t arrayIndexSet = 0;
    bool movesLength = false;
    if (o->kind == ObjKind::Array && !ownVirtual(o, n)) {
        size_t i;
        if (arrayIndex(n, i) && i < limits.maxArrayLength) {
            if (i >= o->elements.size()) o->elements.resize(i + 1, Value::hole());
            o->elements[i] = value.isHole() ? Value() : value;
            if (int32_t(i) >= arrayLength(o)) changeArrayLength(o, int32_t(i) + 1);
            return;
        }
        if (n == "length") {
            setArrayLength(o, toNumber(value));
            return;
        }
        // Stored as a property below, then the length follows.
        movesLength = wrappedIndex(n, arrayIndexSet);
    }
    if (n == "__proto__") {
        o->proto = v.object();
        return;
    }
    Object* holder = nullptr;
    Slot* p = findInChain(o, k, &holder);
    if (p && p->virtualProp()) {
        if (busy) {
            p->value = value;
        } else if (p->setter) {
            {
                BusyProperty guard(*this, o, k);
                Value args[] = {value};
                call(Value(p->setter), Value(o), args);
            }
            // The value assigned stays underneath, for reads while an accessor runs.
            if (Slot* again = findInChain(o, k); again && again->virtualProp()) again->value = value;
        }
        return;  // without a setter: read-only
    }
    if (p && holder == o) {
        if (p->flags & prop_flag::kReadOnly) return;
        p->value = value;
    } else if (Slot* own = o->props.find(k)) {  // hidden by version: replaced
        own->value = value;
        own->flags = 0;
        own->getter = own->setter = nullptr;
    } else {
        o->props.insert(std::string(k), name).value = value;
    }
    if (movesLength && arrayIndexSet >= arrayLength(o))
        changeArrayLength(o, int32_t(uint32_t(arrayIndexSet) + 1u));
}

void EngineImpl::define(Object* o, std::string_view name, const Value& v, uint16_t flags) {
    std::string k = key(name);
    Slot* p = o->props.find(k);
    if (!p) p = &o->props.insert(k, Str(name));
    p->value = v;
    p->flags = flags;
    p->getter = p->setter = nullptr;
}

void EngineImpl::defineShared(Object* o, const Str& name, const Value& v, uint16_t flags) {
    std::string k = key(name.view());
    Slot* p = o->props.find(k);
    if (!p) p = &o->props.insert(k, name);
    p->value = v;
    p->flags = flags;
    p->getter = p->setter = nullptr;
}

bool EngineImpl::has(Object* o, const Str& name) {
    if (!o) return false;
    if (o->kind == ObjKind::Array) {
        size_t i;
        if (arrayIndex(name.view(), i) && i < o->elements.size() && !o->elements[i].isHole()) return true;
        if (name.view() == "length") return true;
    }
    if (name.view() == "__proto__") return o->proto != nullptr;
    std::string buffer;
    if (findInChain(o, keyView(name.view(), buffer))) return true;
    if (o->kind == ObjKind::Display) {
        auto d = getDisplayProperty(o, name);
        return d && !d->isUndefined();
    }
    return false;
}

bool EngineImpl::hasOwn(Object* o, const Str& name) {
    if (!o) return false;
    if (o->kind == ObjKind::Array) {
        size_t i;
        if (arrayIndex(name.view(), i) && i < o->elements.size()) return !o->elements[i].isHole();
    }
    // Properties hidden from this version still count as own (and can be deleted).
    std::string buffer;
    return o->props.find(keyView(name.view(), buffer)) != nullptr;
}

bool EngineImpl::remove(Object* o, const Str& name) {
    if (!o) return false;
    if (o->kind == ObjKind::Array) {
        size_t i;
        if (arrayIndex(name.view(), i) && i < o->elements.size()) {
            if (o->elements[i].isHole()) return false;
            o->elements[i] = Value::hole();
            return true;
        }
    }
    std::string k = key(name.view());
    Slot* p = o->props.find(k);
    if (!p || (p->flags & prop_flag::kDontDelete)) return false;
    return o->props.erase(k);
}

std::vector<Str> EngineImpl::enumerate(Object* o) {
    // The prototype's names come first (those the object does not shadow), then the object's
    // own, newest first.
    std::vector<Object*> chain;
    for (Object* cur = o; cur && chain.size() < 256; cur = cur->proto) {
        if (std::find(chain.begin(), chain.end(), cur) != chain.end()) break;
        chain.push_back(cur);
    }
    std::vector<Str> out;
    std::vector<std::string> outKeys;
    for (auto level = chain.rbegin(); level != chain.rend(); ++level) {
        Object* cur = *level;
        std::vector<std::pair<std::string, Str>> own;
        auto& items = cur->props.items();
        auto& keys = cur->props.keys();
        for (size_t i = items.size(); i-- > 0;)
            if (!(items[i].flags & prop_flag::kDontEnum)) own.emplace_back(keys[i], items[i].name);
        if (cur->kind == ObjKind::Array)
            for (size_t i = cur->elements.size(); i-- > 0;) {
                if (cur->elements[i].isHole()) continue;
                std::string k = std::to_string(i);
                own.emplace_back(k, Str(k));
            }
        // Names this level defines replace what deeper levels listed.
        std::vector<std::pair<std::string, Str>> kept;
        for (size_t i = 0; i < outKeys.size(); ++i) {
            bool shadowed = cur->props.find(outKeys[i]) != nullptr;
            size_t idx;
            if (!shadowed && cur->kind == ObjKind::Array && arrayIndex(outKeys[i], idx))
                shadowed = idx < cur->elements.size() && !cur->elements[idx].isHole();
            if (!shadowed) kept.emplace_back(outKeys[i], out[i]);
        }
        out.clear();
        outKeys.clear();
        for (auto& [k, n] : kept) { outKeys.push_back(k); out.push_back(n); }
        for (auto& [k, n] : own) { outKeys.push_back(k); out.push_back(n); }
    }
    return out;
}

void EngineImpl::copyInitProperties(Object* clip, Object* init) {
    std::vector<Str> names = enumerate(init);
    for (auto it = names.rbegin(); it != names.rend(); ++it) set(clip, *it, get(init, *it));
}

Object* EngineImpl::makeArray(std::vector<Value> items) {
    Object* a = alloc(ObjKind::Array, arrayProto);
    a->elements = std::move(items);
    return a;
}

Object* EngineImpl::makeNative(NativeFn fn, int magic, Object* proto) {
    Object* f = alloc(ObjKind::Function, proto ? proto : functionProto);
    f->native = fn;
    f->magic = magic;
    return f;
}

Object* EngineImpl::method(Object* on, std::string_view name, NativeFn fn, int magic) {
    Object* f = makeNative(fn, magic);
    define(on, name, Value(f), prop_flag::kDontEnum);
    return f;
}

Object* EngineImpl::makeClass(std::string_view name, NativeFn ctor, Object* proto, Object* into) {
    Object* c = makeNative(ctor);
    define(c, "prototype", Value(proto), prop_flag::kDontEnum | prop_flag::kDontDelete);
    define(proto, "constructor", Value(c), prop_flag::kDontEnum);
    define(into ? into : global, name, Value(c), prop_flag::kDontEnum);
    return c;
}

bool EngineImpl::instanceOf(Object* o, Object* ctor) {
    if (!o || !ctor) return false;
    Value protoV = get(ctor, "prototype");
    Object* proto = protoV.object();
    if (!proto) return false;
    int guard = 0;
    for (Object* cur = o->proto; cur && guard < 256; cur = cur->proto, ++guard) {
        if (cur == proto) return true;
        // Interfaces the prototype's constructor declared with ImplementsOp.
        Value c = get(cur, "constructor");
        if (Object* co = c.object(); co && co->extras)
            for (Object* i : co->extras->interfaces) {
                if (i == ctor) return true;
                Value ip = get(i, "prototype");
                if (ip.object() == proto) return true;
            }
    }
    return false;
}

// ---- calls ----------------------------------------------------------------------------------

Value EngineImpl::call(const Value& fn, const Value& thisv, std::span<const Value> args, Object* superObj) {
    Object* f = fn.object();
    if (!f || !f->isFunction()) return Value();
    if (f->native) {
        // Natives count towards the call depth too: an array that contains itself recurses
        // through join and toString without any script function in between.
        if (callDepth + 1 >= limits.maxCallDepth) throw ScriptAbort{"recursion too deep"};
        ++callDepth;
        struct Leave {
            int& depth;
            ~Leave() { --depth; }
        } leave{callDepth};
        return f->native(*this, f, thisv, args);
    }
    return runFunction(f, thisv, args, superObj);
}

Value EngineImpl::callMethod(const Value& obj, const Str& name, std::span<const Value> args) {
    Value fn = getValueMember(obj, name);
    if (fn.type != Type::Object || !fn.o->isFunction()) return Value();
    return call(fn, obj, args);
}

Value EngineImpl::construct(const Value& ctor, std::span<const Value> args) {
    Object* c = ctor.object();
    if (!c || !c->isFunction()) return Value();
    if (c->nativeConstruct) return c->nativeConstruct(*this, c, Value(), args);
    Value protoV = get(c, "prototype");
    Object* o = alloc(ObjKind::Plain, protoV.object());
    define(o, "__constructor__", Value(c), prop_flag::kDontEnum);
    if (version < 7) define(o, "constructor", Value(c), prop_flag::kDontEnum);
    constructNext = !c->native;
    Value r = call(ctor, Value(o), args);
    // Native constructors may build their own object (Array, Date ...).
    if (c->native && r.type == Type::Object) return r;
    return Value(o);
}

}  // namespace swf::avm1
