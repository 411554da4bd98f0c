#include "Format.h"

#include "Exceptions.h"
#include "RegionalSettings.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace platform {

namespace {

[[noreturn]] void InvalidFormat(const QString& directive) {
    throw EConvertError(QString::fromUtf16(rtl::SInvalidFormat).replace(QLatin1String("%s"), directive));
}

QString FloatText(double v, QChar type, int prec) {
    QString s;
    const QChar sep = RegionalSettings().DecimalSeparator;
    switch (type.unicode()) {
    case 'f':
        s = QString::number(v, 'f', prec < 0 ? 2 : prec);
        break;
    case 'n': {
        s = QString::number(std::fabs(v), 'f', prec < 0 ? 2 : prec);
        int dot = s.indexOf(QLatin1Char('.'));
        int intEnd = dot < 0 ? s.size() : dot;
        const QChar thousand = RegionalSettings().ThousandSeparator;
        if (!thousand.isNull())
            for (int i = intEnd - 3; i > 0; i -= 3)
                s.insert(i, thousand);
        if (v < 0 && s.contains(QRegularExpression(QStringLiteral("[1-9]")))) s.prepend(QLatin1Char('-'));
        break;
    }
    case 'e': {
        s = QString::number(v, 'E', prec < 0 ? 14 : std::max(prec - 1, 0));
        // Three exponent digits, as the runtime writes them.
        int e = s.indexOf(QLatin1Char('E'));
        if (e >= 0) {
            QString mant = s.left(e + 2);
            QString digits = s.mid(e + 2);
            while (digits.size() < 3)
                digits.prepend(QLatin1Char('0'));
            s = mant + digits;
        }
        break;
    }
    default: // 'g'
        s = QString::number(v, 'G', prec < 0 || prec > 15 ? 15 : (prec == 0 ? 1 : prec));
        break;
    }
    s.replace(QLatin1Char('.'), sep);
    return s;
}

} // namespace

QString Format(const QString& format, std::initializer_list<TVarRec> argList) {
    const std::vector<TVarRec> args(argList);
    QString out;
    out.reserve(format.size() + 16);
    size_t nextArg = 0;
    const int n = format.size();
    for (int i = 0; i < n; ++i) {
        QChar c = format[i];
        if (c != QLatin1Char('%')) {
            out += c;
            continue;
        }
        const int start = i;
        if (i + 1 < n && format[i + 1] == QLatin1Char('%')) {
            out += QLatin1Char('%');
            ++i;
            continue;
        }
        ++i;
        auto readNumber = [&](int& value) -> bool {
            if (i < n && format[i] == QLatin1Char('*')) {
                if (nextArg >= args.size()) InvalidFormat(format.mid(start, i - start + 1));
                const TVarRec& a = args[nextArg++];
                if (a.GetKind() != TVarRec::Kind::Int32 && a.GetKind() != TVarRec::Kind::Int64)
                    InvalidFormat(format.mid(start, i - start + 1));
                value = int(a.AsInt());
                ++i;
                return true;
            }
            bool any = false;
            value = 0;
            while (i < n && format[i].isDigit()) {
                value = value * 10 + format[i].digitValue();
                ++i;
                any = true;
            }
            return any;
        };
        int number = 0;
        bool left = false;
        int width = -1, prec = -1;
        // Optional "index:" prefix; when there is none, a "*" read while looking gives its argument
        // back to the width.
        const int save = i;
        const size_t saveArg = nextArg;
        if (readNumber(number) && i < n && format[i] == QLatin1Char(':')) {
            nextArg = size_t(number);
            ++i;
        } else {
            i = save;
            nextArg = saveArg;
        }
        if (i < n && format[i] == QLatin1Char('-')) {
            left = true;
            ++i;
        }
        if (readNumber(number)) {
            // A negative width from the argument list pads on the right, as in C.
            if (number < 0) left = true;
            width = int(std::min<int64_t>(std::abs(int64_t(number)), INT32_MAX));
        }
        if (i < n && format[i] == QLatin1Char('.')) {
            ++i;
            readNumber(number);
            prec = number;
        }
        if (i >= n) InvalidFormat(format.mid(start));
        const QChar type = format[i].toLower();
        const QString directive = format.mid(start, i - start + 1);
        if (nextArg >= args.size())
            throw EConvertError(
                QString::fromUtf16(rtl::SArgumentMissing).replace(QLatin1String("%s"), directive));
        const TVarRec& a = args[nextArg++];
        const bool isInt = a.GetKind() == TVarRec::Kind::Int32 || a.GetKind() == TVarRec::Kind::Int64;
        QString text;
        switch (type.unicode()) {
        case 'd':
        case 'u': {
            if (!isInt) InvalidFormat(directive);
            int64_t v = a.AsInt();
            bool negative = false;
            QString digits;
            if (type == QLatin1Char('u')) {
                uint64_t u =
                    a.GetKind() == TVarRec::Kind::Int32 ? uint64_t(uint32_t(int32_t(v))) : uint64_t(v);
                digits = QString::number(u);
            } else {
                negative = v < 0;
                digits = QString::number(negative ? 0 - uint64_t(v) : uint64_t(v));
            }
            while (digits.size() < prec)
                digits.prepend(QLatin1Char('0'));
            text = negative ? QLatin1Char('-') + digits : digits;
            break;
        }
        case 'x': {
            if (!isInt) InvalidFormat(directive);
            uint64_t u = a.GetKind() == TVarRec::Kind::Int32 ? uint64_t(uint32_t(int32_t(a.AsInt())))
                                                             : uint64_t(a.AsInt());
            text = QString::number(u, 16).toUpper();
            while (text.size() < prec)
                text.prepend(QLatin1Char('0'));
            break;
        }
        case 's':
            if (a.GetKind() != TVarRec::Kind::String) InvalidFormat(directive);
            text = prec >= 0 ? a.AsString().left(prec) : a.AsString();
            break;
        case 'f':
        case 'e':
        case 'g':
        case 'n':
            if (a.GetKind() != TVarRec::Kind::Float) InvalidFormat(directive);
            text = FloatText(a.AsFloat(), type, prec);
            break;
        default:
            InvalidFormat(directive);
        }
        if (width > text.size()) {
            QString pad(width - text.size(), QLatin1Char(' '));
            text = left ? text + pad : pad + text;
        }
        out += text;
    }
    return out;
}

} // namespace platform
