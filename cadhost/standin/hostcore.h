#pragma once
// The stand-in host's drawings, settings and command line without Qt: the same behaviour as
// cad-host's model and command interpreter, for the Windows build. Texts are UTF-8.

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "cadhost/dxf/drawing.h"

namespace quorvel::cadhost::standin {

enum class Release { R14, R2000 };

// A failure of the host's own; the message is for the user.
class HostFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct SelectionSet {
    int number = 0;
    std::string name;
    std::vector<dxf::EntityId> entities;
};

struct Document {
    Document(int number, dxf::Drawing drawing) : number(number), drawing(std::move(drawing)) {}

    int number;                      // never reused within one host
    int load = 1;                    // counts content loads; objects of older content stop working
    std::filesystem::path filePath;  // absolute; empty while untitled
    std::string untitledName;        // "Drawing<n>.dwg"
    dxf::Drawing drawing;
    std::vector<SelectionSet> selectionSets;
    int nextSelectionSet = 1;

    std::string name() const;
    bool isUntitled() const { return filePath.empty(); }
};

class HostCore {
public:
    HostCore(Release release, std::filesystem::path templatePath);

    Release release() const { return release_; }
    // "CAD 主机 - [<active drawing>]"
    std::string caption() const;
    int filedia() const { return filedia_; }

    Document& addFromTemplate(const std::filesystem::path& templatePath);  // empty = own
    // Opening a file that is open elsewhere with unsaved changes is refused; opening over a
    // document's unsaved changes first writes them to a recovery copy.
    Document& openNew(const std::filesystem::path& path);
    Document& openInto(int number, const std::filesystem::path& path);
    // Where recovery copies go (made when first needed).
    void setRecoveryFolder(std::filesystem::path folder) { recoveryFolder_ = std::move(folder); }
    void saveAs(int number, const std::filesystem::path& path);
    void close(int number, bool saveChanges);

    Document* find(int number);
    Document& document(int number);  // raises when closed
    Document& activeOrThrow();
    void setActive(int number);
    const std::vector<std::unique_ptr<Document>>& documents() const { return documents_; }

    SelectionSet& addSelectionSet(Document& document, const std::string& name);

    // The command line: typed characters, Enter ends a field; a space does too except at a
    // file-name prompt. Commands FILEDIA, JUSTIFYTEXT (last object only) and QSAVE.
    void type(const std::u16string& text);
    void enter();
    void backspace();
    void cancel();
    const std::string& prompt() const { return prompt_; }
    const std::u16string& pendingInput() const { return pending_; }
    const std::vector<std::string>& history() const { return history_; }
    // Failures of commands since the last call, then cleared.
    std::vector<std::string> takeFailures();

private:
    enum class State { Command, FilediaValue, JustifySelect, JustifyOption, SaveName };

    dxf::Drawing readDrawing(const std::filesystem::path& path, bool asTemplate) const;
    Document& adopt(std::unique_ptr<Document> document);
    void refuseUnsavedCopy(const std::filesystem::path& path, int except) const;
    std::filesystem::path writeRecoveryCopy(const Document& document) const;
    void submit(const std::string& field);
    void startCommand(const std::string& field);
    void setState(State state, std::string prompt);
    void finish();
    void echo(const std::string& line);
    void fail(const std::string& message);
    void runQsave();
    void saveUnder(const std::filesystem::path& path);

    Release release_;
    std::filesystem::path templatePath_;
    std::filesystem::path recoveryFolder_;
    int filedia_ = 1;
    int nextNumber_ = 1;
    int nextUntitled_ = 1;
    int activeNumber_ = 0;
    std::vector<std::unique_ptr<Document>> documents_;

    State state_ = State::Command;
    std::string prompt_;
    std::u16string pending_;
    int commandDocument_ = 0;
    std::vector<dxf::EntityId> selection_;
    std::vector<std::string> history_;
    std::vector<std::string> failures_;
};

// A path as UTF-8 text, for messages and FullName.
std::string pathText(const std::filesystem::path& path);

}  // namespace quorvel::cadhost::standin
