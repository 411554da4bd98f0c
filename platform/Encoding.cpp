#include "Encoding.h"

#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

namespace platform {

namespace {

// A single-byte code page as two tables, built once from the platform's converter: byte to
// character, and character to byte (-1 where the code page lacks the character).
class TSingleByteCodePage {
public:
    explicit TSingleByteCodePage(const char* name) : FFromUnicode(std::make_unique<Reverse>()) {
        FFromUnicode->fill(-1);
        for (int b = 0; b < 256; ++b) {
            QStringDecoder decoder(name, QStringConverter::Flag::Stateless);
            const QString c = decoder.decode(QByteArray(1, char(b)));
            // An undefined byte stands for the control character of its number, so it survives.
            char16_t u = char16_t(b);
            if (!decoder.hasError() && c.size() == 1 && c[0] != QChar::ReplacementCharacter)
                u = c[0].unicode();
            FToUnicode[std::size_t(b)] = u;
            if ((*FFromUnicode)[u] < 0) (*FFromUnicode)[u] = int16_t(b);
        }
        FAsciiSame = true;
        for (int b = 0; b < 0x80; ++b)
            FAsciiSame = FAsciiSame && FToUnicode[std::size_t(b)] == char16_t(b);
    }

    QString Decode(QByteArrayView bytes) const {
        QString out(bytes.size(), Qt::Uninitialized);
        char16_t* o = reinterpret_cast<char16_t*>(out.data());
        const auto* in = reinterpret_cast<const unsigned char*>(bytes.constData());
        const qsizetype n = bytes.size();
        qsizetype i = 0;
        // Eight bytes at a time: where the code page keeps ASCII and none of them is above 0x7F
        // (most of a database's text), each byte is its own character and needs no table.
        for (; i + 8 <= n; i += 8) {
            uint64_t word;
            std::memcpy(&word, in + i, 8);
            if (FAsciiSame && (word & 0x8080808080808080u) == 0) {
                for (int k = 0; k < 8; ++k)
                    o[i + k] = char16_t(in[i + k]);
            } else {
                for (int k = 0; k < 8; ++k)
                    o[i + k] = FToUnicode[in[i + k]];
            }
        }
        for (; i < n; ++i)
            o[i] = FToUnicode[in[i]];
        return out;
    }

    // Writes at most text.size() bytes at `o`; returns how many.
    qsizetype EncodeTo(QStringView text, char* o) const {
        char* const start = o;
        const char16_t* in = text.utf16();
        const int16_t* table = FFromUnicode->data(); // a local: the stores through `o` may alias
        for (qsizetype i = 0, n = text.size(); i < n; ++i) {
            const int b = table[in[i]];
            if (b >= 0) {
                *o++ = char(b);
                continue;
            }
            char32_t code = in[i];
            if (QChar::isHighSurrogate(code) && i + 1 < n && QChar::isLowSurrogate(in[i + 1])) {
                code = QChar::surrogateToUcs4(in[i], in[i + 1]);
                ++i;
            }
            *o++ = Substitute(code);
        }
        return o - start;
    }

    QByteArray Encode(const QString& text) const {
        QByteArray out(text.size(), Qt::Uninitialized);
        out.truncate(EncodeTo(text, out.data()));
        return out;
    }

private:
    using Reverse = std::array<int16_t, 0x10000>;

    // The base letter of a character that is that letter with marks added (compatibility
    // decomposition: "À" is "A" with a grave accent, a full-width "Ａ" is "A"), when the code page
    // has it; otherwise the default character.
    char Substitute(char32_t code) const {
        if (QChar::isSurrogate(code)) return kDefaultChar;
        const QString parts = QString::fromUcs4(&code, 1).normalized(QString::NormalizationForm_KD);
        if (parts.isEmpty() || parts[0].isSurrogate()) return kDefaultChar;
        for (qsizetype i = 1; i < parts.size(); ++i)
            if (!parts[i].isMark()) return kDefaultChar;
        const int b = (*FFromUnicode)[parts[0].unicode()];
        return b >= 0 ? char(b) : kDefaultChar;
    }

    static constexpr char kDefaultChar = '?';
    std::array<char16_t, 256> FToUnicode{};
    // Bytes 0x00 to 0x7F stand for the characters of the same number.
    bool FAsciiSame = false;
    std::unique_ptr<Reverse> FFromUnicode;
};

// Each table is built on its first use; a conversion checks only its own (this runs per value).
const TSingleByteCodePage& CodePage(TTextEncoding e) {
    switch (e) {
    case TTextEncoding::KOI8R: {
        static const TSingleByteCodePage koi8r("KOI8-R");
        return koi8r;
    }
    case TTextEncoding::ISO88592: {
        static const TSingleByteCodePage iso88592("ISO-8859-2");
        return iso88592;
    }
    default: {
        static const TSingleByteCodePage windows1250("windows-1250");
        return windows1250;
    }
    }
}

// UTF-16 unit by unit: lone surrogates and marks inside the text are kept as they are.
QByteArray EncodeUtf16(const QString& text, bool bigEndian) {
    QByteArray out(text.size() * 2, Qt::Uninitialized);
    char* o = out.data();
    for (QChar c : text) {
        const char16_t u = c.unicode();
        *o++ = char(bigEndian ? u >> 8 : u & 0xFF);
        *o++ = char(bigEndian ? u & 0xFF : u >> 8);
    }
    return out;
}

// An odd last byte is not a character: TryDecode reports it, Decode shows U+FFFD.
QString DecodeUtf16(QByteArrayView bytes, bool bigEndian) {
    const qsizetype units = bytes.size() / 2;
    QString out(units + bytes.size() % 2, Qt::Uninitialized);
    char16_t* o = reinterpret_cast<char16_t*>(out.data());
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.constData());
    for (qsizetype i = 0; i < units; ++i) {
        const char16_t hi = in[2 * i + (bigEndian ? 0 : 1)];
        const char16_t lo = in[2 * i + (bigEndian ? 1 : 0)];
        o[i] = char16_t(hi << 8 | lo);
    }
    if (bytes.size() % 2) o[units] = QChar::ReplacementCharacter;
    return out;
}

// A mark at the start of the bytes is content here: the caller has already taken the file's mark.
// One decoder per thread: making one costs more than decoding a short value.
QString DecodeUtf8(QByteArrayView bytes, bool* valid) {
    // Without a mark in front, Qt's plain conversion gives the same characters (and the same
    // U+FFFD for broken bytes) in about half the time; it would drop a leading mark.
    if (!valid && !bytes.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(bytes);
    thread_local QStringDecoder decoder(QStringConverter::Utf8,
                                        QStringConverter::Flag::Stateless |
                                            QStringConverter::Flag::ConvertInitialBom);
    decoder.resetState();
    QString out = decoder.decode(bytes);
    if (valid) *valid = !decoder.hasError();
    return out;
}

bool IsSingleByte(TTextEncoding e) {
    return e == TTextEncoding::Ansi || e == TTextEncoding::KOI8R || e == TTextEncoding::ISO88592;
}

} // namespace

int AnsiCodePage() {
    return 1250;
}

QByteArray Encode(const QString& text, TTextEncoding encoding) {
    switch (encoding) {
    case TTextEncoding::UTF8:
        return text.toUtf8();
    case TTextEncoding::UTF16LE:
        return EncodeUtf16(text, false);
    case TTextEncoding::UTF16BE:
        return EncodeUtf16(text, true);
    default:
        return CodePage(encoding).Encode(text);
    }
}

void EncodeInto(QStringView text, TTextEncoding encoding, QByteArray& out) {
    if (!IsSingleByte(encoding)) {
        out = Encode(text.toString(), encoding);
        return;
    }
    // One byte per UTF-16 unit at most; the storage is kept when it is ours and large enough.
    if (!out.isDetached() || out.capacity() < text.size()) out = QByteArray(text.size(), Qt::Uninitialized);
    out.resize(text.size());
    out.truncate(CodePage(encoding).EncodeTo(text, out.data()));
}

QString Decode(QByteArrayView bytes, TTextEncoding encoding) {
    switch (encoding) {
    case TTextEncoding::UTF8:
        return DecodeUtf8(bytes, nullptr);
    case TTextEncoding::UTF16LE:
        return DecodeUtf16(bytes, false);
    case TTextEncoding::UTF16BE:
        return DecodeUtf16(bytes, true);
    default:
        return CodePage(encoding).Decode(bytes);
    }
}

bool TryDecode(const QByteArray& bytes, TTextEncoding encoding, QString& text) {
    text.clear();
    bool valid = true;
    QString out;
    if (encoding == TTextEncoding::UTF8)
        out = DecodeUtf8(bytes, &valid);
    else if (!IsSingleByte(encoding) && bytes.size() % 2 != 0)
        valid = false;
    else
        out = Decode(bytes, encoding);
    if (valid) text = std::move(out);
    return valid;
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

TTextEncoding DetectTextEncoding(const QByteArray& bytes, int& markLength) {
    const TTextEncoding marked = DetectByteOrderMark(bytes, markLength);
    if (markLength > 0) return marked;
    const bool ascii = std::all_of(bytes.cbegin(), bytes.cend(), [](char c) { return uchar(c) < 0x80; });
    if (ascii) return TTextEncoding::Ansi;
    bool valid = false;
    DecodeUtf8(bytes, &valid);
    return valid ? TTextEncoding::UTF8 : TTextEncoding::Ansi;
}

QString DecodeWithByteOrderMark(const QByteArray& bytes, TTextEncoding& detected) {
    int markLength = 0;
    detected = DetectByteOrderMark(bytes, markLength);
    return Decode(bytes.mid(markLength), detected);
}

} // namespace platform
