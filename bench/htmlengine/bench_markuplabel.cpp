// The label over 20 000 auto-sized lines (a control some 280 000 pixels high): what a mouse move
// over it costs, and painting a visible 600 x 400 part of it, opaque and transparent. Targets: a
// mouse move within 5 ms, the visible part within 20 ms, the process under 100 MB at its peak
// (measured from outside: /usr/bin/time -v bench_markuplabel --benchmark_filter=Paint).

#include "BenchMain.h"
#include "ui/htmllabel/MarkupLabel.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <benchmark/benchmark.h>
#include <memory>

using namespace htmllabel;

namespace {

constexpr int kLines = 20000;

QString LongText() {
    QString s;
    for (int i = 0; i < kLines; ++i)
        s += QStringLiteral("Wiersz %1: <b>pogrubiony</b> tekst i <a href=\"l%1\">odnośnik</a> do dalszej "
                            "części<br>")
                 .arg(i);
    return s;
}

// One label for the whole run, sized to its text as the information panel is.
TMarkupLabel& Label() {
    static std::unique_ptr<TMarkupLabel> label = [] {
        auto l = std::make_unique<TMarkupLabel>();
        QFont f(QStringLiteral("Arial"));
        f.setPixelSize(12);
        l->setFont(f);
        l->resize(800, 20);
        l->SetAutoSizing(true);
        l->SetHover(true);
        l->SetHoverColor(RGBColor(255, 255, 0));
        l->SetColor(RGBColor(255, 255, 255));
        l->SetHTMLText(LongText());
        // Each layout reaches at most a fixed distance past the control's height.
        for (int i = 0, h = -1; i < 20 && h != l->height(); ++i) {
            h = l->height();
            l->Doit();
        }
        return l;
    }();
    return *label;
}

void Move(QWidget& w, QPoint p) {
    QMouseEvent e(QEvent::MouseMove, p, w.mapToGlobal(p), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
}

void BM_MouseMove(benchmark::State& state) {
    TMarkupLabel& label = Label();
    const int middle = label.height() / 2;
    int i = 0;
    for (auto _ : state) {
        // Over the text and its links, a few pixels further each time.
        Move(label, {20 + (i * 7) % 300, middle + (i * 3) % 400});
        ++i;
    }
    state.counters["height"] = label.height();
}

void Paint(benchmark::State& state, bool transparent) {
    TMarkupLabel& label = Label();
    label.SetTransparent(transparent);
    QImage target(600, 400, QImage::Format_ARGB32_Premultiplied);
    const QRegion visible(0, label.height() / 2, 600, 400);
    for (auto _ : state) {
        target.fill(Qt::white);
        label.render(&target, {}, visible, QWidget::RenderFlags());
        benchmark::DoNotOptimize(target.bits());
    }
    state.counters["height"] = label.height();
}

void BM_PaintVisibleOpaque(benchmark::State& state) {
    Paint(state, false);
}
void BM_PaintVisibleTransparent(benchmark::State& state) {
    Paint(state, true);
}

BENCHMARK(BM_MouseMove)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_PaintVisibleOpaque)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_PaintVisibleTransparent)->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return RunBenchmarks<QApplication>(argc, argv);
}
