#pragma once
// The tests' independent view of drawings: tests/support/ezdxf_tool.py (ezdxf) writes the test
// drawings and reads results back, so nothing is checked only against our own reader. Plain
// standard C++, for the Qt-free tests as much as for the others.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace quorvel::testsupport {

// A fresh empty folder, removed when the object goes.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& file);
void writeFile(const std::filesystem::path& file, const std::string& bytes);

// Runs a shell command; returns its exit status and standard output.
int runCommand(const std::string& command, std::string* output = nullptr);

bool ezdxfAvailable();

// Runs the script with these arguments; false when it fails. Its errors go to the test's own
// standard error, its output to `output`.
bool runEzdxf(const std::vector<std::string>& arguments, std::string* output = nullptr);

// One drawing of a kind the script knows (see its usage); throws when ezdxf fails.
void writeDrawing(const std::string& kind, const std::filesystem::path& path);

// The folder with the drawing-engine test drawings (written once per process).
std::filesystem::path ezdxfDrawings();
// The drawings with every kind of text, for the batch tool (written once per process).
std::filesystem::path ezdxfKindDrawings();

// One entity of a layout; text, height and alignment of TEXT, text of MTEXT.
struct DrawingEntity {
    std::string space;  // "*Model_Space" or the paper layout's name
    std::string type, handle, layer, text;
    double height = 0;
    int halign = 0, valign = 0;
};
// Every layout's entities, in drawing order.
std::vector<DrawingEntity> drawingEntities(const std::filesystem::path& file);
// Model space only, TEXT only.
std::vector<DrawingEntity> modelSpaceTexts(const std::filesystem::path& file);
// The TEXT strings of every layout, in drawing order.
std::vector<std::string> textStrings(const std::filesystem::path& file);

// Every text of every kind (TEXT, MTEXT, ATTDEF, ATTRIB, DIMENSION), keyed by handle; the key
// "AUDIT" holds the number of audit errors in `text`. Newlines are shown as "\n".
struct KindText {
    std::string kind, block, text;
    bool operator==(const KindText&) const = default;
};
std::map<std::string, KindText> textsOfEveryKind(const std::filesystem::path& file);

// A drawing in detail, as the engine tests check it.
struct TextSeen {
    std::string handle, block, layer, text;
    double height = 0;
    int horizontal = 0, vertical = 0;
    double x = 0, y = 0;
    bool hasAlignment = false;
    double alignX = 0, alignY = 0;
};
struct EzdxfView {
    int auditErrors = -1;
    std::vector<std::string> auditMessages;
    std::map<std::string, std::string> entities;      // handle -> type, block and attributes
    std::map<std::string, TextSeen> texts;            // handle -> text
    std::map<std::string, std::string> groups;        // name -> member handles
    std::map<std::string, std::string> hatchSources;  // hatch handle -> boundary object handles
};
EzdxfView readWithEzdxf(const std::filesystem::path& file);

}  // namespace quorvel::testsupport
