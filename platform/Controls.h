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
class TMemo : public TComponent {
    Q_OBJECT
public:
    TMemo(TComponent* owner, QWidget* parentWidget);
    ~TMemo() override;

    QPlainTextEdit* Widget() const { return FEdit; }

    QString Text() const;
    // Raises EOutOfResources-like EInvalidOperation "Text exceeds memo capacity" beyond Capacity().
    void SetText(const QString& text);
    // Appends a line: after the text when it ends with CR LF (then CR LF follows the line),
    // otherwise CR LF and the line.
    void AppendLine(const QString& line);
    // The lines, each followed by CR LF.
    QString LinesText() const;

    qsizetype Capacity() const { return FCapacity; }
    void SetCapacity(qsizetype chars) { FCapacity = chars; }

    // Loading replaces the text with the file's content (mark detection, line breaks made CR LF)
    // and remembers the encoding; saving writes the lines in that encoding.
    void LoadFromFile(const QString& fileName);
    void SaveToFile(const QString& fileName) const;
    TTextEncoding Encoding() const { return FEncoding; }

private:
    // The widget may be destroyed with its window before this component.
    QPointer<QPlainTextEdit> FEdit;
    TTextEncoding FEncoding = TTextEncoding::Ansi;
    qsizetype FCapacity = qsizetype(1) << 30;
};

} // namespace platform
