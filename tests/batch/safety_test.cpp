// quorvel-batch against a hostile folder: planted links, other users' files, concurrent saves,
// special files, and a journal that cannot be written.
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <sstream>
#include <vector>

#include "batch/files.h"
#include "tests/batch/batchrun.h"

namespace quorvel::testsupport {
namespace {

namespace fs = std::filesystem;

bool isRoot() {
    return ::geteuid() == 0;
}

struct stat statusOf(const fs::path& file) {
    struct stat status {};
    ::lstat(file.c_str(), &status);
    return status;
}

// Points the journal's backup of `drawing` at `backup`.
void plantBackup(const fs::path& journal, const fs::path& drawing, const fs::path& backup) {
    std::istringstream lines(readFile(journal));
    std::string out;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("saved\t" + drawing.string() + "\t", 0) == 0) {
            std::vector<std::string> fields;
            std::istringstream cells(line);
            for (std::string cell; std::getline(cells, cell, '\t');)
                fields.push_back(cell);
            fields[4] = backup.string();
            line.clear();
            for (const std::string& field : fields)
                line += (line.empty() ? "" : "\t") + field;
        }
        out += line + "\n";
    }
    writeFile(journal, out);
}

TEST_F(BatchRunTest, UndoPutsBackOnlyTheFilesTheRunSavedWithTheirBakAndOwner) {
    const fs::path victim = folder_.path() / "victim.txt";
    writeFile(victim, "secret\n");
    writeFile(drawings_ / "r12.bak", "an older backup\n");
    fs::copy_file(drawings_ / "r2018_utf8.dxf", drawings_ / "other.dxf");
    fs::copy_file(originals_ / "r2018_utf8.dxf", drawings_ / "plan.dxf");
    fs::copy_file(originals_ / "r12.dxf", drawings_ / "plan.dwg");
    if (isRoot()) {
        ASSERT_EQ(::chown((drawings_ / "r12.dxf").c_str(), 4321, 4321), 0);
    }
    std::string output;
    ASSERT_EQ(
        run("--find OLD --replace X --kinds all --jobs 2 " + quoted(drawings_.string()), &output),
        0)
        << output;
    const std::string id = runId(output);
    // plan.dwg and plan.dxf each keep their own backup.
    std::set<std::string> baks;
    for (const char* bak : {"plan.bak", "plan.dxf.bak", "plan.dwg.bak"}) {
        if (fs::exists(drawings_ / bak))
            baks.insert(readFile(drawings_ / bak));
    }
    EXPECT_EQ(baks, (std::set<std::string>{readFile(originals_ / "r2018_utf8.dxf"),
                                           readFile(originals_ / "r12.dxf")}));
    EXPECT_EQ(readFile(drawings_ / "r12.bak"), readFile(originals_ / "r12.dxf"));

    // A dry run of the undo changes nothing.
    const std::string saved = readFile(drawings_ / "r12.dxf");
    EXPECT_EQ(run("--undo " + id + " --dry-run", &output), 0) << output;
    EXPECT_EQ(readFile(drawings_ / "r12.dxf"), saved);
    EXPECT_TRUE(fs::exists(drawings_ / "plan.bak"));

    // A link planted in a drawing's place, another file in another's, a backup from elsewhere.
    fs::remove(drawings_ / "r2018_utf8.dxf");
    fs::create_symlink(victim, drawings_ / "r2018_utf8.dxf");
    fs::remove(drawings_ / "other.dxf");
    writeFile(drawings_ / "other.dxf", "a colleague's drawing\n");
    const fs::path elsewhere = folder_.path() / "elsewhere.dxf";
    fs::copy_file(originals_ / "r2000_gbk.dxf", elsewhere);
    plantBackup(runFolder(id) / "journal.tsv", drawings_ / "r2000_gbk.dxf", elsewhere);

    EXPECT_EQ(run("--undo " + id + " --force", &output), 1) << output;
    EXPECT_EQ(readFile(victim), "secret\n");
    EXPECT_TRUE(fs::is_symlink(drawings_ / "r2018_utf8.dxf"));
    EXPECT_EQ(readFile(drawings_ / "other.dxf"), "a colleague's drawing\n");
    EXPECT_FALSE(sameAsOriginal("r2000_gbk.dxf"));
    EXPECT_TRUE(sameAsOriginal("r12.dxf"));
    EXPECT_EQ(readFile(drawings_ / "r12.bak"), "an older backup\n");
    for (const char* bak : {"plan.bak", "plan.dxf.bak", "plan.dwg.bak"})
        EXPECT_FALSE(fs::exists(drawings_ / bak)) << bak;
    if (isRoot()) {
        EXPECT_EQ(statusOf(drawings_ / "r12.dxf").st_uid, 4321u);
        EXPECT_EQ(statusOf(drawings_ / "r12.dxf").st_gid, 4321u);
    }
}

TEST_F(BatchRunTest, JournalAndReportGoOnlyWhereTheUserSaid) {
    const fs::path drawing = drawings_ / "r2018_utf8.dxf";
    const std::string arguments = "--find single --replace X " + quoted(drawing.string());
    std::string output;
    // No data folder of the user's own: nothing is done.
    EXPECT_EQ(runCommand("env -u HOME -u XDG_DATA_HOME " + std::string(QUORVEL_BATCH_PROGRAM) +
                             " " + arguments + " 2>&1",
                         &output),
              1)
        << output;
    fs::create_directories(folder_.path() / "data" / "quorvel");
    fs::create_directories(folder_.path() / "planted");
    fs::create_symlink(folder_.path() / "planted", folder_.path() / "data" / "quorvel" / "runs");
    EXPECT_EQ(run(arguments, &output), 1) << output;
    EXPECT_TRUE(sameAsOriginal("r2018_utf8.dxf"));
    EXPECT_TRUE(fs::is_empty(folder_.path() / "planted"));
    fs::remove(folder_.path() / "data" / "quorvel" / "runs");

    // The report replaces a link planted at its name; formulas stay text.
    const fs::path victim = folder_.path() / "victim.txt";
    writeFile(victim, "secret\n");
    const fs::path report = folder_.path() / "report.csv";
    fs::create_symlink(victim, report);
    ASSERT_EQ(run("--find single --replace '=HYPERLINK(\"x\")' --report " +
                      quoted(report.string()) + " " + quoted(drawing.string()),
                  &output),
              0)
        << output;
    EXPECT_EQ(readFile(victim), "secret\n");
    EXPECT_FALSE(fs::is_symlink(report));
    EXPECT_NE(readFile(report).find(",single OLD ✓,\"'=HYPERLINK(\"\"x\"\") OLD ✓\",\r\n"),
              std::string::npos)
        << readFile(report);

    // A report that cannot be written is said to be the failure.
    EXPECT_EQ(
        run("--find OLD --replace Y --report /no/such/folder/r.csv " + quoted(drawing.string()),
            &output),
        1);
    EXPECT_NE(output.find("失败 0 个"), std::string::npos) << output;
    EXPECT_EQ(output.rfind("报告没有写成"), output.rfind('\n', output.size() - 2) + 1) << output;
}

TEST_F(BatchRunTest, ConcurrentRunsAndSavesLoseNoEdit) {
    for (int i = 0; i < 16; ++i)
        fs::copy_file(originals_ / "r2018_utf8.dxf",
                      drawings_ / ("d" + std::to_string(i) + ".dxf"));
    const std::string program = std::string("env XDG_DATA_HOME=") +
                                quoted((folder_.path() / "data").string()) + " " +
                                QUORVEL_BATCH_PROGRAM + " --jobs 2 ";
    const std::string both = program + "--find single --replace S1 " + quoted(drawings_.string()) +
                             " >/dev/null 2>&1 & " + program + "--find OLD --replace O2 " +
                             quoted(drawings_.string()) + " >/dev/null 2>&1; wait";
    runCommand(both);
    for (int i = 0; i < 16; ++i) {
        const fs::path drawing = drawings_ / ("d" + std::to_string(i) + ".dxf");
        EXPECT_NE(readFile(drawing).find("\nS1 O2 ✓\n"), std::string::npos) << drawing;
    }

    // The user saves the drawing (a new file renamed over it, as editors do) while the run has
    // it: the moment the run keeps its original in the journal.
    fs::remove_all(folder_.path() / "data");
    const fs::path user = folder_.path() / "user";
    fs::create_directories(user);
    fs::copy_file(originals_ / "r2018_utf8.dxf", user / "plan.dxf");
    const std::string writer =
        "import glob, os, sys\n"
        "data, plan = sys.argv[1], sys.argv[2]\n"
        "open(plan + '.new', 'wb').write(b'999\\nsaved by the user\\n' + open(plan, 'rb').read())\n"
        "open(plan + '.ready', 'w').close()\n"
        "while not any(os.listdir(b) for b in glob.glob(data + '/quorvel/runs/*/backups')):\n"
        "    pass\n"
        "os.replace(plan + '.new', plan)\n";
    writeFile(folder_.path() / "writer.py", writer);
    std::string output;
    runCommand("timeout 60 /usr/bin/python3 " + quoted((folder_.path() / "writer.py").string()) +
                   " " + quoted((folder_.path() / "data").string()) + " " +
                   quoted((user / "plan.dxf").string()) + " & until [ -e " +
                   quoted((user / "plan.dxf.ready").string()) + " ]; do sleep 0.01; done; " +
                   program + "--find single --replace S1 " + quoted(user.string()) + " 2>&1; wait",
               &output);
    EXPECT_EQ(readFile(user / "plan.dxf").rfind("999\nsaved by the user\n", 0), 0u) << output;
}

TEST_F(BatchRunTest, OnlyRegularFilesAreDrawingsEachOnceAndLinksStayLinks) {
    const fs::path tree = drawings_ / "tree";
    fs::create_directories(tree / "a");
    fs::create_directories(tree / "b");
    fs::copy_file(originals_ / "r12.dxf", tree / "a" / "plan.dxf");
    fs::create_hard_link(tree / "a" / "plan.dxf", tree / "b" / "plan.dxf");
    ASSERT_EQ(::mkfifo((tree / "m.dxf").c_str(), 0644), 0);
    fs::create_symlink("/dev/zero", tree / "zero.dxf");
    for (const char* loop : {"x", "y", "z"})
        fs::create_symlink(".", tree / loop);
    const std::string longName = std::string(247, 'n') + ".dxf";
    fs::copy_file(originals_ / "r12.dxf", tree / longName);
    std::string output;
    EXPECT_EQ(
        run("--find OLD --replace N --recursive " + quoted(tree.string()), &output, "timeout 60"),
        1)
        << output;
    EXPECT_NE(output.find("图形 4 个，成功 1 个，失败 3 个"), std::string::npos) << output;
    EXPECT_EQ(statusOf(tree / "b" / "plan.dxf").st_nlink, 2u);
    EXPECT_EQ(readFile(tree / "b" / "plan.dxf"), readFile(originals_ / "r12.dxf"));
    EXPECT_NE(output.find("硬链接"), std::string::npos) << output;
    EXPECT_NE(readFile(tree / longName).find("\nsingle N r12\n"), std::string::npos);

    // A list file or a pairs file that is a FIFO, a pairs line with a third field.
    EXPECT_EQ(
        run("--find a --replace b @" + quoted((tree / "m.dxf").string()), &output, "timeout 60"), 2)
        << output;
    writeFile(folder_.path() / "pairs.txt", "OLD\tNEW\t备注\n");
    EXPECT_EQ(run("--pairs " + quoted((folder_.path() / "pairs.txt").string()) + " " +
                      quoted(drawings_.string()),
                  &output),
              2)
        << output;
    EXPECT_TRUE(sameAsOriginal("r12.dxf"));
}

TEST_F(BatchRunTest, AJournalThatCannotBeWrittenIsNamedAndLeavesNothingBehind) {
    // The drawing on another file system than the journal, so its original is copied there;
    // files of more than 4 KB cannot be written.
    char shared[] = "/dev/shm/quorvel-test-XXXXXX";
    if (!fs::is_directory("/dev/shm") || !::mkdtemp(shared))
        GTEST_SKIP() << "no /dev/shm";
    const fs::path drawing = fs::path(shared) / "r2018_utf8.dxf";
    fs::copy_file(originals_ / "r2018_utf8.dxf", drawing);
    std::string output;
    EXPECT_EQ(run("--find OLD --replace N " + quoted(drawing.string()), &output,
                  "trap '' XFSZ; ulimit -f 8;"),
              1)
        << output;
    EXPECT_NE(output.find("运行记录"), std::string::npos) << output;
    EXPECT_EQ(readFile(drawing), readFile(originals_ / "r2018_utf8.dxf"));
    EXPECT_TRUE(fs::is_empty(runFolder(runId(output)) / "backups"));
    fs::remove_all(shared);

    // A save that failed (a folder nothing may be added to) is not journaled as saved, so an undo
    // never puts the original over the user's later edit.
    const std::string folder = quoted(drawings_.string());
    if (runCommand("chattr +i " + folder + " 2>/dev/null") != 0)
        return;
    const int status = run("--find OLD --replace N " + folder, &output);
    runCommand("chattr -i " + folder);
    EXPECT_EQ(status, 1) << output;
    const fs::path edited = drawings_ / "r12.dxf";
    writeFile(edited, "999\nthe user's edit\n" + readFile(edited));
    EXPECT_EQ(run("--undo " + runId(output) + " --force", &output), 0) << output;
    EXPECT_EQ(readFile(edited).rfind("999\nthe user's edit\n", 0), 0u) << output;
}

// A drawing put back after a host run: a link stays a link and the file keeps its mode; a
// dangling link is replaced by a file with the usual mode, not the link's 0777.
TEST(FileWriterTest, PutBackKeepsLinkAndModeAndLeavesNothingBehind) {
    TemporaryFolder folder;
    const fs::path drawing = folder.path() / "plan.dxf";
    writeFile(drawing, "old");
    fs::permissions(drawing, fs::perms(0640));
    const fs::path link = folder.path() / "link.dxf";
    fs::create_symlink(drawing, link);
    batch::writeFileAtomically(link, "put back");
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readFile(drawing), "put back");
    EXPECT_EQ(statusOf(drawing).st_mode & 07777, 0640u);

    const fs::path dangling = folder.path() / "gone.dxf";
    fs::create_symlink(folder.path() / "nowhere.dxf", dangling);
    batch::writeFileAtomically(dangling, "put back");
    EXPECT_FALSE(fs::is_symlink(dangling));
    EXPECT_EQ(readFile(dangling), "put back");
    EXPECT_EQ(statusOf(dangling).st_mode & 0111, 0u);
    EXPECT_EQ(statusOf(dangling).st_mode & 0002, 0u);

    if (!isRoot()) {
        fs::permissions(folder.path(), fs::perms(0500));
        try {
            batch::writeFileAtomically(drawing, "lost");
            ADD_FAILURE() << "a folder nothing may be added to took the file";
        } catch (const batch::FileError& error) {
            EXPECT_EQ(std::string(error.what()),
                      "不能在“" + folder.path().string() + "”中写文件：没有权限");
        }
        fs::permissions(folder.path(), fs::perms(0700));
        EXPECT_EQ(readFile(drawing), "put back");
    }
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.path()))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"gone.dxf", "link.dxf", "plan.dxf"}));
}

}  // namespace
}  // namespace quorvel::testsupport
