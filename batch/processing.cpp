#include "batch/processing.h"

#include <algorithm>
#include <map>
#include <optional>

#include "batch/dimensionpicture.h"
#include "batch/drawingfile.h"
#include "batch/files.h"
#include "batch/fontcoverage.h"
#include "batch/journal.h"
#include "dxf/textkinds.h"

namespace quorvel::batch {

namespace {

using dxf::TextKind;

const std::map<std::string, std::string> kNoLayouts;

std::string kindName(TextKind kind) {
    switch (kind) {
        case TextKind::Text:
            return "单行文字";
        case TextKind::MText:
            return "多行文字";
        case TextKind::Attribute:
            return "属性";
        case TextKind::AttributeDefinition:
            return "属性定义";
        case TextKind::Dimension:
            return "标注";
    }
    return "";
}

std::string spaceName(const dxf::TextEntry& entry,
                      const std::map<std::string, std::string>& layouts) {
    switch (entry.space) {
        case dxf::Space::Model:
            return "模型空间";
        case dxf::Space::Paper: {
            std::string block = entry.block.empty() ? "*PAPER_SPACE" : entry.block;
            for (char& c : block)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            const auto layout = layouts.find(block);
            if (layout != layouts.end())
                return "布局 " + layout->second;
            return entry.block.empty() ? "图纸空间" : "图纸空间 " + entry.block;
        }
        case dxf::Space::Block:
            return "块 " + entry.block;
    }
    return "";
}

// The edited bytes must load again and show the new texts.
void checkEdited(std::string edited,
                 const std::vector<std::pair<dxf::EntityId, std::string>>& expectedTexts) {
    const dxf::Drawing reread = dxf::Drawing::fromBytes(std::move(edited));
    std::vector<dxf::EntityId> ids;
    for (const auto& expected : expectedTexts)
        ids.push_back(expected.first);
    const std::vector<dxf::TextEntry> texts =
        dxf::readTexts(reread, [&](const dxf::TextEntry& entry) {
            return std::binary_search(ids.begin(), ids.end(), entry.id);
        });
    bool same = texts.size() == expectedTexts.size();
    for (std::size_t i = 0; same && i < texts.size(); ++i)
        same = texts[i].id == expectedTexts[i].first && texts[i].raw == expectedTexts[i].second;
    if (!same)
        throw FileError("修改后读回的文字与修改结果不一致，未保存");
}

}  // namespace

ReportRow reportRow(const dxf::TextEntry& entry, const Substitution& change,
                    const std::map<std::string, std::string>& layouts) {
    return {entry.handle,
            spaceName(entry, layouts),
            entry.layer,
            kindName(entry.kind),
            change.oldText,
            change.newText,
            {},
            {},
            {}};
}

bool reportHasPictures(const Options& options) {
    const std::string& file = options.reportFile;
    return !file.empty() && !(file.size() >= 4 && file.compare(file.size() - 4, 4, ".csv") == 0);
}

EditedDrawing editDrawing(std::string bytes, const Options& options) {
    EditedDrawing result;
    std::optional<ReportPictures> reportPictures;
    if (reportHasPictures(options))
        reportPictures.emplace(bytes);
    // About two copies of the drawing at a time: the drawing and its edited bytes, then the
    // edited bytes and the drawing read back from them. The pictures of an HTML report add the
    // original bytes, read again for the "before" pictures.
    std::optional<dxf::Drawing> document = dxf::Drawing::fromBytes(std::move(bytes));
    std::vector<std::pair<dxf::EntityId, std::string>> expected;
    std::optional<std::map<std::string, std::string>> layouts;  // read when first needed
    std::optional<DimensionPictures> pictures;  // indexed when a dimension first matches
    const auto chosen = [&](const dxf::TextEntry& entry) { return isChosen(entry, options); };
    DisplayCheck displayCheck(*document, options.fontFolders);
    for (const dxf::TextEntry& entry : dxf::readTexts(*document, chosen)) {
        DimensionPictures::Picture picture;
        std::optional<Substitution> change;
        if (entry.kind == TextKind::Dimension) {
            if (!pictures)
                pictures.emplace(*document);
            picture = pictures->of(entry);
            change = substituteDimension(entry, picture, options);
        } else {
            change = substitute(entry, options);
        }
        if (!change)
            continue;
        if (!change->refused.empty()) {
            result.unchanged.push_back(entry.handle + "：" + change->refused);
            continue;
        }
        const std::string undisplayable = displayCheck.problem(entry, *change);
        result.undisplayable += undisplayable.empty() ? 0 : 1;
        const auto apply = [&] {
            if (change->newRaw != entry.raw || change->newAttributeLine != entry.attributeLine)
                dxf::writeText(*document, entry, change->newRaw, change->newAttributeLine);
            if (change->newPictureRaw && *change->newPictureRaw != picture.text->raw)
                dxf::writeText(*document, *picture.text, *change->newPictureRaw);
            if (options.height && entry.kind != TextKind::Dimension)
                dxf::writeHeight(*document, entry, *options.height);
            if (options.justify && entry.kind == TextKind::Text)
                document->justify(entry.id, *options.justify);
        };
        bool shownAfter = true;
        if (!options.dryRun) {
            apply();
            expected.emplace_back(entry.id, change->newRaw);
        } else if (reportPictures) {
            // A dry run's pictures show the edit in memory; one the engine refuses is not shown.
            try {
                apply();
            } catch (const std::exception&) {
                shownAfter = false;
            }
        }
        ++result.texts;
        if (!options.reportFile.empty()) {
            if (entry.space == dxf::Space::Paper && !layouts)
                layouts = dxf::layoutNames(*document);
            result.rows.push_back(reportRow(entry, *change, layouts.value_or(kNoLayouts)));
            result.rows.back().undisplayable = undisplayable;
            if (reportPictures)
                reportPictures->add(entry, result.rows.size() - 1, shownAfter);
        }
    }
    if (reportPictures)
        result.pictures = reportPictures->draw(*document, result.rows);
    if (options.dryRun || !document->isModified())
        return result;
    result.bytes = document->toBytes();
    document.reset();
    checkEdited(result.bytes, expected);
    return result;
}

DrawingOutcome processDrawing(const std::filesystem::path& drawing, Journal* journal,
                              const Editor& edit) {
    DrawingOutcome outcome;
    outcome.drawing = drawing;
    try {
        DrawingFile file(drawing);
        EditedDrawing edited = edit(file);
        outcome.texts = edited.texts;
        outcome.undisplayable = edited.undisplayable;
        outcome.rows = std::move(edited.rows);
        outcome.unchanged = std::move(edited.unchanged);
        outcome.pictures = std::move(edited.pictures);
        if (edited.bytes.empty()) {
            outcome.ok = true;
            return outcome;
        }
        const SavedDrawing saved =
            file.replace(edited.bytes, *journal, outcome.notes, outcome.journalFailure);
        // The file must hold exactly the edited bytes, which were read back before the save.
        if (readWholeFile(file.path()) != edited.bytes) {
            const char* const failed = "保存后读回的内容与修改结果不一致";
            outcome.leftAsItWas = false;
            // Put back only over this run's own save, never over a newer one.
            if (!file.restore(saved, journal->readKept(saved.backup)))
                throw FileError(std::string(failed) + "，图形已被其他程序再次修改，没有恢复原图");
            outcome.leftAsItWas = true;
            journal->recordUndone(saved.drawing);
            throw FileError(std::string(failed) + "，已恢复原图");
        }
        outcome.saved = true;
        outcome.ok = true;
    } catch (const std::exception& error) {
        outcome.ok = false;
        outcome.reason = error.what();
        outcome.texts = 0;
        outcome.undisplayable = 0;
        outcome.rows.clear();
        outcome.journalFailure.clear();
        outcome.unchanged.clear();
        outcome.pictures.clear();
    }
    return outcome;
}

}  // namespace quorvel::batch
