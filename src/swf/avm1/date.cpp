// The Date class, in local time as the player's host sees it (UTC here, for reproducible runs).
#include <chrono>
#include <cmath>
#include <limits>

#include "swf/avm1/vm.h"

namespace swf::avm1 {
namespace {

using Args = std::span<const Value>;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMsPerDay = 86400000.0;

double day(double t) { return std::floor(t / kMsPerDay); }
double timeWithinDay(double t) { double r = std::fmod(t, kMsPerDay); return r < 0 ? r + kMsPerDay : r; }
double daysInYear(double y) {
    if (std::fmod(y, 4) != 0) return 365;
    if (std::fmod(y, 100) != 0) return 366;
    if (std::fmod(y, 400) != 0) return 365;
    return 366;
}
double dayFromYear(double y) {
    return 365 * (y - 1970) + std::floor((y - 1969) / 4) - std::floor((y - 1901) / 100) + std::floor((y - 1601) / 400);
}
double yearFromTime(double t) {
    double y = std::floor(t / (kMsPerDay * 365.2425)) + 1970;
    while (dayFromYear(y) * kMsPerDay > t) --y;
    while (dayFromYear(y + 1) * kMsPerDay <= t) ++y;
    return y;
}
bool leap(double y) { return daysInYear(y) == 366; }
int monthFromTime(double t, int* dateOut) {
    double y = yearFromTime(t);
    int d = int(day(t) - dayFromYear(y));
    static const int cum[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};
    int l = leap(y) ? 1 : 0;
    for (int m = 0; m < 12; ++m) {
        int end = cum[m + 1] + (m >= 1 ? l : 0);
        if (d < end) {
            if (dateOut) *dateOut = d - (cum[m] + (m >= 2 ? l : 0)) + 1;
            return m;
        }
    }
    if (dateOut) *dateOut = 31;
    return 11;
}
double makeDay(double year, double month, double date) {
    if (!std::isfinite(year) || !std::isfinite(month) || !std::isfinite(date)) return kNaN;
    double y = year + std::floor(month / 12);
    double m = std::fmod(month, 12);
    if (m < 0) m += 12;
    static const int cum[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    double d = dayFromYear(y) + cum[int(m)] + (m >= 2 && leap(y) ? 1 : 0);
    return d + date - 1;
}
double makeTime(double h, double m, double s, double ms) { return h * 3600000.0 + m * 60000.0 + s * 1000.0 + ms; }
double timeClip(double t) {
    if (!std::isfinite(t) || std::fabs(t) > 8.64e15) return kNaN;
    return std::trunc(t);
}

struct Parts {
    double year, month, date, hours, minutes, seconds, ms, weekday;
};
Parts split(double t) {
    Parts p;
    p.year = yearFromTime(t);
    int d = 1;
    p.month = monthFromTime(t, &d);
    p.date = d;
    double w = timeWithinDay(t);
    p.hours = std::floor(w / 3600000.0);
    p.minutes = std::fmod(std::floor(w / 60000.0), 60);
    p.seconds = std::fmod(std::floor(w / 1000.0), 60);
    p.ms = std::fmod(w, 1000);
    double wd = std::fmod(day(t) + 4, 7);
    p.weekday = wd < 0 ? wd + 7 : wd;
    return p;
}
double join(const Parts& p) { return timeClip(makeDay(p.year, p.month, p.date) * kMsPerDay + makeTime(p.hours, p.minutes, p.seconds, p.ms)); }

double nowMs() {
    using namespace std::chrono;
    return double(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

Value dateCtor(EngineImpl& e, Object* callee, const Value& thisv, Args args) {
    Object* o = thisv.object();
    if (!o || o->kind == ObjKind::Display) {
        // Called as a function: the current time as text.
        (void)callee;
        o = e.alloc(ObjKind::Date, e.dateProto);
    }
    o->kind = ObjKind::Date;
    double t;
    if (args.empty()) t = nowMs();
    else if (args.size() == 1) t = timeClip(e.toNumber(args[0]));
    else {
        double v[7] = {0, 0, 1, 0, 0, 0, 0};
        for (size_t i = 0; i < 7 && i < args.size(); ++i) v[i] = e.toNumber(args[i]);
        if (v[0] >= 0 && v[0] <= 99) v[0] += 1900;
        t = timeClip(makeDay(v[0], v[1], v[2]) * kMsPerDay + makeTime(v[3], v[4], v[5], v[6]));
    }
    o->primitive = Value(t);
    return Value(o);
}

const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

Value dateMethod(EngineImpl& e, Object* callee, const Value& thisv, Args args) {
    Object* o = thisv.object();
    if (!o || o->kind != ObjKind::Date) return Value();
    double t = o->primitive.isNumber() ? o->primitive.n : kNaN;
    int m = callee->magic;
    if (m < 20) {  // getters (local == UTC here)
        if (std::isnan(t)) return Value(kNaN);
        Parts p = split(t);
        switch (m % 10) {
            case 0: return Value(p.year);
            case 1: return Value(p.month);
            case 2: return Value(p.date);
            case 3: return Value(p.hours);
            case 4: return Value(p.minutes);
            case 5: return Value(p.seconds);
            case 6: return Value(p.ms);
            case 7: return Value(p.weekday);
            case 8: return Value(p.year - 1900);
        }
        return Value();
    }
    if (m == 20) return Value(t);  // getTime / valueOf
    if (m == 21) return Value(0.0);  // getTimezoneOffset
    if (m == 22) {  // toString
        if (std::isnan(t)) return Value("Invalid Date");
        Parts p = split(t);
        char buf[96];
        std::snprintf(buf, sizeof buf, "%s %s %d %02d:%02d:%02d GMT+0000 %d", kDays[int(p.weekday)], kMonths[int(p.month)],
                      int(p.date), int(p.hours), int(p.minutes), int(p.seconds), int(p.year));
        return Value(buf);
    }
    if (m == 23) {  // setTime
        t = timeClip(e.toNumber(arg(args, 0)));
        o->primitive = Value(t);
        return Value(t);
    }
    // setters 30..: field index and count of arguments they take
    Parts p = std::isnan(t) ? Parts{1970, 0, 1, 0, 0, 0, 0, 4} : split(t);
    double* fields[] = {&p.year, &p.month, &p.date, &p.hours, &p.minutes, &p.seconds, &p.ms};
    int field = (m - 30) % 10;
    for (size_t i = 0; i < args.size() && field + int(i) < 7; ++i) {
        if (field == 2 && i > 0) break;
        *fields[field + int(i)] = e.toNumber(args[i]);
    }
    if (m % 10 == 8) p.year = e.toNumber(arg(args, 0)) + (e.toNumber(arg(args, 0)) < 100 ? 1900 : 0);
    t = join(p);
    o->primitive = Value(t);
    return Value(t);
}

Value dateUTC(EngineImpl& e, Object*, const Value&, Args args) {
    double v[7] = {0, 0, 1, 0, 0, 0, 0};
    for (size_t i = 0; i < 7 && i < args.size(); ++i) v[i] = e.toNumber(args[i]);
    if (v[0] >= 0 && v[0] <= 99) v[0] += 1900;
    return Value(timeClip(makeDay(v[0], v[1], v[2]) * kMsPerDay + makeTime(v[3], v[4], v[5], v[6])));
}

}  // namespace

void installDate(EngineImpl& e) {
    Object* c = e.makeClass("Date", dateCtor, e.dateProto);
    e.method(c, "UTC", dateUTC);
    const char* getters[] = {"FullYear", "Month", "Date", "Hours", "Minutes", "Seconds", "Milliseconds", "Day", "Year"};
    for (int i = 0; i < 9; ++i) {
        e.method(e.dateProto, std::string("get") + getters[i], dateMethod, i);
        e.method(e.dateProto, std::string("getUTC") + getters[i], dateMethod, 10 + i);
    }
    e.method(e.dateProto, "getTime", dateMethod, 20);
    e.method(e.dateProto, "valueOf", dateMethod, 20);
    e.method(e.dateProto, "getTimezoneOffset", dateMethod, 21);
    e.method(e.dateProto, "toString", dateMethod, 22);
    e.method(e.dateProto, "setTime", dateMethod, 23);
    const char* setters[] = {"FullYear", "Month", "Date", "Hours", "Minutes", "Seconds", "Milliseconds"};
    for (int i = 0; i < 7; ++i) {
        e.method(e.dateProto, std::string("set") + setters[i], dateMethod, 30 + i);
        e.method(e.dateProto, std::string("setUTC") + setters[i], dateMethod, 40 + i);
    }
    e.method(e.dateProto, "setYear", dateMethod, 38);
}

}  // namespace swf::avm1
