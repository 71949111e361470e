#pragma once
// What the runs need from the rest of the program besides the CAD host. The main window, the
// drawing list, the progress window and the platform implement these; tests use doubles.

#include <cstdint>
#include <optional>
#include <string>

namespace quorvel::engine {

// Value of a tick box: only 1 counts as ticked (2 is greyed).
inline constexpr int kTicked = 1;

// The option controls of the main window, read at the moment each value is needed.
class ReplaceOptions {
public:
    virtual ~ReplaceOptions() = default;
    virtual std::u16string searchText() const = 0;         // Text1
    virtual std::u16string replacementText() const = 0;    // Text2
    virtual std::u16string layerName() const = 0;          // Text3
    virtual std::u16string justificationCode() const = 0;  // Text4
    virtual std::u16string heightText() const = 0;         // Text5
    virtual int layerTick() const = 0;                     // Check1
    virtual int exactMatchTick() const = 0;                // Check2
    virtual int justificationTick() const = 0;             // Check3
    virtual int heightTick() const = 0;                    // Check4
    virtual bool newerGeneration() const = 0;              // Option2 ("For R2000+") chosen
};

// The drawing list, the runs' work queue.
class DrawingList {
public:
    virtual ~DrawingList() = default;
    virtual int count() const = 0;
    virtual std::u16string text(int index) const = 0;
    virtual void removeAt(int index) = 0;
    virtual void removeAll() = 0;
};

// The progress window of a batch run.
class ProgressWindow {
public:
    virtual ~ProgressWindow() = default;
    virtual void show() = 0;
    virtual void setLabel1(const std::u16string& text) = 0;  // progress line
    virtual void setLabel3(const std::u16string& text) = 0;  // start time
    virtual void setLabel5(const std::u16string& text) = 0;  // end time
    virtual void repaintNow() = 0;
    // The run's handler has ended, normally or after its error message.
    virtual void runEnded() = 0;
};

class MainWindowVisibility {
public:
    virtual ~MainWindowVisibility() = default;
    virtual void hideMainWindow() = 0;
};

enum class MessageIcon { None, Stop };

// One-button (OK) message boxes.
class Messages {
public:
    virtual ~Messages() = default;
    virtual void showMessage(const std::u16string& text, const std::u16string& caption,
                             MessageIcon icon) = 0;
    // The same box offering more text on request (what failed, and where). Boxes that cannot
    // show it show the message alone.
    virtual void showDetailedMessage(const std::u16string& text, const std::u16string& caption,
                                     MessageIcon icon, const std::u16string& details) {
        (void)details;
        showMessage(text, caption, icon);
    }
};

class Clock {
public:
    virtual ~Clock() = default;
    // The time of day in the user's locale format.
    virtual std::u16string timeOfDayText() = 0;
};

class RandomNumbers {
public:
    virtual ~RandomNumbers() = default;
    virtual void reseedFromTimer() = 0;
    virtual std::uint32_t next() = 0;
};

// Writes the command script: the text in code page 936, no line end, replacing any old file.
// Raises AutomationError when the file cannot be written.
class ScriptFileWriter {
public:
    virtual ~ScriptFileWriter() = default;
    virtual void writeScript(const std::u16string& path, const std::u16string& text) = 0;
};

}  // namespace quorvel::engine

namespace quorvel::engine {

// What a run can see of a drawing's file from outside the host: which file it is (device and
// inode, whatever the path's spelling or links) and whether it was rewritten.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;

    bool sameFile(const FileStamp& other) const {
        return device == other.device && inode == other.inode;
    }
    bool operator==(const FileStamp&) const = default;
};

class FileStamps {
public:
    virtual ~FileStamps() = default;
    // Nothing when the path names no file that can be looked at.
    virtual std::optional<FileStamp> stamp(const std::u16string& path) = 0;
};

// Keeps two runs from driving one host at the same time. Held for the whole run.
class RunLock {
public:
    virtual ~RunLock() = default;
    // False when another run holds the host (or the lock cannot be taken at all).
    virtual bool tryLock() = 0;
    virtual void unlock() = 0;
};

}  // namespace quorvel::engine
