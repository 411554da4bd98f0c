#pragma once
// Standard controls the windows are built from, as components: the multi-line text view.

#include "Component.h"
#include "Encoding.h"
#include "TextFile.h"

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

    // The widget, its document brought up to date with the text first (see FViewStale).
    QPlainTextEdit* Widget();

    QString Text() const;
    // Raises EInvalidOperation "Text exceeds memo capacity" beyond Capacity(); the text is then
    // unchanged.
    void SetText(const QString& text);
    // Appends a line: after the text when it ends with CR LF (then CR LF follows the line),
    // otherwise CR LF and the line.
    void AppendLine(const QString& line);
    // Puts the cursor after the last line and scrolls it into view; for a hidden widget, when it
    // is shown.
    void ScrollToEnd();
    // The lines, each followed by CR LF.
    QString LinesText() const;

    // In characters of Text(), line breaks counting two.
    qsizetype Capacity() const { return FCapacity; }
    void SetCapacity(qsizetype chars) { FCapacity = chars; }

    // Loading replaces the text with the file's content (mark detection, line breaks made CR LF)
    // and remembers the encoding; saving writes the lines in that encoding. With SetMaxLines, only
    // the file's newest lines are read into the view (the file is still checked whole).
    void LoadFromFile(const QString& fileName);
    void SaveToFile(const QString& fileName) const;
    // Brings a file that holds this view's text up to date: appends what was added to the view
    // since it was loaded from or saved to the file, so the cost does not grow with the file. The
    // whole text is written (as by SaveToFile) when the file's content is not known to match the
    // view: nothing was loaded or saved yet, the loaded file differed from its saved form, or text
    // already in the file was edited while the view still holds all of it. A file that someone
    // else created or changed since this view last read or wrote it is never replaced: the lines
    // it lacks are added after its end, on a line of their own.
    void SaveNewLinesToFile(const QString& fileName);
    // After each SaveNewLinesToFile the view keeps only its newest lines, at most this many (0: all);
    // lines not yet in the file are never dropped.
    void SetMaxLines(qsizetype lines) { FMaxLines = lines; }
    TTextEncoding Encoding() const { return FEncoding; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CheckCapacity(qsizetype chars, qsizetype lineBreaks) const;
    bool ViewHidden() const { return FEdit && !FEdit->isVisible(); }
    // The whole text into the widget's document: now, or when a hidden widget is shown.
    void ShowText();
    void WriteView();
    void SyncView();
    void DocumentChanged(int position, int removed, int added);
    void DropOldLines();

    // The widget may be destroyed with its window before this component.
    QPointer<QPlainTextEdit> FEdit;
    // The text with "\n" for each CR LF, so that its positions are the document's positions.
    QString FLines;
    qsizetype FLineBreaks = 0;
    bool FShowing = false;
    // A hidden widget's document is left as it is while lines come and go: laying out and shaping
    // every appended line of a view nobody sees cost most of a headless run, and more the longer
    // the program ran. It shows the text again when it is shown or asked for through Widget().
    bool FViewStale = false;
    bool FScrollPending = false;
    TTextEncoding FEncoding = TTextEncoding::Ansi;
    qsizetype FCapacity = qsizetype(1) << 30;
    // What the file holds: FLines up to FSaved (plus a line break the save added after a last
    // line without one), unless the whole text must be written.
    qsizetype FSaved = 0;
    bool FSavedAddedBreak = false;
    bool FRewrite = true;
    // The file as this view last read or wrote it, and the bytes of it in front of the lines the
    // view holds when only its newest lines were loaded (written again by a whole save).
    TFileStamp FStamp;
    QString FStampFile;
    qint64 FHeadBytes = 0;
    // Lines were dropped from the front: the view no longer holds the whole file.
    bool FTrimmed = false;
    qsizetype FMaxLines = 0;
};

} // namespace platform
