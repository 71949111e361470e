#include "batch/rerun.h"

#include <cerrno>
#include <map>
#include <set>
#include <sstream>

#include "batch/files.h"
#include "batch/journal.h"
#include "batch/system.h"
#include "engine/textutil.h"
#include "textcodec/utf.h"

namespace quorvel::batch {

namespace fs = std::filesystem;

namespace {

std::string readJournalOf(const std::string& id) {
    if (!validRunId(id))
        throw FileError("运行编号不对");
    const int runs = openRunsFolder(false);
    int run = -1;
    try {
        run = openRunFolder(runs, id);
    } catch (...) {
        sys::closeHandle(runs);
        throw;
    }
    sys::closeHandle(runs);
    const int fd = sys::openReadAt(run, "journal.tsv");
    const int error = errno;
    sys::closeHandle(run);
    if (fd < 0)
        failWith("不能读取运行记录", error);
    try {
        std::string text = readOpenFile(fd, "journal.tsv");
        sys::closeHandle(fd);
        return text;
    } catch (...) {
        sys::closeHandle(fd);
        throw;
    }
}

bool usableDrawing(const fs::path& drawing) {
    return drawing.is_absolute() && !drawing.filename().empty() &&
           drawing.string().find('\0') == std::string::npos;
}

void addPair(Rerun& rerun, const std::vector<std::string>& fields) {
    if (fields.size() != 3 || fields[1].empty() || !textcodec::isValidUtf8(fields[1]) ||
        !textcodec::isValidUtf8(fields[2]))
        throw UsageError("运行记录中的查找替换内容有误");
    rerun.options.pairs.push_back({engine::fromUtf8(fields[1]), engine::fromUtf8(fields[2])});
}

}  // namespace

Rerun readRerun(const std::string& id) {
    std::string text;
    try {
        text = readJournalOf(id);
    } catch (const FileError& error) {
        throw UsageError("找不到运行编号为“" + id + "”的运行记录：" + error.what());
    }
    Rerun rerun;
    bool optionsSeen = false;
    std::vector<std::string> order;
    std::map<std::string, bool> leftAsItWas;  // of each failed drawing
    std::map<std::string, bool> savedByRun;   // noted saved and not undone
    std::istringstream lines(text);
    std::string line;
    if (!std::getline(lines, line) || line != "quorvel-batch-journal\t2")
        throw UsageError("运行“" + id + "”的运行记录不是本程序这个版本写的，不能重试");
    while (std::getline(lines, line)) {
        std::vector<std::string> fields = splitJournalLine(line);
        if (fields[0] == "options" && !optionsSeen) {
            optionsSeen = true;
            fields.erase(fields.begin());
            try {
                rerun.options = parseEditingArguments(fields);
            } catch (const UsageError&) {
                throw UsageError("运行“" + id + "”的运行记录中的选项有误，不能重试");
            }
        } else if (fields[0] == "pair") {
            addPair(rerun, fields);
        } else if (fields[0] == "failed" && fields.size() == 4 &&
                   usableDrawing(sys::pathFromUtf8(fields[1]))) {
            if (!leftAsItWas.count(fields[1]))
                order.push_back(fields[1]);
            leftAsItWas[fields[1]] = fields[3] == "1";
        } else if ((fields[0] == "saved" || fields[0] == "undone") && fields.size() >= 2) {
            savedByRun[fields[1]] = fields[0] == "saved";
        }
    }
    if (!optionsSeen || rerun.options.pairs.empty())
        throw UsageError("运行“" + id + "”的运行记录中没有运行选项（较早的版本不记录），不能重试");
    for (const std::string& drawing : order) {
        if (leftAsItWas[drawing] && !savedByRun[drawing])
            rerun.drawings.push_back(sys::pathFromUtf8(drawing).lexically_normal());
        else
            rerun.notes.push_back("不重试（运行中已保存过，没能恢复原图，再运行会再次替换）：" +
                                  drawing);
    }
    return rerun;
}

}  // namespace quorvel::batch
