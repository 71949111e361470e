#pragma once
// The CAD host as the engine sees it: the few automation objects and members the runs use, the
// way to reach a host, and the window services the older generation needs for its keystrokes.
//
// Every member may fail; a failure is raised as AutomationError. Implementations: the recording
// host for tests (tests/support/engine/recordinghost.h) and the D-Bus client on Linux. Objects are
// handed out as shared pointers because the host, not the caller, decides how long they live; an
// object whose entity was erased answers every further call with an error.
//
// Stable interface: other code implements these classes. Extend, don't change signatures.

#include <array>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace quorvel::engine {

// Error numbers the program tells apart.
inline constexpr std::int32_t kErrorInvalidCall = 5;           // e.g. no window with that title
inline constexpr std::int32_t kErrorOverflow = 6;              // 16-bit position overflow
inline constexpr std::int32_t kErrorFileAlreadyOpen = 55;      // open with unsaved changes
inline constexpr std::int32_t kErrorObjectNotSet = 91;         // no host object to call
inline constexpr std::int32_t kErrorMemberNotSupported = 438;  // the host lacks the member
inline constexpr std::int32_t kErrorAutomation = 440;          // any other host failure
// The host kept rejecting calls as busy (RPC_E_CALL_REJECTED) for longer than calls wait.
inline constexpr std::int32_t kErrorHostBusy = static_cast<std::int32_t>(0x80010001);

// The one error type of the automation layer: a number and a description for the user.
class AutomationError : public std::exception {
public:
    AutomationError(std::int32_t number, std::u16string description);

    std::int32_t number() const noexcept { return number_; }
    const std::u16string& description() const noexcept { return description_; }
    // "automation error <number>: <description as UTF-8>", for logs and test output.
    const char* what() const noexcept override { return what_.c_str(); }

private:
    std::int32_t number_;
    std::u16string description_;
    std::string what_;
};

// A filter value of a selection: text (entity type, layer name, ...) or a number.
using FilterValue = std::variant<std::u16string, std::int16_t, std::int32_t, double>;

// A point in drawing coordinates; the runs always leave both corners out.
using Point3 = std::array<double, 3>;

// Selection mode "every entity of the drawing".
inline constexpr std::int32_t kSelectAll = 5;

// An object the runs only keep (model space, paper space, utility).
class AutomationObject {
public:
    virtual ~AutomationObject() = default;
};

class TextEntity {
public:
    virtual ~TextEntity() = default;
    virtual std::u16string TextString() = 0;
    virtual void setTextString(const std::u16string& text) = 0;
    // A duplicate in the same space; it becomes the drawing's last-created object.
    virtual std::shared_ptr<TextEntity> Copy() = 0;
    virtual void erase() = 0;
    virtual void setHeight(double height) = 0;
};

class SelectionSet {
public:
    virtual ~SelectionSet() = default;
    // filterTypes and filterValues are parallel: group code and value of each condition.
    virtual void Select(std::int32_t mode, const std::optional<Point3>& corner1,
                        const std::optional<Point3>& corner2,
                        const std::vector<std::int16_t>& filterTypes,
                        const std::vector<FilterValue>& filterValues) = 0;
    // The selected entities in the set's own order.
    virtual std::vector<std::shared_ptr<TextEntity>> entities() = 0;
};

class SelectionSets {
public:
    virtual ~SelectionSets() = default;
    // A new, empty selection set of that name.
    virtual std::shared_ptr<SelectionSet> Add(const std::u16string& name) = 0;
};

class Document {
public:
    virtual ~Document() = default;
    // The older generation's way: reads the drawing into this document.
    virtual std::shared_ptr<Document> Open(const std::u16string& path) = 0;
    virtual std::shared_ptr<AutomationObject> ModelSpace() = 0;
    virtual std::shared_ptr<AutomationObject> PaperSpace() = 0;
    virtual std::shared_ptr<AutomationObject> Utility() = 0;
    // Command-line text; fields end with a carriage return.
    virtual void SendCommand(const std::u16string& text) = 0;
    virtual std::shared_ptr<engine::SelectionSets> SelectionSets() = 0;
    virtual void Close(bool saveChanges) = 0;
    // The drawing's file, empty while untitled; whether it has no unsaved changes.
    virtual std::u16string FullName() {
        throw AutomationError(kErrorMemberNotSupported, u"对象不支持该属性或方法");
    }
    virtual bool Saved() {
        throw AutomationError(kErrorMemberNotSupported, u"对象不支持该属性或方法");
    }
};

class Documents {
public:
    virtual ~Documents() = default;
    // A new document made from a template drawing.
    virtual std::shared_ptr<Document> Add(const std::u16string& templatePath) = 0;
    // Opens the drawing as a new document, which becomes the active one. Some hosts refuse a
    // drawing that is open already.
    virtual std::shared_ptr<Document> Open(const std::u16string& path) = 0;
    // Every open document, as a For Each sees them.
    virtual std::vector<std::shared_ptr<Document>> items() {
        throw AutomationError(kErrorMemberNotSupported, u"对象不支持该属性或方法");
    }
};

class Application {
public:
    virtual ~Application() = default;
    virtual void setVisible(bool visible) = 0;
    // The host window's title.
    virtual std::u16string Caption() = 0;
    // Full path of the host's executable.
    virtual std::u16string FullName() = 0;
    virtual std::shared_ptr<Document> ActiveDocument() = 0;
    virtual std::shared_ptr<engine::Documents> Documents() = 0;
};

// Reaches a CAD host by its ProgID (on Linux: its D-Bus name).
class HostConnector {
public:
    virtual ~HostConnector() = default;
    // A host that is already running; raises when there is none.
    virtual std::shared_ptr<Application> attachRunning(const std::u16string& progId) = 0;
    // Starts a new host; raises with a description for the user when it cannot.
    virtual std::shared_ptr<Application> create(const std::u16string& progId) = 0;
};

// Window services used to drive the older generation through its command line.
class WindowControl {
public:
    virtual ~WindowControl() = default;
    // Brings the window with that title to the foreground; raises when there is none.
    virtual void activateByTitle(const std::u16string& title) = 0;
    // Types keys into the foreground window ("~" is Enter). With wait, returns once they have
    // been processed.
    virtual void sendKeys(const std::u16string& keys, bool wait) = 0;
};

}  // namespace quorvel::engine
