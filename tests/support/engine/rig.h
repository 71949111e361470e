#pragma once
// A run wired to the recording host and the doubles, ready to be driven by a test.

#include <regex>

#include "engine/programfolder.h"
#include "engine/quietrunservices.h"
#include "engine/textutil.h"
#include "tests/support/engine/doubles.h"

namespace quorvel::engine::testing {

// The paths the runs make, with the separator of the platform the tests run on.
inline const std::string kSeparator(1, static_cast<char>(kPathSeparator));
inline const std::string kTemplateDrawing =
    "/opt/cadhost" + kSeparator + "TEMPLATE" + kSeparator + "acad.dwt";
inline const std::string kScriptFile = "/prog" + kSeparator + "batch.scr";

// What every run does first: attach to the host, show it, look at its drawing, bring it forward.
inline const std::string kActivate = "Window.activateByTitle(cad-host - [Drawing1.dwg])";
inline std::vector<std::string> attachAndActivate() {
    return {"Connector.attachRunning(AutoCAD.Application)",
            "Application.Visible(true)",
            "Application.ActiveDocument",
            "Document.ModelSpace",
            "Document.PaperSpace",
            "Document.Utility",
            "Application.Caption",
            kActivate};
}

struct RunRig {
    explicit RunRig(RecordingHost::Generation generation = RecordingHost::Generation::R2000)
        : host(journal, generation) {
        options.option2 = generation == RecordingHost::Generation::R2000;
        host.running = true;
        host.openNew({}, {}, {});  // a running host always has a drawing open
    }

    ReplacementRun makeRun() {
        RunServices services =
            makeRunServices(module1, host.windowControl(), options, list,
                            {progress, mainWindow, messages, clock, random, script}, u"/prog");
        services.files = &host.fileStamps();
        services.runLock = &runLock;
        return ReplacementRun(services);
    }
    void batch() { makeRun().runBatch(); }
    void preview() { makeRun().runPreview(); }

    // Adds a drawing to the disk and to the list.
    void listDrawing(const std::u16string& path, Drawing drawing) {
        host.addFile(path, std::move(drawing));
        list.entries.push_back(path);
    }
    // The text entities of a file as saved.
    std::vector<std::u16string> textsOnDisk(const std::u16string& path) const {
        std::vector<std::u16string> texts;
        for (const TextRecord& entity : host.files.at(path)) {
            texts.push_back(entity.text);
        }
        return texts;
    }
    // The journal from the first entry equal to `from` on, entity handles left out.
    std::vector<std::string> journalFrom(const std::string& from = {}) const {
        std::vector<std::string> result;
        bool started = from.empty();
        const std::regex handle("Text#[0-9]+");
        for (const std::string& entry : journal) {
            started = started || entry == from;
            if (started) {
                result.push_back(std::regex_replace(entry, handle, "Text"));
            }
        }
        return result;
    }

    std::vector<std::string> journal;
    RecordingHost host;
    FakeOptions options;
    FakeDrawingList list{journal};
    FakeProgress progress{journal};
    FakeMainWindow mainWindow{journal};
    FakeMessages messages{journal};
    FakeClock clock;
    FakeRandom random{journal};
    FakeScriptWriter script{journal};
    FakeRunLock runLock;
    Module1 module1{host.connector(), messages};
};

}  // namespace quorvel::engine::testing
