#include "Tmytime.h"

#include "lib/quorvel/TmyStr.h"
#include "platform/Exceptions.h"
#include "platform/IniFile.h"

#include <QDateTime>
#include <cmath>
#include <ctime>
#include <sys/time.h>

namespace quorvel {

std::function<bool(const timeval&)> Tmytime::SetClockHook;

using namespace platform;

namespace {

QString Pad(int64_t v, int width) {
    return QStringLiteral("%1").arg(v, width, 10, QLatin1Char('0'));
}

struct Parts {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, ms = 0;
};

Parts Split(TDateTime t) {
    Parts p;
    DecodeDate(t, p.y, p.mo, p.d);
    DecodeTime(t, p.h, p.mi, p.s, p.ms);
    return p;
}

const char16_t* const Months[12] = {u"Styczeń",  u"Luty",        u"Marzec",   u"Kwiecień",
                                    u"Maj",      u"Czerwiec",    u"Lipiec",   u"Sierpień",
                                    u"Wrzesień", u"Październik", u"Listopad", u"Grudzień"};
const char16_t* const Days[7] = {u"Niedziela", u"Poniedziałek", u"Wtorek", u"Środa",
                                 u"Czwartek",  u"Piątek",       u"Sobota"};
const char16_t* const DaysShort[7] = {u"Nd", u"Pn", u"Wt", u"Śr", u"Cz", u"Pt", u"So"};

// The divisor of the duration routines: a little larger than 1/86400, so long spans lose seconds.
constexpr double SecondFraction = 1.1574079E-5;

} // namespace

int Tmytime::Rok(TDateTime t) {
    return Split(t).y;
}
int Tmytime::Mies(TDateTime t) {
    return Split(t).mo;
}
int Tmytime::Dzien(TDateTime t) {
    return Split(t).d;
}
int Tmytime::Godzina(TDateTime t) {
    return Split(t).h;
}
int Tmytime::Minuta(TDateTime t) {
    return Split(t).mi;
}

QString Tmytime::TimeToGM(TDateTime t) {
    const Parts p = Split(t);
    return Pad(p.h, 2) + QLatin1Char(':') + Pad(p.mi, 2);
}

QString Tmytime::DateToDM(TDateTime t) {
    const Parts p = Split(t);
    return Pad(p.d, 2) + QLatin1Char('-') + Pad(p.mo, 2);
}

QString Tmytime::DateFileName(TDateTime t, bool sec) {
    const Parts p = Split(t);
    QString r = QString::number(p.y) + u'_' + Pad(p.mo, 2) + u'_' + Pad(p.d, 2) + u'_' + Pad(p.h, 2) + u'_' +
                Pad(p.mi, 2);
    if (sec) r += u'_' + Pad(p.s, 2);
    return r;
}

QString Tmytime::date_time_code(TDateTime dt) {
    const Parts p = Split(dt);
    return Pad(p.y, 4) + Pad(p.mo, 2) + Pad(p.d, 2) + Pad(p.h, 2) + Pad(p.mi, 2);
}

TDateTime Tmytime::decode_date_time(const QString& sx) {
    if (sx.size() != 12) return 0;
    int v[5];
    const int pos[5] = {0, 4, 6, 8, 10}, len[5] = {4, 2, 2, 2, 2};
    for (int i = 0; i < 5; ++i)
        if (!TryStrToInt(sx.mid(pos[i], len[i]), v[i])) return 0;
    // An impossible date or time is no code either: 0 rather than an exception.
    TDateTime d = 0, t = 0;
    if (!TryEncodeDate(v[0], v[1], v[2], d) || !TryEncodeTime(v[3], v[4], 0, 0, t)) return 0;
    return d + t;
}

QString Tmytime::CzasToStr(TDateTime aDT, int Styl) {
    const auto day = [&] { return DzienTshort(DayOfWeek(aDT)); };
    switch (Styl) {
    case 0:
        return DateToStr(aDT) + QStringLiteral("  ") + TimeToStr(aDT);
    case 1:
        return DateToDM(aDT) + u'/' + TimeToGM(aDT);
    case 2:
        return DateToDM(aDT) + u' ' + TimeToGM(aDT);
    case 3:
        return DateToDM(aDT) + u'_' + TimeToGM(aDT);
    case 4:
        return DateToStr(aDT) + u'(' + day() + QStringLiteral(") ") + TimeToStr(aDT);
    case 5:
        return DateToDM(aDT) + QStringLiteral(" [") + DzienT(DayOfWeek(aDT)) + QStringLiteral("] ") +
               TimeToGM(aDT);
    case 6:
        return MiesiacAsString(Mies(aDT)) + QStringLiteral("  ") + QString::number(Rok(aDT));
    case 7:
        return DateToStr(aDT) + u'(' + day() + u')';
    case 8:
        return DateToDM(aDT) + u'(' + day() + QStringLiteral(") ") + TimeToStr(aDT);
    case 9:
    case 10:
        return (Styl == 9 ? DateToDM(aDT) : DateToStr(aDT)) + u'(' + day() + QStringLiteral(") ") +
               TimeToStr(aDT) + QStringLiteral("  [ ") + SecTcDGM(double(SekundOdDo(aDT, Now()))) +
               QStringLiteral(" ]");
    case 11:
        return aDT != 0 ? CzasToStr(aDT, 4) : QString();
    default:
        return QString();
    }
}

QString Tmytime::TTostr(TDateTime dt) {
    return dt == 0 ? QStringLiteral("-- -- --") : CzasToStr(dt, 0);
}

int64_t Tmytime::SekundOdDo(TDateTime t1, TDateTime t2) {
    return int64_t(std::nearbyint((t2 - t1) / SecondFraction)); // default rounding: halves to even
}

QString Tmytime::SecToGMS(double s) {
    const int64_t h = std::min<int64_t>(int64_t(std::trunc(s / 3600)), 999);
    double rest = s - double(h) * 3600;
    const int64_t m = int64_t(std::trunc(rest / 60));
    rest -= double(m) * 60;
    return Pad(h, 2) + u':' + Pad(m, 2) + u':' + Pad(int64_t(std::nearbyint(rest)), 2);
}

QString Tmytime::SecTcDGM(double s) {
    if (s <= 0) return QStringLiteral("00:00:00");
    if (s > 86400) {
        const int64_t d = int64_t(std::trunc(s / 86400));
        return QString::number(d) + QStringLiteral("D ") + SecToGMS(s - double(d) * 86400);
    }
    return SecToGMS(s);
}

QString Tmytime::SecTcDGM2(double s) {
    return s <= 0 ? QStringLiteral("0") : SecTcDGM(s);
}

float Tmytime::LhToLh(double sec) {
    return float(sec / 3600);
}

QString Tmytime::LhToLhStr(double sec) {
    return TmyStr::MyFormatFloat(QStringLiteral("#,##0.00"), sec / 3600);
}

int Tmytime::DniOdDoTeraz(TDateTime D) {
    return int(std::trunc(Date() - D));
}
int Tmytime::DniOdTerazDo(TDateTime D) {
    return int(std::trunc(D - Date()));
}

int Tmytime::Dni_w_miesiacu(int mc, int rok) {
    switch (mc) {
    case 4:
    case 6:
    case 9:
    case 11:
        return 30;
    case 2:
        return IsLeapYear(rok) ? 29 : 28;
    default:
        return mc >= 1 && mc <= 12 ? 31 : 0;
    }
}

TDateTime Tmytime::EncodeDateEnd(int rok, int mc) {
    // Dni_w_miesiacu gives 0 for an impossible month, which EncodeDate refuses.
    return EncodeDate(rok, mc, Dni_w_miesiacu(mc, rok));
}

TDateTime Tmytime::RokMcToDate(int rok, int mc) {
    if (rok == 0 || mc == 0 || mc >= 32) return 0;
    return EncodeDate(rok, mc, 1);
}

bool Tmytime::GMwZakresie(int G, int M, int OdG, int OdM, int DoG, int DoM) {
    const int x = G * 60 + M;
    return x >= OdG * 60 + OdM && x <= DoG * 60 + DoM;
}

bool Tmytime::CzasWZakresie(TDateTime t, int OdG, int OdM, int DoG, int DoM) {
    return GMwZakresie(Godzina(t), Minuta(t), OdG, OdM, DoG, DoM);
}

QString Tmytime::MiesiacAsString(int nr) {
    return nr >= 1 && nr <= 12 ? QString::fromUtf16(Months[nr - 1]) : QString();
}

QString Tmytime::DzienT(int d) {
    return d >= 1 && d <= 7 ? QString::fromUtf16(Days[d - 1]) : QString();
}

QString Tmytime::DzienTshort(int d) {
    return d >= 1 && d <= 7 ? QString::fromUtf16(DaysShort[d - 1]) : QString();
}

QString Tmytime::DateToDzienT(TDateTime d) {
    return DzienT(DayOfWeek(d));
}

bool Tmytime::SetSystemTime(int Y, int M, int D, int G, int Mi) {
    // The conversion below would carry impossible components into another moment.
    if (M < 1 || M > 12 || D < 1 || D > Dni_w_miesiacu(M, Y) || G < 0 || G > 23 || Mi < 0 || Mi > 59)
        return false;
    timeval now{};
    if (gettimeofday(&now, nullptr) != 0) return false;
    std::tm local{};
    const time_t secs = now.tv_sec;
    localtime_r(&secs, &local);
    std::tm wanted{};
    wanted.tm_year = Y - 1900;
    wanted.tm_mon = M - 1;
    wanted.tm_mday = D;
    wanted.tm_hour = G;
    wanted.tm_min = Mi;
    wanted.tm_sec = local.tm_sec;
    wanted.tm_isdst = -1;
    const time_t target = mktime(&wanted);
    if (target == time_t(-1)) return false;
    const timeval tv{target, now.tv_usec};
    if (SetClockHook) return SetClockHook(tv);
    return settimeofday(&tv, nullptr) == 0;
}

} // namespace quorvel
