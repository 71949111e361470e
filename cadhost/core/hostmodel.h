#pragma once
// The host's open drawings and settings, shared by its automation objects, its command line and
// its window. Both hosts (cad-host and the Windows stand-in) are adapters over this model; every
// change is told to one observer, through which they redraw or record it. Texts are UTF-8.

#include "dxf/drawing.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace quorvel::cadhost::core {

enum class Release { R14, R2000 };

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
    std::string untitledName;        // "Drawing<n>.dwg" for an untitled drawing
    dxf::Drawing drawing;
    std::vector<SelectionSet> selectionSets;
    int nextSelectionSet = 1;

    std::string name() const;
    bool isUntitled() const { return filePath.empty(); }
    bool isSaved() const { return !drawing.isModified(); }
};

class ModelObserver {
public:
    virtual ~ModelObserver() = default;
    virtual void documentsChanged() {}
    virtual void activeDocumentChanged() {}
    virtual void documentChanged(int /*number*/) {}
    virtual void filediaChanged(int /*value*/) {}
    // A line for the command history that no command produced.
    virtual void notice(const std::string& /*line*/) {}
};

class HostModel {
public:
    HostModel(Release release, std::filesystem::path templatePath,
              ModelObserver* observer = nullptr);
    HostModel(const HostModel&) = delete;
    HostModel& operator=(const HostModel&) = delete;

    Release release() const { return release_; }
    const std::filesystem::path& templatePath() const { return templatePath_; }
    // The window title: "CAD 主机 - [<active drawing>]".
    std::string caption() const;

    int filedia() const { return filedia_; }
    void setFiledia(int value);

    // Recovery copies go to `folder` (made when first needed) as "<name>-<stamp>.dwg", or
    // "<name>-<stamp>-<n>.dwg" when that is taken; without a stamp as "<name>-<n>.dwg".
    void setRecoveryCopies(std::filesystem::path folder, std::function<std::string()> stamp = {});

    // A new untitled document with a template's content; empty path = the host's own template.
    // It becomes the active document.
    Document& addFromTemplate(const std::filesystem::path& templatePath);
    // Reads the file from disk into a new document, which becomes the active one. Another
    // document of the same file with unsaved changes is first saved as a recovery copy and
    // from then on belongs to that copy, so the two never fork the file; the copy is announced.
    Document& openNew(const std::filesystem::path& path);
    // Reads the file from disk into an existing document, replacing its content. Unsaved
    // changes of that document are first written to a recovery copy, which is announced.
    Document& openInto(int number, const std::filesystem::path& path);

    // Atomic save to the document's own file; an untitled document raises SaveFailed.
    void save(int number);
    void saveAs(int number, const std::filesystem::path& path);
    // Optionally saves first; a failed save leaves the document open.
    void close(int number, bool saveChanges);

    Document* find(int number);
    // Raises ObjectClosed for a document that is no longer open.
    Document& document(int number);
    Document* active();
    // Raises NoActiveDocument.
    Document& activeOrThrow();
    void setActive(int number);
    const std::vector<std::unique_ptr<Document>>& documents() const { return documents_; }
    bool hasUnsaved() const;

    // Called after every edit of a document's drawing, so that views and tabs follow.
    void markChanged(int number);
    // A line for the command history.
    void announce(const std::string& line);

private:
    dxf::Drawing readDrawing(const std::filesystem::path& path, bool asTemplate) const;
    Document& adopt(std::unique_ptr<Document> document);
    void setAsideUnsavedCopies(const std::filesystem::path& path, int except);
    // Saves the document's content to a new recovery copy and returns its path.
    std::filesystem::path writeRecoveryCopy(Document& document);
    std::filesystem::path freeRecoveryPath(const Document& document) const;

    ModelObserver fallbackObserver_;
    ModelObserver& observer_;
    Release release_;
    std::filesystem::path templatePath_;
    std::filesystem::path recoveryFolder_;
    std::function<std::string()> recoveryStamp_;
    int filedia_ = 1;
    int nextNumber_ = 1;
    int nextUntitled_ = 1;
    int activeNumber_ = 0;
    std::vector<std::unique_ptr<Document>> documents_;
};

// TEXT, ATTRIB and ATTDEF: the objects with one line of text, by their entity type.
bool isSingleLineText(const std::string& type);

// A path as UTF-8 text, for messages and FullName.
std::string pathText(const std::filesystem::path& path);
// UTF-8 text as a path.
std::filesystem::path pathFromText(const std::string& text);
// Absolute, with "." and ".." resolved by name; the path as given when that fails.
std::filesystem::path absolutePath(const std::filesystem::path& path);
// The history line after a drawing was saved under `path`.
std::string savedLine(const std::filesystem::path& path);

}  // namespace quorvel::cadhost::core
