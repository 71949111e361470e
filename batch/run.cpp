#include "batch/run.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <thread>

#include "batch/drawingfile.h"
#include "batch/files.h"
#include "batch/journal.h"
#include "batch/options.h"
#include "batch/processing.h"
#include "batch/progress.h"
#include "batch/report.h"
#include "batch/rerun.h"
#include "batch/system.h"
#include "batch/targets.h"
#include "batch/undo.h"
#include "batch/worker.h"
#include "engine/textutil.h"

namespace quorvel::batch {

namespace {

int badArguments(const std::string& message) {
    std::fprintf(stderr, "quorvel-batch：%s\n用 quorvel-batch --help 查看用法。\n",
                 message.c_str());
    return kExitBadArguments;
}

// Where a failed drawing goes in the journal: the file it named, as a rerun must find it.
std::filesystem::path journaledPath(const std::filesystem::path& drawing) {
    return sys::resolvedPath(drawing);
}

// Each thread edits its drawings in a worker process of its own unless `isolated` is false.
std::vector<DrawingOutcome> processAll(const std::vector<std::filesystem::path>& drawings,
                                       const Options& options, Journal* journal, Progress& progress,
                                       bool isolated) {
    std::vector<DrawingOutcome> outcomes(drawings.size());
    if (!isolated)
        keepMemoryForNextDrawing();
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        std::optional<WorkerProcess> worker;
        if (isolated)
            worker.emplace(options);
        const Editor edit = [&](DrawingFile& file) {
            return worker ? worker->edit(file) : editDrawing(file.read(), options);
        };
        for (std::size_t i = next++; i < drawings.size(); i = next++) {
            outcomes[i] = processDrawing(drawings[i], journal, edit);
            progress.drawingDone(drawings[i].string(), outcomes[i].ok, outcomes[i].texts,
                                 outcomes[i].reason);
            for (const std::string& note : outcomes[i].notes)
                std::fprintf(stderr, "%s\n", note.c_str());
            if (journal && !outcomes[i].ok)
                journal->recordFailed(journaledPath(drawings[i]), outcomes[i].reason,
                                      outcomes[i].leftAsItWas);
        }
    };
    const std::size_t threads = std::min<std::size_t>(options.jobs, drawings.size());
    std::vector<std::thread> workers;
    for (std::size_t t = 1; t < threads; ++t)
        workers.emplace_back(work);
    work();
    for (std::thread& worker : workers)
        worker.join();
    return outcomes;
}

// The failed drawings of an earlier run, with its options; false when there are none.
bool takeRerun(Options& options, std::vector<std::filesystem::path>& drawings) {
    if (!editingArguments(options).empty())
        throw UsageError("--retry 使用原运行的选项，不能另给 --kinds、--layer 等");
    Rerun rerun = readRerun(options.retryRun);
    takeEditingOptions(options, rerun.options);
    options.pairs = std::move(rerun.options.pairs);
    for (const std::string& note : rerun.notes)
        std::fprintf(stderr, "%s\n", note.c_str());
    drawings = std::move(rerun.drawings);
    return !drawings.empty();
}

// The command line read, and for --undo carried out; an exit status when the run ends here.
std::optional<int> readCommandLine(const std::vector<std::string>& arguments,
                                   const HostRunner& host, Options& options,
                                   std::vector<std::filesystem::path>& drawings) {
    try {
        options = parseArguments(arguments);
        if (options.help) {
            std::fputs(helpText(), stdout);
            return kExitOk;
        }
        if (!options.undoRun.empty()) {
            const int failed = undoRun(options.undoRun, options.force, options.dryRun, std::cout);
            std::cout.flush();
            return failed < 0 ? kExitBadArguments : failed > 0 ? kExitSomeFailed : kExitOk;
        }
        if (!options.retryRun.empty() && !takeRerun(options, drawings)) {
            std::printf("运行“%s”没有需要重试的图形\n", options.retryRun.c_str());
            return kExitOk;
        }
        if (options.host == "bus" && host.name != options.host)
            throw UsageError("这个版本的 quorvel-batch 没有 D-Bus 支持，不能使用 --host bus");
        if (options.host == "com" && host.name != options.host)
            throw UsageError("只有 Windows 版的 quorvel-batch 能使用 --host com");
        if (!options.progId.empty() && options.host != "com")
            throw UsageError("--progid 只能与 --host com 一起使用");
        if (options.host != "inprocess") {
            if (options.pairs.size() != 1)
                throw UsageError("--host " + options.host + " 只能使用一对查找替换内容");
            if (options.kinds != kKindText)
                throw UsageError("--host " + options.host + " 只处理单行文字（--kinds text）");
            if (options.ignoreCase || options.wholeWord || options.wildcards ||
                options.widthInsensitive)
                throw UsageError("--host " + options.host +
                                 " 按主窗口的方式匹配，不能使用 --ignore-case、--whole-word、"
                                 "--wildcards、--width-insensitive");
        }
        if (options.retryRun.empty())
            drawings = expandTargets(options.paths, options.recursive);
    } catch (const UsageError& error) {
        return badArguments(error.what());
    }
    return std::nullopt;
}

// The run's journal with what --retry needs; raises FileError.
Journal openJournal(const std::vector<std::string>& arguments, const Options& options) {
    Journal journal = Journal::create(arguments);
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const Pair& pair : options.pairs)
        pairs.emplace_back(engine::toUtf8(pair.find), engine::toUtf8(pair.replace));
    journal.recordOptions(editingArguments(options), pairs);
    return journal;
}

bool useWorkers() {
    // QUORVEL_BATCH_IN_PROCESS: the engine in this process, for measuring what workers cost.
    if (std::getenv("QUORVEL_BATCH_IN_PROCESS"))
        return false;
    if (workersAvailable())
        return true;
    std::fprintf(stderr, "警告：不能启动工作进程，图形在本进程中处理（--timeout 不起作用）\n");
    return false;
}

// Said last, on their own: the drawings may all be fine. True when there were any.
bool sayJournalFailures(const std::vector<DrawingOutcome>& outcomes) {
    bool journalFailed = false;
    for (const DrawingOutcome& outcome : outcomes) {
        if (outcome.journalFailure.empty())
            continue;
        if (!journalFailed)
            std::printf(
                "运行记录没有写成：%s\n以下图形已保存，但不能用 --undo 恢复（原图在同名 .bak "
                "文件中）：\n",
                outcome.journalFailure.c_str());
        journalFailed = true;
        std::printf("  %s\n", outcome.drawing.string().c_str());
    }
    return journalFailed;
}

// The run's summary on standard output; returns how many drawings failed.
std::size_t printSummary(const std::vector<DrawingOutcome>& outcomes, const Options& options,
                         const Journal* journal, const Progress& progress) {
    std::size_t failed = 0;
    std::size_t texts = 0;
    std::size_t saved = 0;
    std::size_t undisplayable = 0;
    for (const DrawingOutcome& outcome : outcomes) {
        undisplayable += outcome.undisplayable;
        failed += outcome.ok ? 0 : 1;
        saved += outcome.saved ? 1 : 0;
        texts += outcome.texts;
    }
    std::printf("%s：图形 %zu 个，成功 %zu 个，失败 %zu 个；%s %zu 处文字%s，用时 %.1f 秒\n",
                options.dryRun ? "试运行完成（未修改任何图形）" : "完成", outcomes.size(),
                outcomes.size() - failed, failed, options.dryRun ? "找到" : "替换", texts,
                options.dryRun ? "" : ("，保存图形 " + std::to_string(saved) + " 个").c_str(),
                progress.elapsedSeconds());
    if (undisplayable > 0)
        std::printf(
            "其中 %zu 处新文字在其文字样式的字体中可能无法显示（报告的“可能无法显示”列写出原因）\n",
            undisplayable);
    for (const DrawingOutcome& outcome : outcomes) {
        if (outcome.ok && !outcome.unreached.empty())
            std::printf("未搜索：%s：%s\n", outcome.drawing.string().c_str(),
                        outcome.unreached.description().c_str());
    }
    for (const DrawingOutcome& outcome : outcomes) {
        for (const std::string& note : outcome.unchanged)
            std::printf("未修改：%s，句柄 %s\n", outcome.drawing.string().c_str(), note.c_str());
    }
    if (failed > 0) {
        std::printf("失败的图形：\n");
        for (const DrawingOutcome& outcome : outcomes) {
            if (!outcome.ok)
                std::printf("  %s：%s\n", outcome.drawing.string().c_str(), outcome.reason.c_str());
        }
    }
    if (journal && saved > 0)
        std::printf("撤销本次运行：quorvel-batch --undo %s\n", journal->id().c_str());
    if (journal && failed > 0)
        std::printf("只重新处理失败的图形：quorvel-batch --retry %s\n", journal->id().c_str());
    return failed;
}

}  // namespace

int runProgram(const std::vector<std::string>& arguments, const HostRunner& host) {
    if (arguments.size() == 1 && arguments[0] == kWorkerArgument && startedAsWorker())
        return runWorker();
    Options options;
    std::vector<std::filesystem::path> drawings;
    if (const std::optional<int> status = readCommandLine(arguments, host, options, drawings))
        return *status;
    for (const std::string& warning : chainedPairs(options.pairs))
        std::fprintf(stderr, "警告：%s\n", warning.c_str());

    std::optional<Journal> journal;
    if (!options.dryRun) {
        try {
            journal.emplace(openJournal(arguments, options));
        } catch (const FileError& error) {
            std::fprintf(stderr, "quorvel-batch：%s，没有修改任何图形\n", error.what());
            return kExitSomeFailed;
        }
        std::printf("运行编号：%s\n", journal->id().c_str());
        std::fflush(stdout);
    }

    const bool terminal = sys::stderrIsTerminal();
    Progress progress(drawings.size(), terminal, terminal ? stderr : stdout);
    // A dry run changes nothing, so it never needs the host.
    const bool overHost = options.host != "inprocess" && journal;
    const std::vector<DrawingOutcome> outcomes =
        overHost
            ? host.run(drawings, options, *journal, progress)
            : processAll(drawings, options, journal ? &*journal : nullptr, progress, useWorkers());
    for (const DrawingOutcome& outcome : outcomes) {
        if (overHost && !outcome.ok)
            journal->recordFailed(journaledPath(outcome.drawing), outcome.reason,
                                  outcome.leftAsItWas);
    }
    progress.finish();

    std::string reportFailure;
    if (!options.reportFile.empty()) {
        try {
            std::string used;
            for (const std::string& argument : editingArguments(options))
                used += (used.empty() ? "" : " ") + argument;
            writeReport(sys::pathFromUtf8(options.reportFile), outcomes, options.dryRun,
                        used.empty() ? "无" : used);
        } catch (const std::exception& error) {
            reportFailure = error.what();
        }
    }
    const std::size_t failed =
        printSummary(outcomes, options, journal ? &*journal : nullptr, progress);
    const bool journalFailed = sayJournalFailures(outcomes);
    if (!reportFailure.empty())
        std::printf("报告没有写成：%s\n", reportFailure.c_str());
    std::fflush(stdout);
    return failed > 0 || !reportFailure.empty() || journalFailed ? kExitSomeFailed : kExitOk;
}

}  // namespace quorvel::batch
