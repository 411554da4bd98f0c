#include "Controls.h"

#include "Exceptions.h"
#include "StringList.h"
#include "TextFile.h"

#include <QPlainTextEdit>
#include <QTextCursor>

namespace platform {

namespace {
// The widget keeps "\n" between lines; the view's text uses CR LF.
QString ToWidget(const QString& text) {
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return t;
}
} // namespace

TMemo::TMemo(TComponent* owner, QWidget* parentWidget)
    : TComponent(owner), FEdit(new QPlainTextEdit(parentWidget)) {
    FEdit->setUndoRedoEnabled(false);
}

TMemo::~TMemo() {
    // The widget belongs to its parent window when it has one.
    if (FEdit && !FEdit->parent()) delete FEdit.data();
}

QString TMemo::Text() const {
    QString t = FEdit->toPlainText();
    t.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return t;
}

void TMemo::SetText(const QString& text) {
    if (text.size() > FCapacity) throw EInvalidOperation(QString::fromUtf16(rtl::SMemoTooLarge));
    FEdit->setPlainText(ToWidget(text));
}

void TMemo::AppendLine(const QString& line) {
    const QString current = FEdit->toPlainText();
    QString add;
    if (current.isEmpty() || current.endsWith(QLatin1Char('\n')))
        add = line + QLatin1Char('\n');
    else
        add = QLatin1Char('\n') + line;
    if (current.size() + add.size() > FCapacity)
        throw EInvalidOperation(QString::fromUtf16(rtl::SMemoTooLarge));
    QTextCursor cursor(FEdit->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(ToWidget(add));
}

QString TMemo::LinesText() const {
    TStringList lines;
    lines.SetText(Text());
    return lines.Text();
}

void TMemo::LoadFromFile(const QString& fileName) {
    TTextEncoding detected;
    const QString text = NormalizeLineBreaks(LoadTextFile(fileName, detected));
    SetText(text);
    FEncoding = detected;
}

void TMemo::SaveToFile(const QString& fileName) const {
    SaveTextFile(fileName, LinesText(), FEncoding);
}

} // namespace platform
