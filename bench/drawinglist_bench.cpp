// The drawing list at 20,000 paths: adding through the file dialog's pass (with its duplicate
// test), a drop, reading and saving a list file. Each runs against the real list widget.
#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <optional>
#include <random>

#include "drawinglist/drawinglistmodel.h"
#include "drawinglist/drawinglistview.h"
#include "drawinglist/listcommands.h"
#include "drawinglist/listfileio.h"
#include "platform/filedialogs.h"

namespace {

using quorvel::drawinglist::DrawingListCommands;
using quorvel::drawinglist::DrawingListView;

constexpr int kPaths = 20000;

// Shuffled, so that sorting has real work to do.
QStringList drawingPaths(int count, unsigned seed) {
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        paths << QStringLiteral("/home/设计/项目 %1/Plan-%2 楼层.dwg").arg(i % 97).arg(i);
    }
    std::shuffle(paths.begin(), paths.end(), std::mt19937(seed));
    return paths;
}

class FixedDialogs : public quorvel::platform::FileDialogs {
public:
    explicit FixedDialogs(QStringList paths) : paths_(std::move(paths)) {}
    std::optional<QStringList> chooseFilesToOpen(
        QWidget*, const QString&, const std::vector<quorvel::platform::FileFilter>&) override {
        return paths_;
    }
    std::optional<QString> chooseFileToOpen(
        QWidget*, const QString&, const std::vector<quorvel::platform::FileFilter>&) override {
        return std::nullopt;
    }
    std::optional<QString> chooseFileToSave(
        QWidget*, const QString&, const std::vector<quorvel::platform::FileFilter>&) override {
        return std::nullopt;
    }

private:
    QStringList paths_;
};

void addThroughDialog(benchmark::State& state) {
    const auto alreadyListed = static_cast<int>(state.range(0));
    QStringList chosen = drawingPaths(kPaths, 1);
    // One chosen path in ten is chosen twice in the same pass.
    for (int i = 0; i < kPaths; i += 10) {
        chosen << chosen[i];
    }
    FixedDialogs dialogs(chosen);
    DrawingListView view;
    DrawingListCommands commands(&view, &dialogs, nullptr, nullptr);
    const QStringList existing = drawingPaths(alreadyListed, 2).replaceInStrings("Plan", "Old");
    for (auto _ : state) {
        state.PauseTiming();
        view.drawings()->removeAll();
        view.drawings()->addAll(existing);
        state.ResumeTiming();
        commands.addFiles();
    }
    if (view.count() != kPaths + alreadyListed) {
        state.SkipWithError("wrong number of entries");
    }
}
BENCHMARK(addThroughDialog)->Arg(0)->Arg(kPaths)->Unit(benchmark::kMillisecond);

void dropFiles(benchmark::State& state) {
    QList<QUrl> urls;
    for (const QString& path : drawingPaths(kPaths, 3)) {
        urls << QUrl::fromLocalFile(path);
    }
    QMimeData mime;
    mime.setUrls(urls);
    DrawingListView view;
    for (auto _ : state) {
        state.PauseTiming();
        view.drawings()->removeAll();
        state.ResumeTiming();
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &drop);
    }
    if (view.count() != kPaths) {
        state.SkipWithError(("wrong number of entries: " + std::to_string(view.count())).c_str());
    }
}
BENCHMARK(dropFiles)->Unit(benchmark::kMillisecond);

void readListFile(benchmark::State& state) {
    QTemporaryDir folder;
    const QString path = folder.filePath("list.txt");
    DrawingListView view;
    view.drawings()->addAll(drawingPaths(kPaths, 4));
    quorvel::drawinglist::saveListFile(path, *view.drawings());
    for (auto _ : state) {
        view.drawings()->removeAll();
        quorvel::drawinglist::readListFile(path, *view.drawings());
    }
    if (view.count() != kPaths) {
        state.SkipWithError("wrong number of entries");
    }
}
BENCHMARK(readListFile)->Unit(benchmark::kMillisecond);

void saveListFile(benchmark::State& state) {
    QTemporaryDir folder;
    const QString path = folder.filePath("list.txt");
    DrawingListView view;
    view.drawings()->addAll(drawingPaths(kPaths, 5));
    for (auto _ : state) {
        if (quorvel::drawinglist::saveListFile(path, *view.drawings()) !=
            quorvel::drawinglist::ListFileOutcome::Done) {
            state.SkipWithError("save failed");
        }
    }
}
BENCHMARK(saveListFile)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
