#include "batch/processing.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "batch/dimensionpicture.h"
#include "batch/drawingfile.h"
#include "batch/files.h"
#include "batch/fontcoverage.h"
#include "batch/journal.h"
#include "dxf/tabletext.h"
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
        case TextKind::TableCell:
            return "表格单元格";
        case TextKind::MLeader:
            return "多重引线";
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

struct ExpectedText {
    dxf::EntityId id = 0;
    std::size_t cell = 0;  // table cells
    std::string raw;
    auto key() const { return std::pair(id, cell); }
};

// The edited bytes must load again and show the new texts.
void checkEdited(std::string edited, std::vector<ExpectedText> expectedTexts) {
    const dxf::Drawing reread = dxf::Drawing::fromBytes(std::move(edited));
    const auto byKey = [](const auto& a, const auto& b) { return a.key() < b.key(); };
    std::sort(expectedTexts.begin(), expectedTexts.end(), byKey);
    std::vector<dxf::EntityId> ids;
    for (const auto& expected : expectedTexts)
        ids.push_back(expected.id);
    std::vector<ExpectedText> texts;
    for (dxf::TextEntry& entry : dxf::readTexts(reread, [&](const dxf::TextEntry& entry) {
             return std::binary_search(ids.begin(), ids.end(), entry.id);
         })) {
        const ExpectedText seen{entry.id, entry.cell, std::move(entry.raw)};
        if (std::binary_search(expectedTexts.begin(), expectedTexts.end(), seen, byKey))
            texts.push_back(seen);
    }
    std::sort(texts.begin(), texts.end(), byKey);
    bool same = texts.size() == expectedTexts.size();
    for (std::size_t i = 0; same && i < texts.size(); ++i)
        same = texts[i].key() == expectedTexts[i].key() && texts[i].raw == expectedTexts[i].raw;
    if (!same)
        throw FileError("修改后读回的文字与修改结果不一致，未保存");
}

bool isTablePicture(const dxf::TextEntry& entry) {
    return entry.space == dxf::Space::Block && entry.block.size() > 1 && entry.block[0] == '*' &&
           (entry.block[1] == 'T' || entry.block[1] == 't') &&
           (entry.kind == TextKind::Text || entry.kind == TextKind::MText);
}

std::string upper(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

using CellChanges = std::vector<std::pair<dxf::TextEntry, Substitution>>;

// The texts of a table's picture (its "*T" block) that show a changed cell's text, rewritten by
// the same pairs, so that readers which draw the picture show the new text too.
std::vector<std::pair<dxf::TextEntry, std::string>> tablePictureEdits(
    const std::vector<dxf::TextEntry>& picture, const CellChanges& cells, const Options& options) {
    std::set<std::string> shown;
    for (const auto& cell : cells)
        shown.insert(cell.second.oldText);
    std::vector<std::pair<dxf::TextEntry, std::string>> edits;
    for (const dxf::TextEntry& text : picture) {
        const auto rewritten = rewrite(text.raw, syntaxOf(text), options);
        if (!rewritten || rewritten->raw == text.raw)
            continue;
        // Texts that show no changed cell (a field's value, a number) stay as they are.
        if (shown.contains(rewritten->oldShown))
            edits.emplace_back(text, rewritten->raw);
    }
    return edits;
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

namespace {

// The edits of one drawing, text by text. A table's cells are held back until its last one:
// they change together, with the table's picture, or not at all.
class DrawingEdits {
public:
    DrawingEdits(dxf::Drawing& document, const Options& options, EditedDrawing& result,
                 ReportPictures* pictures)
        : document_(document),
          options_(options),
          result_(result),
          pictures_(pictures),
          displayCheck_(document, options.fontFolders) {}

    void take(const dxf::TextEntry& entry);
    void finish() { flushTable(); }
    std::vector<ExpectedText> expected;

private:
    void count(const dxf::TextEntry& entry, const Substitution& change, bool shownAfter = true);
    void apply(const dxf::TextEntry& entry, const Substitution& change,
               const DimensionPictures::Picture& picture);
    void flushTable();
    const std::vector<dxf::TextEntry>& pictureOf(dxf::EntityId table);

    dxf::Drawing& document_;
    const Options& options_;
    EditedDrawing& result_;
    ReportPictures* pictures_;  // an HTML report's, or none
    DisplayCheck displayCheck_;
    std::optional<std::map<std::string, std::string>> layouts_;  // read when first needed
    std::optional<DimensionPictures> dimensions_;  // indexed when a dimension first matches
    std::optional<std::map<std::string, std::vector<dxf::TextEntry>>> tablePictures_;
    dxf::EntityId table_ = 0;
    CellChanges cells_;  // of table_
};

void DrawingEdits::count(const dxf::TextEntry& entry, const Substitution& change, bool shownAfter) {
    const std::string undisplayable = displayCheck_.problem(entry, change);
    result_.undisplayable += undisplayable.empty() ? 0 : 1;
    ++result_.texts;
    if (!options_.reportFile.empty()) {
        if (entry.space == dxf::Space::Paper && !layouts_)
            layouts_ = dxf::layoutNames(document_);
        result_.rows.push_back(reportRow(entry, change, layouts_.value_or(kNoLayouts)));
        result_.rows.back().undisplayable = undisplayable;
        if (pictures_)
            pictures_->add(entry, result_.rows.size() - 1, shownAfter);
    }
}

void DrawingEdits::apply(const dxf::TextEntry& entry, const Substitution& change,
                         const DimensionPictures::Picture& picture) {
    if (change.newRaw != entry.raw || change.newAttributeLine != entry.attributeLine)
        dxf::writeText(document_, entry, change.newRaw, change.newAttributeLine);
    if (change.newPictureRaw && *change.newPictureRaw != picture.text->raw)
        dxf::writeText(document_, *picture.text, *change.newPictureRaw);
    if (options_.height && entry.kind != TextKind::Dimension && entry.kind != TextKind::MLeader)
        dxf::writeHeight(document_, entry, *options_.height);
    if (options_.justify && entry.kind == TextKind::Text)
        document_.justify(entry.id, *options_.justify);
}

void DrawingEdits::take(const dxf::TextEntry& entry) {
    if (entry.id != table_)
        flushTable();
    DimensionPictures::Picture picture;
    std::optional<Substitution> change;
    if (entry.kind == TextKind::Dimension) {
        if (!dimensions_)
            dimensions_.emplace(document_);
        picture = dimensions_->of(entry);
        change = substituteDimension(entry, picture, options_);
    } else {
        change = substitute(entry, options_);
    }
    if (!change)
        return;
    if (!change->refused.empty()) {
        result_.unchanged.push_back(entry.handle + "：" + change->refused);
        return;
    }
    if (entry.kind == TextKind::TableCell) {
        table_ = entry.id;
        cells_.emplace_back(entry, std::move(*change));
        return;
    }
    bool shownAfter = true;
    if (!options_.dryRun) {
        apply(entry, *change, picture);
        expected.push_back({entry.id, entry.cell, change->newRaw});
    } else if (pictures_) {
        // A dry run's pictures show the edit in memory; one the engine refuses is not shown.
        try {
            apply(entry, *change, picture);
        } catch (const std::exception&) {
            shownAfter = false;
        }
    }
    count(entry, *change, shownAfter);
}

const std::vector<dxf::TextEntry>& DrawingEdits::pictureOf(dxf::EntityId table) {
    if (!tablePictures_) {
        tablePictures_.emplace();
        for (dxf::TextEntry& text : dxf::readTexts(document_, isTablePicture))
            (*tablePictures_)[upper(text.block)].push_back(std::move(text));
    }
    static const std::vector<dxf::TextEntry> kNone;
    const auto found = tablePictures_->find(upper(dxf::tableBlockName(document_, table)));
    return found == tablePictures_->end() ? kNone : found->second;
}

void DrawingEdits::flushTable() {
    if (cells_.empty())
        return;
    const CellChanges cells = std::move(cells_);
    cells_.clear();
    std::vector<dxf::CellEdit> edits;
    for (const auto& [entry, change] : cells) {
        if (change.newRaw != entry.raw)
            edits.push_back({entry.cell, change.newRaw});
    }
    // Tried on a dry run too: it tells whether the table can be edited. Once the cells are
    // written, a picture that cannot follow fails the drawing rather than leave half a table.
    std::vector<std::pair<dxf::TextEntry, std::string>> picture;
    try {
        if (!edits.empty()) {
            picture = tablePictureEdits(pictureOf(table_), cells, options_);
            dxf::writeTableCells(document_, table_, edits);
        }
    } catch (const dxf::DxfError& error) {
        if (error.kind() != dxf::DxfError::Kind::InvalidArgument)
            throw;
        result_.unchanged.push_back(cells.front().first.handle + "：" + error.what());
        return;
    }
    for (const auto& [text, raw] : picture)
        dxf::writeText(document_, text, raw);
    for (const auto& [entry, change] : cells) {
        expected.push_back({entry.id, entry.cell, change.newRaw});
        count(entry, change);
    }
}

}  // namespace

EditedDrawing editDrawing(std::string bytes, const Options& options) {
    EditedDrawing result;
    std::optional<ReportPictures> reportPictures;
    if (reportHasPictures(options))
        reportPictures.emplace(bytes);
    // About two copies of the drawing at a time: the drawing and its edited bytes, then the
    // edited bytes and the drawing read back from them. The pictures of an HTML report add the
    // original bytes, read again for the "before" pictures.
    std::optional<dxf::Drawing> document = dxf::Drawing::fromBytes(std::move(bytes));
    result.unreached = findUnreached(*document);
    const auto chosen = [&](const dxf::TextEntry& entry) { return isChosen(entry, options); };
    DrawingEdits edits(*document, options, result, reportPictures ? &*reportPictures : nullptr);
    for (const dxf::TextEntry& entry : dxf::readTexts(*document, chosen))
        edits.take(entry);
    edits.finish();
    if (reportPictures)
        result.pictures = reportPictures->draw(*document, result.rows);
    if (options.dryRun || !document->isModified())
        return result;
    result.bytes = document->toBytes();
    document.reset();
    checkEdited(result.bytes, std::move(edits.expected));
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
        outcome.unreached = std::move(edited.unreached);
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
        outcome.unreached = {};
        outcome.pictures.clear();
    }
    return outcome;
}

}  // namespace quorvel::batch
