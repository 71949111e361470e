// A batch run through the real cad-host over 100 drawings (1,000 matching texts among 5,000 other
// entities each), against an ezdxf script doing the same replacement on copies of the same
// drawings. Reports both times, the mean D-Bus round trip of the run and the processor time of
// the host, the bus daemon and this process. With DISPLAY set (an Xvfb, say) and
// QT_QPA_PLATFORM=xcb the host's window is shown during the run, as a user has it.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include "engine/quietrunservices.h"
#include "platform/dbus/busautomation.h"
#include "platform/dbus/buscaller.h"
#include "tests/support/ezdxf_qt.h"
#include "tests/support/privatebus.h"

namespace {

using namespace quorvel;

// `--drawings=N` shortens the run while tuning; the reported figure is for the full 100.
int drawingCount = 100;
constexpr int kMatchingTexts = 1000;
constexpr int kOtherEntities = 5000;

class Queue final : public engine::DrawingList {
public:
    explicit Queue(std::vector<std::u16string> paths) : paths_(std::move(paths)) {}
    int count() const override { return static_cast<int>(paths_.size()); }
    std::u16string text(int index) const override { return paths_.at(index); }
    void removeAt(int index) override { paths_.erase(paths_.begin() + index); }
    void removeAll() override { paths_.clear(); }

private:
    std::vector<std::u16string> paths_;
};

using Quiet = engine::QuietRunServices;

// User and system time of a process so far, in seconds; 0 when it cannot be read.
double processorSeconds(pid_t pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid == 0 || !stat.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QByteArray line = stat.readAll();
    // The fields after the command name, which is in parentheses and may hold spaces.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) {
        return 0;
    }
    const double ticks = fields[11].toDouble() + fields[12].toDouble();  // utime, stime
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double ownProcessorSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// One drawing written by ezdxf, copied into two folders: one for each contender.
bool prepare(const QTemporaryDir& folder, QStringList& forQuorvel, QStringList& forEzdxf) {
    const QString original = folder.filePath(QStringLiteral("original.dwg"));
    if (!testsupport::ezdxfqt::run({QStringLiteral("bench"), original,
                                    QString::number(kMatchingTexts),
                                    QString::number(kOtherEntities)})) {
        return false;
    }
    for (const char* side : {"quorvel", "ezdxf"}) {
        QDir(folder.path()).mkdir(QLatin1String(side));
    }
    for (int index = 0; index < drawingCount; ++index) {
        const QString name = QStringLiteral("/drawing-%1.dwg").arg(index, 3, 10, QLatin1Char('0'));
        const QString quorvelCopy = folder.path() + QStringLiteral("/quorvel") + name;
        const QString ezdxfCopy = folder.path() + QStringLiteral("/ezdxf") + name;
        if (!QFile::copy(original, quorvelCopy) || !QFile::copy(original, ezdxfCopy)) {
            return false;
        }
        forQuorvel.push_back(quorvelCopy);
        forEzdxf.push_back(ezdxfCopy);
    }
    return true;
}

// The same replacement by the ezdxf script over its copies; none when the script failed.
std::optional<double> ezdxfRunSeconds(const QStringList& drawings) {
    QProcess python;
    python.setProcessChannelMode(QProcess::ForwardedChannels);
    QElapsedTimer time;
    time.start();
    python.start(QStringLiteral("/usr/bin/python3"),
                 QStringList{QStringLiteral(QUORVEL_BENCH_EZDXF_SCRIPT), QStringLiteral("旧文本"),
                             QStringLiteral("新文字")} +
                     drawings);
    python.waitForFinished(-1);
    if (python.exitCode() != 0)
        return std::nullopt;
    return time.nsecsElapsed() / 1e9;
}

void BM_BatchRunAgainstEzdxf(benchmark::State& state) {
    QTemporaryDir folder;
    QStringList quorvelDrawings;
    QStringList ezdxfDrawings;
    if (!prepare(folder, quorvelDrawings, ezdxfDrawings)) {
        state.SkipWithError("ezdxf could not write the drawings");
        return;
    }
    testsupport::PrivateBus bus;
    if (!bus.startHostByHand()) {
        state.SkipWithError("cad-host did not start on the private bus");
        return;
    }
    if (!qEnvironmentVariableIsEmpty("DISPLAY")) {
        platform::dbus::BusHostConnector(bus.address())
            .attachRunning(engine::kCadProgId)
            ->setVisible(true);
    }

    for (auto _ : state) {
        std::vector<std::u16string> paths;
        for (const QString& path : quorvelDrawings) {
            paths.push_back(path.toStdU16String());
        }
        engine::PlainReplaceOptions options;
        options.search = u"旧文本";
        options.replacement = u"新文字";
        Queue queue(std::move(paths));
        Quiet quiet;
        platform::dbus::BusHostConnector connector(bus.address());
        platform::dbus::BusWindowControl windows(bus.address());
        engine::Module1 module1(connector, quiet);
        engine::ReplacementRun run(engine::makeRunServices(module1, windows, options, queue, quiet,
                                                           folder.path().toStdU16String()));

        platform::dbus::busCallStatistics().reset();
        const double hostBefore = processorSeconds(bus.hostPid());
        const double daemonBefore = processorSeconds(bus.daemonPid());
        const double ownBefore = ownProcessorSeconds();
        QElapsedTimer quorvelTime;
        quorvelTime.start();
        run.runBatch();
        const double quorvelSeconds = quorvelTime.nsecsElapsed() / 1e9;
        const double hostCpu = processorSeconds(bus.hostPid()) - hostBefore;
        const double daemonCpu = processorSeconds(bus.daemonPid()) - daemonBefore;
        const double ownCpu = ownProcessorSeconds() - ownBefore;
        if (!quiet.messages.empty() || queue.count() != 0) {
            state.SkipWithError("the batch run failed");
            return;
        }
        const auto& statistics = platform::dbus::busCallStatistics();
        const double calls = static_cast<double>(statistics.calls.load());
        const double busSeconds = statistics.nanoseconds.load() / 1e9;

        const std::optional<double> ezdxfSeconds = ezdxfRunSeconds(ezdxfDrawings);
        if (!ezdxfSeconds) {
            state.SkipWithError("the ezdxf script failed");
            return;
        }

        state.SetIterationTime(quorvelSeconds);
        state.counters["quorvel_s"] = quorvelSeconds;
        state.counters["ezdxf_s"] = *ezdxfSeconds;
        state.counters["bus_calls"] = calls;
        state.counters["round_trip_us"] = calls > 0 ? busSeconds * 1e6 / calls : 0;
        state.counters["share_in_calls"] = busSeconds / quorvelSeconds;
        state.counters["host_cpu_s"] = hostCpu;
        state.counters["daemon_cpu_s"] = daemonCpu;
        state.counters["quorvel_cpu_s"] = ownCpu;
        std::printf(
            "quorvel %.1f s (%.0f bus calls, mean round trip %.1f us, %.0f%% of the run "
            "waiting for answers); ezdxf %.1f s; processor time: host %.1f s, bus daemon %.1f s, "
            "quorvel %.1f s\n",
            quorvelSeconds, calls, calls > 0 ? busSeconds * 1e6 / calls : 0,
            100 * busSeconds / quorvelSeconds, *ezdxfSeconds, hostCpu, daemonCpu, ownCpu);
    }
}

BENCHMARK(BM_BatchRunAgainstEzdxf)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// Where a run's time goes: single members on one of the benchmark's drawings, open in the host.
struct OpenDrawing {
    OpenDrawing() {
        const QString path = folder.filePath(QStringLiteral("drawing.dwg"));
        if (!testsupport::ezdxfqt::run({QStringLiteral("bench"), path,
                                        QString::number(kMatchingTexts),
                                        QString::number(kOtherEntities)}) ||
            !bus.startHostByHand()) {
            return;
        }
        platform::dbus::BusHostConnector connector(bus.address());
        host = connector.attachRunning(engine::kCadProgId);
        auto document = host->Documents()->Open(path.toStdU16String());
        auto selection = document->SelectionSets()->Add(u"bench");
        selection->Select(engine::kSelectAll, std::nullopt, std::nullopt, {0},
                          {std::u16string(u"text")});
        texts = selection->entities();
    }
    QTemporaryDir folder;
    testsupport::PrivateBus bus;
    std::shared_ptr<engine::Application> host;
    std::vector<std::shared_ptr<engine::TextEntity>> texts;
};

OpenDrawing& openDrawing() {
    static OpenDrawing drawing;
    return drawing;
}

void BM_CaptionRoundTrip(benchmark::State& state) {
    auto& drawing = openDrawing();
    if (!drawing.host) {
        state.SkipWithError("no host");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(drawing.host->Caption());
    }
}
BENCHMARK(BM_CaptionRoundTrip)->Unit(benchmark::kMicrosecond);

// The bus daemon alone answering, no host involved: the floor of every round trip.
void BM_DaemonRoundTrip(benchmark::State& state) {
    auto& drawing = openDrawing();
    if (!drawing.host) {
        state.SkipWithError("no host");
        return;
    }
    const auto connection = platform::dbus::BusConnection::open(drawing.bus.address());
    if (!connection) {
        state.SkipWithError("no bus");
        return;
    }
    for (auto _ : state) {
        QString id;
        connection->callDaemon("GetId", {},
                               [&](platform::dbus::MessageReader& reader) { id = reader.text(); });
        benchmark::DoNotOptimize(id);
    }
}
BENCHMARK(BM_DaemonRoundTrip)->Unit(benchmark::kMicrosecond);

void BM_TextStringRoundTrip(benchmark::State& state) {
    auto& drawing = openDrawing();
    if (drawing.texts.empty()) {
        state.SkipWithError("no texts");
        return;
    }
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(drawing.texts[next++ % drawing.texts.size()]->TextString());
    }
}
BENCHMARK(BM_TextStringRoundTrip)->Unit(benchmark::kMicrosecond);

// Copy, erase and rewrite: what a matching text costs besides reading it.
void BM_CopyEraseRewrite(benchmark::State& state) {
    auto& drawing = openDrawing();
    if (drawing.texts.empty()) {
        state.SkipWithError("no texts");
        return;
    }
    auto current = drawing.texts.front();
    for (auto _ : state) {
        auto copy = current->Copy();
        current->erase();
        copy->setTextString(u"新文字");
        current = copy;
    }
    drawing.texts.front() = current;
}
BENCHMARK(BM_CopyEraseRewrite)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    int kept = 1;
    for (int index = 1; index < argc; ++index) {
        const QByteArray argument(argv[index]);
        if (argument.startsWith("--drawings=")) {
            drawingCount = std::max(1, argument.mid(11).toInt());
        } else {
            argv[kept++] = argv[index];
        }
    }
    argc = kept;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
