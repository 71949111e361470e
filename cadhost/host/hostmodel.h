#pragma once
// cad-host's face of the host core's model: every change is announced by a signal, so the window
// redraws from them; paths come and go as QString.

#include "cadhost/core/hostmodel.h"

#include <QObject>
#include <QString>

#include <filesystem>

namespace quorvel::cadhost {

using core::Release;
using HostDocument = core::Document;
using SelectionSetData = core::SelectionSet;

class HostModel : public QObject {
    Q_OBJECT
public:
    HostModel(Release release, const QString& templatePath, QObject* parent = nullptr);
    ~HostModel() override;

    core::HostModel& core() { return core_; }

    Release release() const { return core_.release(); }
    QString caption() const { return QString::fromStdString(core_.caption()); }
    int filedia() const { return core_.filedia(); }
    void setFiledia(int value) { core_.setFiledia(value); }

    // An empty path means the host's own template.
    HostDocument& addFromTemplate(const QString& templatePath);
    HostDocument& openNew(const QString& path);
    HostDocument& openInto(int number, const QString& path);
    void saveAs(int number, const QString& path);
    void close(int number, bool saveChanges) { core_.close(number, saveChanges); }

    HostDocument* find(int number) { return core_.find(number); }
    HostDocument& document(int number) { return core_.document(number); }
    HostDocument* active() { return core_.active(); }
    HostDocument& activeOrThrow() { return core_.activeOrThrow(); }
    void setActive(int number) { core_.setActive(number); }
    const auto& documents() const { return core_.documents(); }
    bool hasUnsaved() const { return core_.hasUnsaved(); }
    void markChanged(int number) { core_.markChanged(number); }

signals:
    void documentsChanged();
    void activeDocumentChanged();
    void documentChanged(int number);
    void filediaChanged(int value);
    // A line for the command history that no command produced.
    void notice(const QString& line);

private:
    // Turns the core's announcements into this object's signals.
    class Relay : public core::ModelObserver {
    public:
        explicit Relay(HostModel& model) : model_(model) {}
        void documentsChanged() override { emit model_.documentsChanged(); }
        void activeDocumentChanged() override { emit model_.activeDocumentChanged(); }
        void documentChanged(int number) override { emit model_.documentChanged(number); }
        void filediaChanged(int value) override { emit model_.filediaChanged(value); }
        void notice(const std::string& line) override {
            emit model_.notice(QString::fromStdString(line));
        }

    private:
        HostModel& model_;
    };

    Relay relay_{*this};
    core::HostModel core_;
};

// A path as the file system has it, and back.
std::filesystem::path toFsPath(const QString& path);
QString fromFsPath(const std::filesystem::path& path);
// The document's file, or its name while untitled.
QString fileOrName(const HostDocument& document);

}  // namespace quorvel::cadhost
