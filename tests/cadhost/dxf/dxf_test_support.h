#pragma once
// Helpers of the drawing-engine tests: temporary folders, reading files, running ezdxf.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace quorvel::dxf::testing {

// A fresh empty folder, removed when the object goes.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& file);
void writeFile(const std::filesystem::path& file, const std::string& bytes);

// Runs a shell command; returns its exit status and standard output.
int runCommand(const std::string& command, std::string* output = nullptr);

bool ezdxfAvailable();
// The folder with the drawings ezdxf wrote for this test run (written once per process).
std::filesystem::path ezdxfDrawings();

// What ezdxf reads from a drawing.
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

}  // namespace quorvel::dxf::testing
