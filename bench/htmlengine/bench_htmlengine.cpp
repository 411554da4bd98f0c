// Laying out and drawing the information text and a 100-line document, on the recording surface
// (engine cost alone) and through QPainter into an offscreen image.

#include "BenchMain.h"
#include "ui/htmllabel/MiniHtml.h"
#include "ui/htmllabel/PainterSurface.h"
#include "ui/htmllabel/RecordingSurface.h"

#include <QGuiApplication>
#include <QImage>
#include <benchmark/benchmark.h>

using namespace htmllabel;

namespace {

QString InfoText() {
    return QStringLiteral(
        "<b>Program aktualizujący stany liczników programu Lidorna na podstawie raportów  z systemu Vorek "
        "OEE "
        "MES</b><br><br>Baza Formy:<ind=\"120\">C:\\Lidorna\\formy_db.fdb<br>Baza Vorek MES:<ind=\"120\">"
        "C:\\Vorek\\vorek_mes.fdb<br>Aktualizacja liczników o godznie 3:05<br><br>Załączone raportowanie w "
        "histori zmian liczników programu lidorna<br>Załączony log operacji <br>");
}

QString HundredLines() {
    QString s;
    for (int i = 0; i < 100; ++i)
        s += QStringLiteral("Line %1: <b>bold</b> <i>italic</i> <font color=\"#FF0000\">red text</font> and "
                            "<a href=\"link%1\">a link</a> &amp; more words to fill the line<br>")
                 .arg(i);
    return s;
}

THtmlFont PanelFont() {
    THtmlFont f;
    f.Name = QStringLiteral("Arial");
    f.Size = 9;
    return f;
}

void Recording(benchmark::State& state, const QString& text) {
    TMiniHtmlOptions o;
    for (auto _ : state) {
        TRecordingSurface s;
        s.SetFont(PanelFont());
        TMiniHtmlResult r;
        DrawMiniHtml(s, text, THtmlRect{0, 0, 800, 65535}, o, r);
        benchmark::DoNotOptimize(r.Height);
    }
}

void Painter(benchmark::State& state, const QString& text, int height) {
    QImage img(800, height, QImage::Format_ARGB32_Premultiplied);
    TMiniHtmlOptions o;
    for (auto _ : state) {
        img.fill(Qt::white);
        QPainter painter(&img);
        TPainterSurface s(painter);
        s.SetFont(PanelFont());
        TMiniHtmlResult r;
        DrawMiniHtml(s, text, THtmlRect{0, 0, 800, height}, o, r);
        benchmark::DoNotOptimize(r.Height);
    }
}

void BM_InfoText_Recording(benchmark::State& state) {
    Recording(state, InfoText());
}
void BM_HundredLines_Recording(benchmark::State& state) {
    Recording(state, HundredLines());
}
void BM_InfoText_Painter(benchmark::State& state) {
    Painter(state, InfoText(), 140);
}
void BM_HundredLines_Painter(benchmark::State& state) {
    Painter(state, HundredLines(), 2000);
}

BENCHMARK(BM_InfoText_Recording)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HundredLines_Recording)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InfoText_Painter)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HundredLines_Painter)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return RunBenchmarks<QGuiApplication>(argc, argv);
}
