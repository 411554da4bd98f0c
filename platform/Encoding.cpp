#include "Encoding.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace platform {

namespace {

const char* CodecName(TTextEncoding e) {
    switch (e) {
    case TTextEncoding::Ansi:
        return "windows-1250";
    case TTextEncoding::KOI8R:
        return "KOI8-R";
    default:
        return nullptr;
    }
}

} // namespace

int AnsiCodePage() {
    return 1250;
}

QByteArray Encode(const QString& text, TTextEncoding encoding) {
    switch (encoding) {
    case TTextEncoding::UTF8:
        return text.toUtf8();
    case TTextEncoding::UTF16LE: {
        QStringEncoder enc(QStringConverter::Utf16LE, QStringConverter::Flag::ConvertInitialBom);
        return enc.encode(text);
    }
    case TTextEncoding::UTF16BE: {
        QStringEncoder enc(QStringConverter::Utf16BE, QStringConverter::Flag::ConvertInitialBom);
        return enc.encode(text);
    }
    default: {
        QStringEncoder enc(CodecName(encoding));
        return enc.encode(text);
    }
    }
}

QString Decode(const QByteArray& bytes, TTextEncoding encoding) {
    switch (encoding) {
    case TTextEncoding::UTF8:
        return QString::fromUtf8(bytes);
    case TTextEncoding::UTF16LE: {
        QStringDecoder dec(QStringConverter::Utf16LE,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
        return dec.decode(bytes);
    }
    case TTextEncoding::UTF16BE: {
        QStringDecoder dec(QStringConverter::Utf16BE,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
        return dec.decode(bytes);
    }
    default: {
        QStringDecoder dec(CodecName(encoding));
        return dec.decode(bytes);
    }
    }
}

QByteArray Preamble(TTextEncoding encoding) {
    switch (encoding) {
    case TTextEncoding::UTF8:
        return QByteArray("\xEF\xBB\xBF", 3);
    case TTextEncoding::UTF16LE:
        return QByteArray("\xFF\xFE", 2);
    case TTextEncoding::UTF16BE:
        return QByteArray("\xFE\xFF", 2);
    default:
        return {};
    }
}

TTextEncoding DetectByteOrderMark(const QByteArray& bytes, int& markLength) {
    for (TTextEncoding e : {TTextEncoding::UTF8, TTextEncoding::UTF16LE, TTextEncoding::UTF16BE}) {
        const QByteArray mark = Preamble(e);
        if (bytes.startsWith(mark)) {
            markLength = int(mark.size());
            return e;
        }
    }
    markLength = 0;
    return TTextEncoding::Ansi;
}

QString DecodeWithByteOrderMark(const QByteArray& bytes, TTextEncoding& detected) {
    int markLength = 0;
    detected = DetectByteOrderMark(bytes, markLength);
    return Decode(bytes.mid(markLength), detected);
}

} // namespace platform
