#include "Controls.h"

#include "Exceptions.h"
#include "TextFile.h"

#include <QEvent>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

namespace platform {

namespace {

// The kept form of a text: CR LF, a lone CR and a lone LF each become "\n".
QString ToLines(const QString& text, qsizetype& lineBreaks) {
    lineBreaks = 0;
    const qsizetype n = text.size();
    QString out(n, Qt::Uninitialized);
    QChar* o = out.data();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            *o++ = QLatin1Char('\n');
            ++lineBreaks;
            if (c == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n')) ++i;
        } else {
            *o++ = c;
        }
    }
    out.truncate(o - out.constData());
    return out;
}

// The character the document shows for a kept one. Those it would take as a paragraph or frame
// break are shown as U+FFFD, one for one, so that positions in the document stay positions in
// the kept text.
QChar Shown(QChar c) {
    switch (c.unicode()) {
    case 0x2029:
    case 0xFDD0:
    case 0xFDD1:
        return QChar::ReplacementCharacter;
    default:
        return c;
    }
}

QString ToShown(const QString& lines) {
    QString out = lines;
    for (QChar& c : out)
        c = Shown(c);
    return out;
}

qsizetype CountBreaks(QStringView text) {
    return text.count(QLatin1Char('\n'));
}

// The lines with every LF written as CR LF; `breaks` is the number of LFs in them.
QString WithCrLf(QStringView lines, qsizetype breaks) {
    QString out(lines.size() + breaks, Qt::Uninitialized);
    QChar* o = out.data();
    for (QChar c : lines) {
        if (c == QLatin1Char('\n')) *o++ = QLatin1Char('\r');
        *o++ = c;
    }
    return out;
}

} // namespace

TMemo::TMemo(TComponent* owner, QWidget* parentWidget)
    : TComponent(owner), FEdit(new QPlainTextEdit(parentWidget)) {
    FEdit->setUndoRedoEnabled(false);
    FEdit->installEventFilter(this);
    connect(FEdit->document(), &QTextDocument::contentsChange, this, &TMemo::DocumentChanged);
}

QPlainTextEdit* TMemo::Widget() {
    SyncView();
    return FEdit;
}

bool TMemo::eventFilter(QObject* watched, QEvent* event) {
    // The type first: the widget's destructor sends events too, and looking at the guarded pointer
    // then would treat a half-destroyed widget as the view.
    if (event->type() == QEvent::Show && watched == FEdit) {
        SyncView();
        if (FScrollPending) ScrollToEnd();
    }
    return TComponent::eventFilter(watched, event);
}

void TMemo::SyncView() {
    if (FViewStale) WriteView();
}

void TMemo::ScrollToEnd() {
    if (!FEdit) return;
    if (ViewHidden()) {
        FScrollPending = true;
        return;
    }
    SyncView();
    FScrollPending = false;
    FEdit->moveCursor(QTextCursor::End);
    FEdit->ensureCursorVisible();
}

TMemo::~TMemo() {
    // The widget belongs to its parent window when it has one.
    if (FEdit && !FEdit->parent()) delete FEdit.data();
}

QString TMemo::Text() const {
    return WithCrLf(FLines, FLineBreaks);
}

void TMemo::CheckCapacity(qsizetype chars, qsizetype lineBreaks) const {
    if (chars + lineBreaks > FCapacity) throw EInvalidOperation(QString::fromUtf16(rtl::SMemoTooLarge));
}

void TMemo::SetText(const QString& text) {
    qsizetype breaks = 0;
    QString lines = ToLines(text, breaks);
    CheckCapacity(lines.size(), breaks);
    FLines = std::move(lines);
    FLineBreaks = breaks;
    FRewrite = true;
    FTrimmed = false;
    FSaved = 0;
    FStamp = TFileStamp();
    FHeadBytes = 0;
    ShowText();
}

void TMemo::ShowText() {
    if (ViewHidden()) {
        FViewStale = true;
        return;
    }
    WriteView();
}

void TMemo::WriteView() {
    FViewStale = false;
    if (!FEdit) return;
    FShowing = true;
    const auto done = qScopeGuard([this] { FShowing = false; });
    FEdit->setPlainText(ToShown(FLines));
    if (FScrollPending) FEdit->moveCursor(QTextCursor::End);
}

void TMemo::AppendLine(const QString& line) {
    qsizetype breaks = 0;
    QString add = ToLines(line, breaks);
    if (FLines.isEmpty() || FLines.endsWith(QLatin1Char('\n')))
        add += QLatin1Char('\n');
    else
        add.prepend(QLatin1Char('\n'));
    ++breaks;
    CheckCapacity(FLines.size() + add.size(), FLineBreaks + breaks);
    FLines += add;
    FLineBreaks += breaks;
    if (!FEdit) return;
    if (ViewHidden() || FViewStale) {
        ShowText();
        return;
    }
    FShowing = true;
    const auto done = qScopeGuard([this] { FShowing = false; });
    QTextCursor cursor(FEdit->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(ToShown(add));
}

// An edit made in the widget: the changed range is taken from the document, except where the
// document still shows what the kept text holds (a reported range may be wider than the edit).
// The number of removed characters follows from the lengths before and after.
void TMemo::DocumentChanged(int position, int /*removed*/, int added) {
    // A document left behind the text (hidden, not asked for) is rewritten whole before it is seen.
    if (FShowing || !FEdit || FViewStale) return;
    QTextDocument* doc = FEdit->document();
    const qsizetype docLength = doc->characterCount() - 1;
    const qsizetype at = std::clamp<qsizetype>(position, 0, FLines.size());
    const qsizetype put = std::clamp<qsizetype>(added, 0, docLength - at);
    const qsizetype gone = std::clamp<qsizetype>(FLines.size() + put - docLength, 0, FLines.size() - at);
    QTextCursor cursor(doc);
    cursor.setPosition(int(at));
    cursor.setPosition(int(at + put), QTextCursor::KeepAnchor);
    QString inserted = cursor.selectedText();
    inserted.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    qsizetype head = 0;
    while (head < gone && head < inserted.size() && Shown(FLines[at + head]) == inserted[head])
        ++head;
    qsizetype tail = 0;
    while (tail < gone - head && tail < inserted.size() - head &&
           Shown(FLines[at + gone - 1 - tail]) == inserted[inserted.size() - 1 - tail])
        ++tail;
    const QStringView fresh = QStringView(inserted).mid(head, inserted.size() - head - tail);
    const qsizetype from = at + head;
    const qsizetype count = gone - head - tail;
    FLineBreaks += CountBreaks(fresh) - CountBreaks(QStringView(FLines).mid(from, count));
    FLines.replace(from, count, fresh.data(), fresh.size());
    // An edit of text the file already holds: the whole text is written while the view has all of
    // it; after lines were dropped, the edit stays in the view only.
    // After a save that put a line break behind an unfinished last line, that break must still
    // follow the saved text: text typed onto the line, or the break deleted (joining the next line
    // onto it), changes the file's last line too.
    const bool ontoSavedLine = from == FSaved && FSavedAddedBreak && (count > 0 || !fresh.isEmpty()) &&
                               FSaved < FLines.size() && FLines[FSaved] != QLatin1Char('\n');
    if ((from < FSaved && (count > 0 || !fresh.isEmpty())) || ontoSavedLine) {
        if (!FTrimmed) FRewrite = true;
        FSaved = std::max(from, FSaved + fresh.size() - count);
    }
}

QString TMemo::LinesText() const {
    QString text = Text();
    if (!FLines.isEmpty() && !FLines.endsWith(QLatin1Char('\n'))) text += QLatin1String("\r\n");
    return text;
}

void TMemo::LoadFromFile(const QString& fileName) {
    if (FMaxLines > 0) {
        // Only the lines the view keeps are read: a large file is not held whole, several times
        // over, at start.
        const TTextTail tail = LoadTextFileTail(fileName, FMaxLines, FCapacity);
        SetText(tail.Text);
        FEncoding = tail.Encoding;
        FRewrite = !tail.SavedForm;
        FTrimmed = tail.HeadBytes > 0;
        FHeadBytes = tail.HeadBytes;
        FStamp = tail.Stamp;
    } else {
        TTextEncoding detected;
        TFileStamp stamp;
        const QString text = LoadTextFile(fileName, detected, FCapacity, &stamp);
        SetText(text);
        FEncoding = detected;
        // The file holds exactly the view's text when saving would write its bytes again.
        FRewrite = text != LinesText();
        FStamp = stamp;
    }
    FStampFile = fileName;
    FSaved = FLines.size();
    FSavedAddedBreak = false;
}

void TMemo::SaveToFile(const QString& fileName) const {
    SaveTextFile(fileName, LinesText(), FEncoding);
}

void TMemo::SaveNewLinesToFile(const QString& fileName) {
    const bool addBreak = !FLines.isEmpty() && !FLines.endsWith(QLatin1Char('\n'));
    const TFileStamp now = StampOf(fileName);
    // Someone else (another run of the program, a person) created or changed the file since: what
    // it holds stays, and only the lines it lacks are added.
    const bool known = FStamp.Valid && FStampFile == fileName && now == FStamp;
    const bool foreign = now.Valid && !known;
    TFileStamp written = now;
    if (FRewrite && !foreign) {
        written = SaveTextFile(fileName, LinesText(), FEncoding, now.Valid ? FHeadBytes : 0);
    } else {
        QStringView fresh = QStringView(FLines).mid(FSaved);
        // The break the last save put after an unfinished line is in the file already.
        if (FSavedAddedBreak && fresh.startsWith(QLatin1Char('\n'))) fresh = fresh.mid(1);
        QString text = WithCrLf(fresh, CountBreaks(fresh));
        if (addBreak && !fresh.isEmpty()) text += QLatin1String("\r\n");
        if (!text.isEmpty()) written = AppendTextFile(fileName, text, FEncoding, foreign);
    }
    FStamp = written;
    FStampFile = fileName;
    FHeadBytes = 0;
    FRewrite = false;
    FSaved = FLines.size();
    FSavedAddedBreak = addBreak;
    DropOldLines();
}

void TMemo::DropOldLines() {
    if (FMaxLines <= 0) return;
    const qsizetype lines = FLineBreaks + (FLines.isEmpty() || FLines.endsWith(QLatin1Char('\n')) ? 0 : 1);
    qsizetype drop = lines - FMaxLines;
    if (drop <= 0) return;
    qsizetype chars = 0;
    while (drop > 0 && chars < FSaved) {
        const qsizetype next = FLines.indexOf(QLatin1Char('\n'), chars);
        if (next < 0 || next + 1 > FSaved) break;
        chars = next + 1;
        --drop;
        --FLineBreaks;
    }
    if (chars == 0) return;
    FLines.remove(0, chars);
    FLines.squeeze();
    FSaved -= chars;
    FTrimmed = true;
    if (!FEdit) return;
    if (ViewHidden() || FViewStale) {
        ShowText();
        return;
    }
    FShowing = true;
    const auto done = qScopeGuard([this] { FShowing = false; });
    QTextCursor cursor(FEdit->document());
    cursor.setPosition(int(chars), QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
}

} // namespace platform
