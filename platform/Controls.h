#pragma once
// Standard controls the windows are built from, as components: the multi-line text view.

#include "Component.h"
#include "Encoding.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QString>

class QWidget;

namespace platform {

// Multi-line text view. Its text is a sequence of lines ended by CR LF; the widget shows it.
// The component keeps the text itself: the widget's document turns some characters into others
// (a no-break space into a space, U+2028 / U+2029 / U+FDD0 / U+FDD1 into line breaks), so the
// widget only shows the text and reports the user's edits, and a saved file holds exactly the
// characters that were loaded and appended.
class TMemo : public TComponent {
    Q_OBJECT
public:
    TMemo(TComponent* owner, QWidget* parentWidget);
    ~TMemo() override;

    QPlainTextEdit* Widget() const { return FEdit; }

    QString Text() const;
    // Raises EInvalidOperation "Text exceeds memo capacity" beyond Capacity(); the text is then
    // unchanged.
    void SetText(const QString& text);
    // Appends a line: after the text when it ends with CR LF (then CR LF follows the line),
    // otherwise CR LF and the line.
    void AppendLine(const QString& line);
    // The lines, each followed by CR LF.
    QString LinesText() const;

    // In characters of Text(), line breaks counting two.
    qsizetype Capacity() const { return FCapacity; }
    void SetCapacity(qsizetype chars) { FCapacity = chars; }

    // Loading replaces the text with the file's content (mark detection, line breaks made CR LF)
    // and remembers the encoding; saving writes the lines in that encoding.
    void LoadFromFile(const QString& fileName);
    void SaveToFile(const QString& fileName) const;
    TTextEncoding Encoding() const { return FEncoding; }

private:
    void CheckCapacity(qsizetype chars, qsizetype lineBreaks) const;
    void ShowText();
    void DocumentChanged(int position, int removed, int added);

    // The widget may be destroyed with its window before this component.
    QPointer<QPlainTextEdit> FEdit;
    // The text with "\n" for each CR LF, so that its positions are the document's positions.
    QString FLines;
    qsizetype FLineBreaks = 0;
    bool FShowing = false;
    TTextEncoding FEncoding = TTextEncoding::Ansi;
    qsizetype FCapacity = qsizetype(1) << 30;
};

} // namespace platform
