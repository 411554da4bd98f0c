#pragma once
// The application's information text with every switch on and the default hour.

#include <QString>

inline const QString kInfoHeadline = QStringLiteral(
    "Program aktualizujący stany liczników programu Lidorna na podstawie raportów  z systemu Vorek OEE MES");
inline const QString kFormyPath = QStringLiteral("C:\\Lidorna\\formy_db.fdb");
inline const QString kVorekPath = QStringLiteral("C:\\Vorek\\vorek_mes.fdb");

inline QString InfoText() {
    return QStringLiteral("<b>") + kInfoHeadline + QStringLiteral("</b><br><br>") +
           QStringLiteral("Baza Formy:<ind=\"120\">") + kFormyPath + QStringLiteral("<br>") +
           QStringLiteral("Baza Vorek MES:<ind=\"120\">") + kVorekPath + QStringLiteral("<br>") +
           QStringLiteral("Aktualizacja liczników o godznie 3:05<br><br>") +
           QStringLiteral("Załączone raportowanie w histori zmian liczników programu lidorna<br>") +
           QStringLiteral("Załączony log operacji <br>");
}
