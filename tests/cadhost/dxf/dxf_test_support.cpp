#include "dxf_test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quorvel::dxf::testing {

TemporaryFolder::TemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "cadhost-dxf-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code error;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, error);
    std::filesystem::remove_all(path_, error);
}

std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary);
    out << bytes;
}

int runCommand(const std::string& command, std::string* output) {
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    std::string text;
    char buffer[4096];
    std::size_t read = 0;
    while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, read);
    const int status = ::pclose(pipe);
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {
const std::string kPython = "/usr/bin/python3";
const std::string kScript = CADHOST_DXF_TEST_SCRIPT;

std::vector<std::string> split(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, separator))
        fields.push_back(field);
    if (!line.empty() && line.back() == separator)
        fields.emplace_back();
    return fields;
}
}  // namespace

bool ezdxfAvailable() {
    static const bool available = runCommand(kPython + " -c 'import ezdxf' 2>/dev/null") == 0;
    return available;
}

std::filesystem::path ezdxfDrawings() {
    static TemporaryFolder folder;
    static const bool made =
        runCommand(kPython + " '" + kScript + "' make '" + folder.path().string() + "'") == 0;
    if (!made)
        throw std::runtime_error("ezdxf could not write the test drawings");
    return folder.path();
}

EzdxfView readWithEzdxf(const std::filesystem::path& file) {
    std::string output;
    if (runCommand(kPython + " '" + kScript + "' dump '" + file.string() + "' 2>&1", &output) !=
        0) {
        throw std::runtime_error("ezdxf could not read " + file.string() + ": " + output);
    }
    EzdxfView view;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        const auto fields = split(line, '\t');
        if (fields.empty())
            continue;
        if (fields[0] == "AUDIT" && fields.size() >= 2) {
            view.auditErrors = std::stoi(fields[1]);
        } else if (fields[0] == "AUDITERROR" && fields.size() >= 2) {
            view.auditMessages.push_back(fields[1]);
        } else if (fields[0] == "ENTITY" && fields.size() >= 5) {
            view.entities[fields[1]] = fields[2] + " " + fields[3] + " " + fields[4];
        } else if (fields[0] == "TEXT" && fields.size() >= 12) {
            TextSeen text;
            text.handle = fields[1];
            text.block = fields[2];
            text.layer = fields[3];
            text.height = std::stod(fields[4]);
            text.horizontal = std::stoi(fields[5]);
            text.vertical = std::stoi(fields[6]);
            text.x = std::stod(fields[7]);
            text.y = std::stod(fields[8]);
            text.hasAlignment = !fields[9].empty();
            if (text.hasAlignment) {
                text.alignX = std::stod(fields[9]);
                text.alignY = std::stod(fields[10]);
            }
            text.text = fields[11];
            view.texts[text.handle] = text;
        } else if (fields[0] == "GROUP" && fields.size() >= 3) {
            view.groups[fields[1]] = fields[2];
        } else if (fields[0] == "HATCH" && fields.size() >= 3) {
            view.hatchSources[fields[1]] = fields[2];
        }
    }
    return view;
}

}  // namespace quorvel::dxf::testing
