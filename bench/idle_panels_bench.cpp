// CPU time of the whole program while it sits idle with both side panels hidden at their edges.
// Starts a private Xvfb, runs the built quorvel on it, waits until the panels have hidden and then
// measures 10 s. Reported as a share of one core: the program itself, its web view processes
// and the X server (which answers every pointer query).
#include <benchmark/benchmark.h>

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kScreenWidth = 1280;
constexpr auto kSettle = std::chrono::seconds(7);  // panels start hiding 5 s after start-up
constexpr auto kMeasure = std::chrono::seconds(10);

struct ProcStat {
    pid_t parent = 0;
    long long ticks = 0;  // user + system
};

bool readStat(pid_t pid, ProcStat& out) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) {
        return false;
    }
    // The command name may hold spaces; fields continue after the last ')'.
    const auto close = line.rfind(')');
    if (close == std::string::npos) {
        return false;
    }
    std::istringstream fields(line.substr(close + 2));
    std::string state;
    long long value = 0;
    fields >> state >> out.parent;
    for (int field = 5; field <= 13; ++field) {
        fields >> value;
    }
    long long utime = 0;
    long long stime = 0;
    fields >> utime >> stime;
    out.ticks = utime + stime;
    return true;
}

std::map<pid_t, ProcStat> allProcesses() {
    std::map<pid_t, ProcStat> result;
    DIR* dir = opendir("/proc");
    if (!dir) {
        return result;
    }
    while (dirent* entry = readdir(dir)) {
        const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
        ProcStat stat;
        if (pid > 0 && readStat(pid, stat)) {
            result[pid] = stat;
        }
    }
    closedir(dir);
    return result;
}

// CPU ticks of the process alone and of its descendants.
std::pair<long long, long long> treeTicks(pid_t root) {
    const auto processes = allProcesses();
    long long own = 0;
    long long descendants = 0;
    for (const auto& [pid, stat] : processes) {
        if (pid == root) {
            own = stat.ticks;
            continue;
        }
        for (pid_t up = stat.parent; up > 1;) {
            if (up == root) {
                descendants += stat.ticks;
                break;
            }
            const auto it = processes.find(up);
            up = it == processes.end() ? 0 : it->second.parent;
        }
    }
    return {own, descendants};
}

pid_t spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
            int keepFd = -1) {
    const pid_t pid = fork();
    if (pid == 0) {
        for (const std::string& e : env) {
            putenv(const_cast<char*>(e.c_str()));
        }
        if (keepFd < 0) {
            freopen("/dev/null", "w", stdout);
        }
        freopen("/dev/null", "w", stderr);
        std::vector<char*> argv;
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

void stop(pid_t pid) {
    if (pid > 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
}

// Left positions of the two side panels, found by their title.
std::vector<int> panelLefts(const std::string& display) {
    std::vector<int> lefts;
    const std::string command = "xwininfo -root -tree -display " + display + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        return lefts;
    }
    char buffer[512];
    while (fgets(buffer, sizeof buffer, pipe)) {
        const std::string line(buffer);
        if (line.find("休息一下，马上回来！") == std::string::npos) {
            continue;
        }
        // "... 131x609+-128+138  +-128+138": the absolute position comes last.
        const auto plus = line.rfind(" +");
        if (plus != std::string::npos) {
            lefts.push_back(std::atoi(line.c_str() + plus + 2));
        }
    }
    pclose(pipe);
    return lefts;
}

void IdleProgramWithHiddenPanels(benchmark::State& state) {
    int displayPipe[2];
    if (pipe(displayPipe) != 0) {
        state.SkipWithError("no pipe");
        return;
    }
    const pid_t xserver =
        spawn({"Xvfb", "-displayfd", std::to_string(displayPipe[1]), "-screen", "0",
               std::to_string(kScreenWidth) + "x1024x24", "-dpi", "96", "-nolisten", "tcp"},
              {}, displayPipe[1]);
    close(displayPipe[1]);
    char number[16] = {};
    const ssize_t got = read(displayPipe[0], number, sizeof number - 1);
    close(displayPipe[0]);
    if (got <= 0) {
        stop(xserver);
        state.SkipWithError("Xvfb did not start");
        return;
    }
    const std::string display = ":" + std::to_string(std::atoi(number));

    std::vector<std::string> env = {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb"};
    if (geteuid() == 0) {
        env.emplace_back("QTWEBENGINE_DISABLE_SANDBOX=1");
    }
    const pid_t program = spawn({QUORVEL_PROGRAM}, env);
    std::this_thread::sleep_for(kSettle);

    const std::vector<int> lefts = panelLefts(display);
    bool hidden = lefts.size() == 2;
    for (int left : lefts) {
        hidden = hidden && (left < 0 || left > kScreenWidth - 10);
    }

    const double ticksPerSecond = static_cast<double>(sysconf(_SC_CLK_TCK));
    for (auto _ : state) {
        const auto programBefore = treeTicks(program);
        const auto serverBefore = treeTicks(xserver);
        const auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(kMeasure);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const auto programAfter = treeTicks(program);
        const auto serverAfter = treeTicks(xserver);
        const auto percent = [&](long long ticks) {
            return 100.0 * static_cast<double>(ticks) / ticksPerSecond / seconds;
        };
        state.counters["quorvel_cpu_pct"] = percent(programAfter.first - programBefore.first);
        state.counters["web_procs_cpu_pct"] = percent(programAfter.second - programBefore.second);
        state.counters["xserver_cpu_pct"] = percent(serverAfter.first - serverBefore.first);
        state.SetIterationTime(seconds);
    }
    state.counters["panels_hidden"] = hidden ? 1 : 0;
    stop(program);
    stop(xserver);
}

}  // namespace

BENCHMARK(IdleProgramWithHiddenPanels)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
