#include "tests/support/ezdxf_reference.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quorvel::testsupport {

namespace {

const std::string kPython = "/usr/bin/python3";

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

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

// The script's output, one list of tab-separated fields per line; throws when it fails.
std::vector<std::vector<std::string>> scriptLines(const std::vector<std::string>& arguments) {
    std::string output;
    if (!runEzdxf(arguments, &output))
        throw std::runtime_error("ezdxf failed on " + arguments.at(1) + " (its errors above)");
    std::vector<std::vector<std::string>> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);)
        lines.push_back(split(line, '\t'));
    return lines;
}

std::string unescaped(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[++i];
            out += next == 't' ? '\t' : next == 'n' ? '\n' : next;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::filesystem::path madeOnce(TemporaryFolder& folder, const char* command) {
    if (!runEzdxf({command, folder.path().string()}))
        throw std::runtime_error(std::string("ezdxf could not write the test drawings: ") +
                                 command);
    return folder.path();
}

}  // namespace

TemporaryFolder::TemporaryFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-test-XXXXXX").string();
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

bool ezdxfAvailable() {
    static const bool available = runCommand(kPython + " -c 'import ezdxf' 2>/dev/null") == 0;
    return available;
}

bool runEzdxf(const std::vector<std::string>& arguments, std::string* output) {
    std::string command = kPython + " " + quoted(QUORVEL_EZDXF_TOOL);
    for (const std::string& argument : arguments)
        command += " " + quoted(argument);
    return runCommand(command, output) == 0;
}

void writeDrawing(const std::string& kind, const std::filesystem::path& path) {
    if (!runEzdxf({"write", kind, path.string()}))
        throw std::runtime_error("ezdxf could not write a " + kind + " drawing (its errors above)");
}

std::filesystem::path ezdxfDrawings() {
    static TemporaryFolder folder;
    static const std::filesystem::path made = madeOnce(folder, "make");
    return made;
}

std::filesystem::path ezdxfKindDrawings() {
    static TemporaryFolder folder;
    static const std::filesystem::path made = madeOnce(folder, "make-kinds");
    return made;
}

std::vector<DrawingEntity> drawingEntities(const std::filesystem::path& file) {
    std::vector<DrawingEntity> entities;
    for (const auto& fields : scriptLines({"entities", file.string()})) {
        if (fields.size() < 9 || fields[0] != "ENTITY")
            continue;
        DrawingEntity entity;
        entity.space = fields[1];
        entity.type = fields[2];
        entity.handle = fields[3];
        entity.layer = fields[4];
        entity.height = std::stod(fields[5]);
        entity.halign = std::stoi(fields[6]);
        entity.valign = std::stoi(fields[7]);
        entity.text = unescaped(fields[8]);
        entities.push_back(entity);
    }
    return entities;
}

std::vector<DrawingEntity> modelSpaceTexts(const std::filesystem::path& file) {
    std::vector<DrawingEntity> texts;
    for (DrawingEntity& entity : drawingEntities(file)) {
        if (entity.space == "*Model_Space" && entity.type == "TEXT")
            texts.push_back(std::move(entity));
    }
    return texts;
}

std::vector<std::string> textStrings(const std::filesystem::path& file) {
    std::vector<std::string> texts;
    for (DrawingEntity& entity : drawingEntities(file)) {
        if (entity.type == "TEXT")
            texts.push_back(std::move(entity.text));
    }
    return texts;
}

std::map<std::string, KindText> textsOfEveryKind(const std::filesystem::path& file) {
    std::map<std::string, KindText> texts;
    for (const auto& fields : scriptLines({"texts", file.string()})) {
        if (fields.size() == 2 && fields[0] == "AUDIT")
            texts["AUDIT"] = {"", "", fields[1]};
        if (fields.size() == 5)
            texts[fields[2]] = {fields[1], fields[3], fields[4]};
        else if (fields.size() == 4)
            texts[fields[2]] = {fields[1], fields[3], ""};
    }
    return texts;
}

EzdxfView readWithEzdxf(const std::filesystem::path& file) {
    EzdxfView view;
    for (const auto& fields : scriptLines({"dump", file.string()})) {
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

}  // namespace quorvel::testsupport
