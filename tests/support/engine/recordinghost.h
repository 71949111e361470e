#pragma once
// An in-memory CAD host for tests. It keeps drawings "on disk" (files) and open documents,
// answers the automation interface, the connector and the window control, and writes every call
// into a journal. It can be told to lack a member (error 438) or to fail at any call.

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/automation.h"
#include "engine/services.h"

namespace quorvel::engine::testing {

struct TextRecord {
    std::u16string text;
    std::u16string layer = u"0";
    std::u16string type = u"TEXT";  // "MTEXT" for multi-line text
    double height = 2.5;
    std::u16string justification = u"L";
    int handle = 0;  // given by the host
};

using Drawing = std::vector<TextRecord>;

struct DocumentState {
    int id = 0;
    std::u16string path;  // empty for a document made from the template
    std::u16string templatePath;
    Drawing entities;
    std::set<std::u16string> selectionSetNames;
    bool closed = false;
    bool modified = false;
};

struct SelectCall {
    std::int32_t mode = 0;
    bool corner1Given = false;
    bool corner2Given = false;
    std::vector<std::int16_t> filterTypes;
    std::vector<FilterValue> filterValues;
};

class RecordingHost {
public:
    enum class Generation { R14, R2000 };

    explicit RecordingHost(Generation generation = Generation::R2000);
    ~RecordingHost();
    RecordingHost(const RecordingHost&) = delete;
    RecordingHost& operator=(const RecordingHost&) = delete;

    // Setup.
    void addFile(const std::u16string& path, Drawing drawing);
    // The member, e.g. "Document.SendCommand", raises 438 from now on.
    void lackMember(const std::string& member);
    // The occurrence-th call of the member (counted from 1, over the whole test) raises.
    void failAt(const std::string& member, int occurrence = 1,
                std::int32_t number = kErrorAutomation, std::u16string description = u"调用失败");

    bool running = false;           // attach succeeds only when the host runs
    bool installed = true;          // create succeeds only when installed
    bool refusesOpenTwice = false;  // Documents.Open fails for a file open already
    std::u16string createFailureDescription = u"ActiveX 部件不能创建对象";
    std::u16string caption = u"cad-host - [Drawing1.dwg]";
    std::u16string fullName = u"/opt/cadhost/cad-host";

    // The automation doubles.
    HostConnector& connector();
    WindowControl& windowControl();
    std::shared_ptr<Application> application();
    // Stamps of the files on the "disk": a link and its target are one file; a save changes it.
    FileStamps& fileStamps();

    // What happened. The journal may be shared with other doubles of a test.
    std::vector<std::string>& journal;
    std::map<std::u16string, Drawing> files;         // the "disk"
    std::map<std::u16string, std::u16string> links;  // another name -> the file it names
    std::vector<std::shared_ptr<DocumentState>> documents;
    std::shared_ptr<DocumentState> active;
    std::vector<std::u16string> commands;    // SendCommand texts, exactly
    std::vector<std::u16string> keystrokes;  // sendKeys texts, exactly
    std::vector<std::u16string> selectionSetNames;
    std::vector<SelectCall> selects;
    std::vector<std::u16string> savedPaths;
    std::vector<std::u16string> unknownCommands;
    int instancesStarted = 0;
    bool visible = false;
    int fileDialogs = 1;
    bool windowActivated = false;
    bool keysSwallowed = false;  // typed keys reach no command line (a dialog has the focus)

    // Internal: called by the doubles at every member. Records and raises as configured.
    void enter(const std::string& member, const std::u16string& argument = {},
               bool hasArgument = false);
    void runCommandLine(const std::u16string& text, char16_t fieldEnd);
    void saveActive();
    std::shared_ptr<DocumentState> openNew(const std::u16string& path, const Drawing& drawing,
                                           const std::u16string& templatePath);
    Drawing readFile(const std::u16string& path);
    std::u16string resolve(const std::u16string& path) const;
    int nextHandle = 1;

    explicit RecordingHost(std::vector<std::string>& sharedJournal,
                           Generation generation = Generation::R2000);

private:
    struct Failure {
        int occurrence;
        std::int32_t number;
        std::u16string description;
    };
    std::vector<std::string> ownJournal_;
    Generation generation_;
    std::set<std::string> lacking_;
    std::map<std::string, std::vector<Failure>> failures_;
    std::map<std::string, int> callCounts_;
    std::unique_ptr<HostConnector> connector_;
    std::unique_ptr<WindowControl> windowControl_;
    std::unique_ptr<FileStamps> fileStamps_;
    std::shared_ptr<Application> application_;
};

// UTF-8 for journals and messages, with a carriage return shown as "<CR>".
std::string journalText(const std::u16string& text);

}  // namespace quorvel::engine::testing
