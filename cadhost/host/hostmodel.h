#pragma once
// The host's open drawings and settings, shared by the bus, the command line and the window.
// Every change is announced by a signal; the window redraws from them.

#include "cadhost/dxf/drawing.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

namespace quorvel::cadhost {

enum class Release { R14, R2000 };

struct SelectionSetData {
    int number = 0;
    QString name;
    std::vector<dxf::EntityId> entities;
};

struct HostDocument {
    HostDocument(int number, dxf::Drawing drawing) : number(number), drawing(std::move(drawing)) {}

    int number;            // never reused within one host
    int load = 1;          // counts content loads; paths of older content stop working
    QString filePath;      // absolute; empty while untitled
    QString untitledName;  // "Drawing<n>.dwg" for an untitled drawing
    dxf::Drawing drawing;
    std::vector<SelectionSetData> selectionSets;
    int nextSelectionSet = 1;

    QString name() const;
    bool isUntitled() const { return filePath.isEmpty(); }
    bool isSaved() const { return !drawing.isModified(); }
};

class HostModel : public QObject {
    Q_OBJECT
public:
    HostModel(Release release, QString templatePath, QObject* parent = nullptr);
    ~HostModel() override;

    Release release() const { return release_; }
    const QString& templatePath() const { return templatePath_; }
    // The window title: "CAD 主机 - [<active drawing>]".
    QString caption() const;

    int filedia() const { return filedia_; }
    void setFiledia(int value);

    // A new untitled document with a template's content; empty path = the host's own template.
    // It becomes the active document.
    HostDocument& addFromTemplate(const QString& templatePath);
    // Reads the file from disk into a new document, which becomes the active one. A file that
    // is open here with unsaved changes is refused: a second copy would fork those changes.
    HostDocument& openNew(const QString& path);
    // Reads the file from disk into an existing document, replacing its content. Unsaved
    // changes of that document are first written to a recovery copy, which is announced.
    HostDocument& openInto(int number, const QString& path);

    // Where recovery copies go: the user's data folder of the host.
    static QString recoveryFolder();
    // Atomic save to the document's own file; an untitled document raises SaveFailed.
    void save(int number);
    void saveAs(int number, const QString& path);
    // Optionally saves first; a failed save leaves the document open.
    void close(int number, bool saveChanges);

    HostDocument* find(int number);
    // Raises ObjectClosed for a document that is no longer open.
    HostDocument& document(int number);
    HostDocument* active();
    // Raises NoActiveDocument.
    HostDocument& activeOrThrow();
    void setActive(int number);
    const std::vector<std::unique_ptr<HostDocument>>& documents() const { return documents_; }
    bool hasUnsaved() const;

    // Called after every edit of a document's drawing, so that views and tabs follow.
    void markChanged(int number);

signals:
    void documentsChanged();
    void activeDocumentChanged();
    void documentChanged(int number);
    void filediaChanged(int value);
    // A line for the command history that no command produced.
    void notice(const QString& line);

private:
    dxf::Drawing readDrawing(const QString& path, bool asTemplate) const;
    HostDocument& adopt(std::unique_ptr<HostDocument> document);
    void refuseUnsavedCopy(const QString& path, int except);
    QString writeRecoveryCopy(const HostDocument& document);

    Release release_;
    QString templatePath_;
    int filedia_ = 1;
    int nextNumber_ = 1;
    int nextUntitled_ = 1;
    int activeNumber_ = 0;
    std::vector<std::unique_ptr<HostDocument>> documents_;
};

// "plan.dwg" -> the same text; a std::filesystem path that holds the file name's bytes.
std::filesystem::path toFsPath(const QString& path);

}  // namespace quorvel::cadhost
