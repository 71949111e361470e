#include "batch/targets.h"

#include <algorithm>
#include <set>

#include "batch/files.h"
#include "batch/options.h"
#include "batch/system.h"
#include "drawinglist/listfile.h"
#include "engine/textutil.h"

namespace quorvel::batch {

namespace fs = std::filesystem;

namespace {

bool isDrawingName(const fs::path& file) {
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".dxf" || extension == ".dwg";
}

using Visited = std::set<std::pair<std::uint64_t, std::uint64_t>>;

// Each folder once, by device and inode: links back up the tree (a -> .) end there.
void addFolder(const fs::path& folder, bool recursive, Visited& visited,
               std::vector<fs::path>& out) {
    FileStamp status;
    if (!sys::stampOfPath(folder, status) || !visited.emplace(status.device, status.inode).second)
        return;
    std::vector<fs::path> files;
    std::vector<fs::path> folders;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        std::error_code kindError;
        if (entry.is_directory(kindError)) {
            if (recursive)
                folders.push_back(entry.path());
        } else if (isDrawingName(entry.path())) {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    out.insert(out.end(), files.begin(), files.end());
    for (const fs::path& sub : folders)
        addFolder(sub, recursive, visited, out);
}

void addPath(const fs::path& path, bool recursive, Visited& visited, std::vector<fs::path>& out) {
    std::error_code error;
    if (fs::is_directory(path, error))
        addFolder(path, recursive, visited, out);
    else
        out.push_back(path);
}

}  // namespace

std::vector<fs::path> expandTargets(const std::vector<std::string>& paths, bool recursive) {
    std::vector<fs::path> found;
    Visited visited;
    for (const std::string& path : paths) {
        if (path.size() > 1 && path[0] == '@') {
            std::string bytes;
            try {
                bytes = readWholeFile(sys::pathFromUtf8(path.substr(1)));
            } catch (const FileError& error) {
                throw UsageError(std::string("列表文件：") + error.what());
            }
            for (const std::u16string& entry : drawinglist::decodeListFile(bytes)) {
                const std::u16string trimmed = engine::trimSpaces(entry);
                if (!trimmed.empty())
                    addPath(sys::pathFromUtf8(engine::toUtf8(trimmed)), recursive, visited, found);
            }
        } else {
            addPath(sys::pathFromUtf8(path), recursive, visited, found);
        }
    }
    // One run never changes a drawing twice, however often it is named: by name, through a
    // link or as another hard link of the same file.
    std::vector<fs::path> unique;
    std::set<fs::path> seenNames;
    Visited seenFiles;
    for (const fs::path& path : found) {
        FileStamp status;
        std::error_code error;
        const fs::path key = fs::weakly_canonical(path, error);
        const bool fresh = sys::stampOfPath(path, status)
                               ? seenFiles.emplace(status.device, status.inode).second
                               : seenNames.insert(error ? path : key).second;
        if (fresh)
            unique.push_back(path);
    }
    return unique;
}

}  // namespace quorvel::batch
