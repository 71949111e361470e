// The windows' batch run as a user starts it: Quorvel's main window, its "批量替换" button, the
// real engine driving the build's cad-host (started by the bus, its window shown) on a private
// bus, over drawings of 1,000 matching texts among 5,000 other entities; against the ezdxf script
// doing the same replacement on copies of the same drawings, side by side in each round. Once with
// no busy loop of its own and once beside each number of busy loops given (a drafter's machine is
// rarely idle); what else the machine does shows in the load average reported. Runs under its own
// Xvfb when no display is set.
//
//   gui_run_bench [--drawings=N] [--rounds=R] [--busy=1,2]   (20 drawings, 3 rounds, busy 1)
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/integration/quorvelrig.h"
#include "tests/support/ezdxf_qt.h"
#include "tests/support/privatebus.h"
#include "windows/progresswindow.h"

namespace {

using quorvel::integration::Quorvel;
using quorvel::testsupport::PrivateBus;

int drawingCount = 20;
int rounds = 3;
std::vector<int> busyCounts = {1};
constexpr int kMatchingTexts = 1000;
constexpr int kOtherEntities = 5000;
const QString kSearch = QStringLiteral("旧文本");
const QString kReplacement = QStringLiteral("新文字");

// Processes that only spin, each wanting a whole core, ended with the object.
class BusyLoops {
public:
    explicit BusyLoops(int count) {
        for (int index = 0; index < count; ++index) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlives the benchmark
                volatile unsigned long spins = 0;
                while (true) {
                    spins = spins + 1;
                }
            }
            if (pid > 0) {
                pids_.push_back(pid);
            }
        }
    }
    ~BusyLoops() {
        for (const pid_t pid : pids_) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    BusyLoops(const BusyLoops&) = delete;
    BusyLoops& operator=(const BusyLoops&) = delete;

private:
    std::vector<pid_t> pids_;
};

// Fresh copies of the original for one contender of one round.
QStringList copies(const QString& original, const QString& folder) {
    QDir().mkpath(folder);
    QStringList paths;
    for (int index = 0; index < drawingCount; ++index) {
        const QString path =
            folder + QStringLiteral("/drawing-%1.dwg").arg(index, 3, 10, QLatin1Char('0'));
        if (!QFile::copy(original, path)) {
            return {};
        }
        paths.push_back(path);
    }
    ::sync();  // a user's drawings are on disk before a run
    return paths;
}

// Seconds of the windows' run, or a negative number when it did not finish cleanly.
double windowsRun(const PrivateBus& bus, const QString& programFolder, const QStringList& paths) {
    Quorvel quorvel(bus.address(), programFolder);
    quorvel.list(paths);
    quorvel.search(kSearch, kReplacement);
    quorvel.newerGeneration(true);
    QElapsedTimer clock;
    clock.start();
    quorvel.window->Command9->click();
    const double seconds = clock.nsecsElapsed() / 1e9;
    const auto* progress = quorvel.commands->progress().form();
    const bool done = quorvel.boxes.shown.empty() && quorvel.listed().isEmpty() &&
                      progress != nullptr &&
                      progress->Label1->text() == QStringLiteral("文本替换完成 双击窗口返回");
    return done ? seconds : -1;
}

double ezdxfRun(const QStringList& paths) {
    QProcess python;
    python.setProcessChannelMode(QProcess::ForwardedChannels);
    QElapsedTimer clock;
    clock.start();
    python.start(
        QStringLiteral("/usr/bin/python3"),
        QStringList{QStringLiteral(QUORVEL_BENCH_EZDXF_SCRIPT), kSearch, kReplacement} + paths);
    python.waitForFinished(-1);
    const double seconds = clock.nsecsElapsed() / 1e9;
    return python.exitStatus() == QProcess::NormalExit && python.exitCode() == 0 ? seconds : -1;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Setting {
    QTemporaryDir folder;
    QString original;
    PrivateBus bus;
    bool ready = false;
    Setting() : original(folder.filePath(QStringLiteral("original.dwg"))) {
        ready = quorvel::testsupport::ezdxfqt::run({QStringLiteral("bench"), original,
                                                    QString::number(kMatchingTexts),
                                                    QString::number(kOtherEntities)}) &&
                bus.started();
    }
};

Setting& setting() {
    static Setting shared;
    return shared;
}

// state.range(0) busy loops beside the run; rounds alternate which contender goes first.
void BM_WindowsRunAgainstEzdxf(benchmark::State& state) {
    Setting& shared = setting();
    if (!shared.ready) {
        state.SkipWithError("ezdxf could not write the drawing, or no bus");
        return;
    }
    const int busy = static_cast<int>(state.range(0));
    for (auto _ : state) {
        std::vector<double> ours;
        std::vector<double> theirs;
        std::vector<double> ratios;
        for (int round = 0; round < rounds; ++round) {
            const QString base =
                shared.folder.filePath(QStringLiteral("busy%1-round%2").arg(busy).arg(round));
            const QStringList forQuorvel =
                copies(shared.original, base + QStringLiteral("/quorvel"));
            const QStringList forEzdxf = copies(shared.original, base + QStringLiteral("/ezdxf"));
            QTemporaryDir programFolder;
            double quorvelSeconds = 0;
            double ezdxfSeconds = 0;
            {
                BusyLoops loops(busy);
                if (round % 2 == 0) {
                    quorvelSeconds = windowsRun(shared.bus, programFolder.path(), forQuorvel);
                    ezdxfSeconds = ezdxfRun(forEzdxf);
                } else {
                    ezdxfSeconds = ezdxfRun(forEzdxf);
                    quorvelSeconds = windowsRun(shared.bus, programFolder.path(), forQuorvel);
                }
            }
            QDir(base).removeRecursively();
            if (quorvelSeconds < 0 || ezdxfSeconds < 0) {
                state.SkipWithError(quorvelSeconds < 0 ? "the windows' run failed"
                                                       : "the ezdxf script failed");
                return;
            }
            ours.push_back(quorvelSeconds);
            theirs.push_back(ezdxfSeconds);
            ratios.push_back(quorvelSeconds / ezdxfSeconds);
        }
        state.SetIterationTime(median(ours));
        state.counters["quorvel_s"] = median(ours);
        state.counters["ezdxf_s"] = median(theirs);
        state.counters["time_vs_ezdxf"] = median(ratios);
        double load = 0;
        ::getloadavg(&load, 1);
        std::printf(
            "%d busy loop(s) on %ld cores (load average %.1f at the end), %d drawings, %d "
            "rounds: windows' run %.1f s, ezdxf %.1f s; the run takes %.2fx ezdxf's time "
            "(median of the rounds:",
            busy, ::sysconf(_SC_NPROCESSORS_ONLN), load, drawingCount, rounds, median(ours),
            median(theirs), median(ratios));
        for (const double ratio : ratios) {
            std::printf(" %.2f", ratio);
        }
        std::printf(")\n");
    }
}

// Runs again under xvfb-run when there is no display: the host's window and ours are shown.
void ensureDisplay(int argc, char** argv) {
    if (!qEnvironmentVariableIsEmpty("DISPLAY")) {
        return;
    }
    std::vector<char*> arguments = {const_cast<char*>("xvfb-run"), const_cast<char*>("-a"),
                                    const_cast<char*>("-s"),
                                    const_cast<char*>("-screen 0 1280x1024x24")};
    for (int index = 0; index < argc; ++index) {
        arguments.push_back(argv[index]);
    }
    arguments.push_back(nullptr);
    ::execvp("xvfb-run", arguments.data());
    std::perror("xvfb-run");
    std::exit(1);
}

std::vector<int> numbers(const QByteArray& list) {
    std::vector<int> result;
    for (const QByteArray& item : list.split(',')) {
        if (!item.isEmpty()) {
            result.push_back(std::max(0, item.toInt()));
        }
    }
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    ensureDisplay(argc, argv);
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication application(argc, argv);
    int kept = 1;
    for (int index = 1; index < argc; ++index) {
        const QByteArray argument(argv[index]);
        if (argument.startsWith("--drawings=")) {
            drawingCount = std::max(1, argument.mid(11).toInt());
        } else if (argument.startsWith("--rounds=")) {
            rounds = std::max(1, argument.mid(9).toInt());
        } else if (argument.startsWith("--busy=")) {
            busyCounts = numbers(argument.mid(7));
        } else {
            argv[kept++] = argv[index];
        }
    }
    argc = kept;
    auto* windowsRun = benchmark::RegisterBenchmark("BM_WindowsRunAgainstEzdxf/busy_loops",
                                                    BM_WindowsRunAgainstEzdxf);
    windowsRun->Arg(0)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
    for (const int busy : busyCounts) {
        windowsRun->Arg(busy);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
