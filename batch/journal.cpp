#include "batch/journal.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <map>
#include <random>
#include <sstream>

#include "batch/files.h"
#include "batch/sha256.h"

namespace quorvel::batch {

namespace fs = std::filesystem;

namespace {

constexpr const char* kJournalName = "journal.tsv";

std::string escapeField(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::vector<std::string> splitLine(const std::string& line) {
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c == '\\' && i + 1 < line.size()) {
            const char next = line[++i];
            fields.back() += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::string timestamp(const char* format) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[64];
    std::strftime(text, sizeof text, format, &local);
    return text;
}

bool validRunId(const std::string& id) {
    if (id.empty() || id.size() > 64)
        return false;
    for (const char c : id) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-')
            return false;
    }
    return true;
}

}  // namespace

fs::path runsFolder() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/')
        return fs::path(data) / "quorvel" / "runs";
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : "/tmp") / ".local" / "share" / "quorvel" / "runs";
}

Journal Journal::create(const std::vector<std::string>& arguments) {
    const fs::path runs = runsFolder();
    std::error_code error;
    fs::create_directories(runs, error);
    if (error)
        throw FileError("不能建立运行记录文件夹“" + runs.string() + "”：" + error.message());
    std::random_device random;
    Journal journal;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[8];
        std::snprintf(suffix, sizeof suffix, "%04x", random() & 0xFFFF);
        const std::string id = timestamp("%Y%m%d-%H%M%S-") + suffix;
        if (::mkdir((runs / id).c_str(), 0700) == 0) {
            journal.id_ = id;
            journal.folder_ = runs / id;
            break;
        }
        if (errno != EEXIST)
            throw FileError("不能建立运行记录文件夹“" + (runs / id).string() + "”");
    }
    if (journal.id_.empty())
        throw FileError("不能建立运行记录文件夹");
    fs::create_directories(journal.folder_ / "backups", error);
    std::string command;
    for (const std::string& argument : arguments)
        command += (command.empty() ? "" : " ") + argument;
    journal.append("quorvel-batch-journal\t1");
    journal.append("started\t" + timestamp("%Y-%m-%d %H:%M:%S"));
    journal.append("command\t" + escapeField(command));
    return journal;
}

void Journal::append(const std::string& line) {
    appendDurably(folder_ / kJournalName, line + "\n");
}

fs::path Journal::keepOriginal(const fs::path& drawing, const std::string& bytes) {
    unsigned number = 0;
    {
        std::lock_guard lock(mutex_);
        number = ++backups_;
    }
    const fs::path backup =
        folder_ / "backups" / (std::to_string(number) + "-" + drawing.filename().string());
    writeFileAtomically(backup, bytes);
    return backup;
}

void Journal::recordSaved(const fs::path& drawing, const std::string& checksumBefore,
                          const std::string& checksumAfter, const fs::path& backup) {
    std::lock_guard lock(mutex_);
    append("saved\t" + escapeField(drawing.string()) + "\t" + checksumBefore + "\t" +
           checksumAfter + "\t" + escapeField(backup.string()));
}

int undoRun(const std::string& id, bool force, std::ostream& out) {
    const fs::path folder = runsFolder() / id;
    if (!validRunId(id) || !fs::is_regular_file(folder / kJournalName)) {
        out << "找不到运行编号为“" << id << "”的运行记录（" << runsFolder().string() << "）\n";
        return -1;
    }
    struct Saved {
        std::string before, after;
        fs::path backup;
        bool undone = false;
    };
    std::vector<std::string> order;
    std::map<std::string, Saved> saved;
    std::istringstream journal(readWholeFile(folder / kJournalName));
    std::string line;
    while (std::getline(journal, line)) {
        const std::vector<std::string> fields = splitLine(line);
        if (fields[0] == "saved" && fields.size() >= 5) {
            if (!saved.count(fields[1]))
                order.push_back(fields[1]);
            saved[fields[1]] = Saved{fields[2], fields[3], fields[4], false};
        } else if (fields[0] == "undone" && fields.size() >= 2 && saved.count(fields[1])) {
            saved[fields[1]].undone = true;
        }
    }
    int failed = 0;
    for (const std::string& drawing : order) {
        const Saved& entry = saved[drawing];
        const auto report = [&](const std::string& what) {
            out << what << "：" << drawing << "\n";
        };
        try {
            std::error_code error;
            const bool present = fs::exists(drawing, error);
            const std::string current = present ? sha256Hex(readWholeFile(drawing)) : "";
            if (current == entry.before) {
                report(entry.undone ? "已经恢复过" : "与原图相同，无需恢复");
                continue;
            }
            if (current != entry.after && !force) {
                report(present ? "失败（运行之后图形又被修改过；确要恢复请加 --force）"
                               : "失败（图形已不存在；确要恢复请加 --force）");
                ++failed;
                continue;
            }
            const std::string original = readWholeFile(entry.backup);
            if (sha256Hex(original) != entry.before) {
                report("失败（备份“" + entry.backup.string() + "”已损坏）");
                ++failed;
                continue;
            }
            writeFileAtomically(drawing, original);
            if (sha256Hex(readWholeFile(drawing)) != entry.before) {
                report("失败（写回后核对不一致）");
                ++failed;
                continue;
            }
            appendDurably(folder / kJournalName, "undone\t" + escapeField(drawing) + "\t" +
                                                     timestamp("%Y-%m-%d %H:%M:%S") + "\n");
            report("已恢复");
        } catch (const std::exception& error) {
            report(std::string("失败（") + error.what() + "）");
            ++failed;
        }
    }
    out << "恢复完成：图形 " << order.size() << " 个，失败 " << failed << " 个\n";
    return failed;
}

}  // namespace quorvel::batch
