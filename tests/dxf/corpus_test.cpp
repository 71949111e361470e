// Drawings of many writers edited as a batch run edits them, saved, and compared by ezdxf with
// their originals: sections in order, exactly the intended texts changed, every other entity kept.
// A sample runs by default; QUORVEL_DXF_CORPUS=full takes every drawing found.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

#include "dxf/drawing.h"
#include "dxf/textstyles.h"
#include "tests/support/ezdxf_reference.h"

namespace quorvel::dxf {
namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::TemporaryFolder;

std::vector<fs::path> shippedDrawings() {
    std::vector<fs::path> found;
    for (const char* root : {"/usr/share/librecad", "/usr/share/openscad/testdata"}) {
        std::error_code error;
        if (!fs::is_directory(root, error))
            continue;
        for (const auto& entry : fs::recursive_directory_iterator(root, error)) {
            std::string extension = entry.path().extension().string();
            std::transform(extension.begin(), extension.end(), extension.begin(), ::tolower);
            if (entry.is_regular_file() && extension == ".dxf")
                found.push_back(entry.path());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

// Copy, erase the original, give the copy its new text: on every other text, at most 40 of
// them. A drawing without texts has its first entity copied and the original erased.
void editLikeABatchRun(Drawing& drawing, std::ostream& manifest) {
    const auto texts = drawing.select({0}, {"TEXT"});
    int edits = 0;
    for (std::size_t i = 0; i < texts.size() && edits < 40; i += 2, ++edits) {
        const EntityId original = texts[i];
        const std::string handle = drawing.handle(original);
        const std::string old = drawing.text(original);
        const EntityId copy = drawing.copy(original);
        drawing.erase(original);
        const std::string replaced = "新文字 " + std::to_string(edits) + " done";
        drawing.setText(copy, replaced);
        manifest << "ERASED\t" << handle << "\nOLD\t" << old << "\nNEW\t" << drawing.handle(copy)
                 << '\t' << replaced << '\n';
    }
    if (texts.empty()) {
        const auto all = drawing.select({}, {});
        if (!all.empty()) {
            const std::string handle = drawing.handle(all.front());
            const EntityId copy = drawing.copy(all.front());
            drawing.erase(all.front());
            manifest << "ERASED\t" << handle << "\nMOVED\t" << handle << '\t'
                     << drawing.handle(copy) << '\n';
        }
    }
}

TEST(DrawingCorpus, BatchRunOverManyWritersChangesOnlyTheReplacedTexts) {
    if (!testsupport::ezdxfAvailable())
        GTEST_SKIP() << "ezdxf not installed";
    TemporaryFolder generated;
    TemporaryFolder out;
    testsupport::runEzdxf({"corpus", generated.path().string()});
    std::vector<fs::path> drawings;
    for (const auto& entry : fs::directory_iterator(generated.path()))
        drawings.push_back(entry.path());
    const char* mode = std::getenv("QUORVEL_DXF_CORPUS");
    const bool full = mode && std::string(mode) == "full";
    const auto shipped = shippedDrawings();
    for (std::size_t i = 0; i < shipped.size(); ++i) {
        if (full || i % 40 == 0)
            drawings.push_back(shipped[i]);
    }

    const fs::path manifestFile = out.path() / "manifest.tsv";
    std::ofstream manifest(manifestFile);
    int refused = 0;
    for (std::size_t i = 0; i < drawings.size(); ++i) {
        SCOPED_TRACE(drawings[i].string());
        const fs::path saved =
            out.path() / (std::to_string(i) + "_" + drawings[i].filename().string());
        fs::copy_file(drawings[i], saved);
        try {
            Drawing drawing = Drawing::load(saved);
            // Any writer's text styles are read, and every text's style is looked up.
            const TextStyles styles(drawing);
            for (const Drawing::TextRecord& text : drawing.textRecords())
                EXPECT_NO_THROW(styles.styleNameOf(drawing, text.id)) << text.handle;
            std::ostringstream edits;
            editLikeABatchRun(drawing, edits);
            const bool handles = edits.str().find("ERASED\t\n") == std::string::npos;
            drawing.save(saved);
            EXPECT_EQ(readFile(backupPathFor(saved)), readFile(drawings[i]));
            manifest << "FILE\t" << drawings[i].string() << '\t' << saved.string() << '\t'
                     << (handles ? 1 : 0) << '\n'
                     << edits.str();
        } catch (const DxfError& e) {
            ++refused;
            ADD_FAILURE() << "refused: " << e.what();
        }
    }
    manifest.close();

    std::string report;
    testsupport::runEzdxf({"check", manifestFile.string()}, &report);
    std::map<std::string, int> passedByWriter;
    std::set<std::string> versions, encodings;
    int passed = 0, skipped = 0, crlf = 0;
    std::istringstream lines(report);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, '\t');)
            fields.push_back(field);
        if (fields.size() < 7 || fields[0] != "RESULT")
            continue;
        if (fields[6] == "SKIP") {
            ++skipped;
            continue;
        }
        EXPECT_EQ(fields[6], "OK") << fields[1] << ": " << (fields.size() > 7 ? fields[7] : "");
        if (fields[6] != "OK")
            continue;
        ++passed;
        ++passedByWriter[fields[2]];
        versions.insert(fields[3]);
        encodings.insert(fields[4]);
        crlf += fields[5] == "crlf";
    }
    std::cout << "corpus: " << drawings.size() << " drawings, " << passed << " passed, " << skipped
              << " beyond ezdxf, " << refused << " refused; " << crlf << " with CR LF; writers:";
    for (const auto& [writer, count] : passedByWriter)
        std::cout << ' ' << writer << '=' << count;
    std::cout << "; versions:";
    for (const auto& version : versions)
        std::cout << ' ' << version;
    std::cout << "; encodings:";
    for (const auto& encoding : encodings)
        std::cout << ' ' << encoding;
    std::cout << '\n';
    EXPECT_EQ(passed + skipped, static_cast<int>(drawings.size()) - refused) << report;
    EXPECT_GE(passedByWriter.size(), 5u);
    EXPECT_GE(encodings.size(), 3u);
    EXPECT_GT(crlf, 0);
    EXPECT_TRUE(versions.count("AC1009"));
}

}  // namespace
}  // namespace quorvel::dxf
