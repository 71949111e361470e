#include "batch/hostrun.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>

#include "batch/files.h"
#include "batch/fontcoverage.h"
#include "batch/journal.h"
#include "batch/progress.h"
#include "batch/substitution.h"
#include "engine/textutil.h"
#include "platform/sha256.h"

namespace quorvel::batch {

using platform::sha256Hex;

namespace fs = std::filesystem;

namespace {

// The run's messages, one failure reason.
std::string joined(const std::vector<std::u16string>& messages) {
    std::string text;
    for (const std::u16string& message : messages)
        text += (text.empty() ? "" : "；") + engine::toUtf8(message);
    return text;
}

class HostOptions final : public engine::ReplaceOptions {
public:
    explicit HostOptions(const Options& options) : o_(options) {}
    std::u16string searchText() const override { return o_.pairs[0].find; }
    std::u16string replacementText() const override { return o_.pairs[0].replace; }
    std::u16string layerName() const override { return engine::fromUtf8(o_.layer.value_or("")); }
    std::u16string justificationCode() const override {
        return engine::fromUtf8(o_.justify.value_or(""));
    }
    std::u16string heightText() const override {
        char text[64] = "";
        if (o_.height)
            std::snprintf(text, sizeof text, "%.17g", *o_.height);
        return engine::fromUtf8(text);
    }
    int layerTick() const override { return o_.layer ? 1 : 0; }
    int exactMatchTick() const override { return o_.exact ? 1 : 0; }
    int justificationTick() const override { return o_.justify ? 1 : 0; }
    int heightTick() const override { return o_.height ? 1 : 0; }
    bool newerGeneration() const override { return true; }

private:
    const Options& o_;
};

struct Pending {
    std::size_t index = 0;
    fs::path path;
    std::string before;
    fs::path backup;
    std::vector<std::string> expected;  // single-line texts of the layouts, sorted
};

class Queue final : public engine::DrawingList {
public:
    Queue(std::vector<Pending>& pending, std::function<void(Pending&)> saved)
        : pending_(pending), saved_(std::move(saved)) {}
    int count() const override { return static_cast<int>(pending_.size() - next_); }
    std::u16string text(int index) const override {
        return engine::fromUtf8(pending_.at(next_ + static_cast<std::size_t>(index)).path.string());
    }
    void removeAt(int index) override {
        // The run takes a drawing off its list once the host has saved it.
        if (index == 0 && next_ < pending_.size())
            saved_(pending_[next_++]);
    }
    void removeAll() override {}
    Pending* front() { return next_ < pending_.size() ? &pending_[next_] : nullptr; }
    void skipFront() { ++next_; }

private:
    std::vector<Pending>& pending_;
    std::function<void(Pending&)> saved_;
    std::size_t next_ = 0;
};

// Single-line texts of the layouts, as the comparison between the hosts sees them: the host's
// copies get new handles and go to the end of their space, so only the sorted values count.
std::vector<std::string> layoutTexts(const dxf::Drawing& drawing) {
    std::vector<std::string> texts;
    for (const dxf::TextEntry& entry : dxf::readTexts(drawing, [](const dxf::TextEntry& e) {
             return e.kind == dxf::TextKind::Text && e.space != dxf::Space::Block;
         })) {
        texts.push_back(entry.raw);
    }
    std::sort(texts.begin(), texts.end());
    return texts;
}

// The in-process edit of one drawing: what the host must give. A drawing without a match, or
// any in a dry run, is done here; the others are kept in the journal and handed to the host.
std::optional<Pending> prepare(std::size_t index, const fs::path& drawing, const Options& options,
                               Journal& journal, Progress& progress, DrawingOutcome& outcome) {
    try {
        const std::string original = readWholeFile(drawing);
        dxf::Drawing edited = dxf::Drawing::fromBytes(original);
        const auto layouts = options.reportFile.empty() ? std::map<std::string, std::string>()
                                                        : dxf::layoutNames(edited);
        // The host matches the text as it is stored.
        Options asStored = options;
        asStored.raw = true;
        DisplayCheck displayCheck(edited, options.fontFolders);
        std::optional<ReportPictures> pictures;
        if (reportHasPictures(options))
            pictures.emplace(original);
        for (const dxf::TextEntry& entry : dxf::readTexts(
                 edited, [&](const dxf::TextEntry& e) { return isChosen(e, options); })) {
            const auto change = substitute(entry, asStored);
            if (!change)
                continue;
            ++outcome.texts;
            const std::string undisplayable = displayCheck.problem(entry, *change);
            outcome.undisplayable += undisplayable.empty() ? 0 : 1;
            if (!options.reportFile.empty()) {
                outcome.rows.push_back(reportRow(entry, *change, layouts));
                outcome.rows.back().undisplayable = undisplayable;
                if (pictures)
                    pictures->add(entry, outcome.rows.size() - 1);
            }
            dxf::writeText(edited, entry, change->newRaw);
            if (options.height)
                dxf::writeHeight(edited, entry, *options.height);
        }
        if (pictures)
            outcome.pictures = pictures->draw(edited, outcome.rows);
        if (outcome.texts == 0 || options.dryRun) {
            outcome.ok = true;
            progress.drawingDone(drawing.string(), true, outcome.texts, "");
            return std::nullopt;
        }
        return Pending{index, fs::absolute(drawing).lexically_normal(), sha256Hex(original),
                       journal.keepOriginal(drawing, original), layoutTexts(edited)};
    } catch (const std::exception& error) {
        outcome.reason = error.what();
        outcome.rows.clear();
        outcome.pictures.clear();
        outcome.texts = 0;
        outcome.undisplayable = 0;
        progress.drawingDone(drawing.string(), false, 0, outcome.reason);
        return std::nullopt;
    }
}

// What becomes of a drawing the host had: checked and journalled when saved, put back when not.
class HostOutcomes {
public:
    HostOutcomes(std::vector<DrawingOutcome>& outcomes, Journal& journal, Progress& progress,
                 const std::string& hostName)
        : outcomes_(outcomes), journal_(journal), progress_(progress), hostName_(hostName) {}

    void failed(Pending& drawing, const std::string& reason) {
        DrawingOutcome& outcome = outcomes_[drawing.index];
        outcome.ok = false;
        outcome.reason = reason;
        outcome.rows.clear();
        outcome.pictures.clear();
        outcome.texts = 0;
        outcome.undisplayable = 0;
        try {
            if (sha256Hex(readWholeFile(drawing.path)) != drawing.before) {
                writeFileAtomically(drawing.path, readWholeFile(drawing.backup));
                outcome.reason += "，已恢复原图";
            }
        } catch (const std::exception& error) {
            outcome.reason += std::string("，恢复原图失败：") + error.what();
            outcome.leftAsItWas = false;
        }
        progress_.drawingDone(drawing.path.string(), false, 0, outcome.reason);
    }

    void saved(Pending& drawing) {
        try {
            const std::string bytes = readWholeFile(drawing.path);
            const std::string after = sha256Hex(bytes);
            if (layoutTexts(dxf::Drawing::fromBytes(bytes)) != drawing.expected)
                throw FileError(hostName_ + " 保存的文字与预期不一致");
            journal_.recordSaved(drawing.path, drawing.before, after, drawing.backup);
            outcomes_[drawing.index].ok = true;
            outcomes_[drawing.index].saved = true;
            progress_.drawingDone(drawing.path.string(), true, outcomes_[drawing.index].texts, "");
        } catch (const std::exception& error) {
            failed(drawing, error.what());
        }
    }

private:
    std::vector<DrawingOutcome>& outcomes_;
    Journal& journal_;
    Progress& progress_;
    const std::string& hostName_;
};

// The engine's batch run over the host, as the windows run it.
void runOnHost(std::vector<Pending>& pending, const Options& options, HostOutcomes& outcomes,
               HostServices& host) {
    HostOptions hostOptions(options);
    Queue queue(pending, [&](Pending& drawing) { outcomes.saved(drawing); });
    engine::QuietRunServices& quiet = host.quiet;
    engine::Module1 module1(host.connector, quiet);
    engine::RunServices services =
        engine::makeRunServices(module1, host.windows, hostOptions, queue, quiet,
                                engine::fromUtf8(fs::temp_directory_path().string()));
    services.files = &host.files;
    services.runLock = &host.runLock;
    // The run ends at its first error, with the failing drawing first on its list: that one is
    // reported and put back, and a new run takes the rest.
    while (queue.count() > 0) {
        quiet.messages.clear();
        engine::ReplacementRun(services).runBatch();
        Pending* failed = queue.front();
        if (!failed)
            break;
        outcomes.failed(*failed, quiet.messages.empty() ? host.name + " 没有处理这个图形"
                                                        : joined(quiet.messages));
        queue.skipFront();
    }
}

}  // namespace

std::vector<DrawingOutcome> processOnHost(const std::vector<fs::path>& drawings,
                                          const Options& options, Journal& journal,
                                          Progress& progress, HostServices& host) {
    std::vector<DrawingOutcome> outcomes(drawings.size());
    std::vector<Pending> pending;
    // What the in-process edit gives is what the host must give; drawings without a match are
    // not opened at all.
    for (std::size_t i = 0; i < drawings.size(); ++i) {
        outcomes[i].drawing = drawings[i];
        if (auto drawing = prepare(i, drawings[i], options, journal, progress, outcomes[i]))
            pending.push_back(std::move(*drawing));
    }
    if (!pending.empty()) {
        HostOutcomes hostOutcomes(outcomes, journal, progress, host.name);
        runOnHost(pending, options, hostOutcomes, host);
    }
    return outcomes;
}

}  // namespace quorvel::batch
