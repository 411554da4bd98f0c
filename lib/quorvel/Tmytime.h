#pragma once
// Date and time helpers: parts of date-times, compact texts, durations, month lengths, time
// ranges and the Polish names of months and weekdays. Class-level routines, no state.

#include "platform/DateTime.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <sys/time.h>

namespace quorvel {

using platform::TDateTime;

class Tmytime {
public:
    TDateTime xczas = 0; // kept for the interface; no routine uses it

    static int Rok(TDateTime t);
    static int Mies(TDateTime t);
    static int Dzien(TDateTime t);
    static int Godzina(TDateTime t);
    static int Minuta(TDateTime t);

    static QString TimeToGM(TDateTime t); // "hh:mm"
    static QString DateToDM(TDateTime t); // "dd-mm"
    static QString DateFileName(TDateTime t, bool sec);
    static QString date_time_code(TDateTime dt);          // "yyyymmddhhmm"
    static TDateTime decode_date_time(const QString& sx); // 0 for any text that is not a code
    static QString CzasToStr(TDateTime aDT, int Styl);
    static QString TTostr(TDateTime dt);

    static int64_t SekundOdDo(TDateTime t1, TDateTime t2);
    static QString SecToGMS(double s);
    static QString SecTcDGM(double s);
    static QString SecTcDGM2(double s);
    static float LhToLh(double sec);
    static QString LhToLhStr(double sec);
    static int DniOdDoTeraz(TDateTime D);
    static int DniOdTerazDo(TDateTime D);

    static int Dni_w_miesiacu(int mc, int rok);
    // The month's true last day (29 February in leap years); EConvertError for months outside 1-12.
    static TDateTime EncodeDateEnd(int rok, int mc);
    static TDateTime RokMcToDate(int rok, int mc);

    // Inclusive, as minutes of the day; a range whose end lies before its start never matches.
    static bool GMwZakresie(int G, int M, int OdG, int OdM, int DoG, int DoM);
    static bool CzasWZakresie(TDateTime t, int OdG, int OdM, int DoG, int DoM);

    static QString MiesiacAsString(int nr);
    static QString DzienT(int d);      // 1 = Sunday
    static QString DzienTshort(int d); // 1 = Sunday
    static QString DateToDzienT(TDateTime d);

    // Sets the local clock, keeping the current seconds and milliseconds; false when refused.
    static bool SetSystemTime(int Y, int M, int D, int G, int Mi);

    // Seam for setting the clock: receives the moment to set; returns whether it was accepted.
    // Empty: the system clock.
    static std::function<bool(const timeval&)> SetClockHook;
};

} // namespace quorvel
