// Saving: what reaches the disk is the drawing as edited, in order, with its backup, or nothing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <string>

#include "dxf/atomicfile.h"
#include "dxf/drawing.h"
#include "dxf/tags.h"
#include "tests/support/ezdxf_reference.h"

namespace quorvel::dxf {
namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::TemporaryFolder;
using testsupport::writeFile;

// A drawing the way CAD programs write them: padded codes, CR LF, a text every tenth entity.
std::string largeDrawing(int entities, std::uint64_t handseed = 0) {
    std::string out =
        "  0\r\nSECTION\r\n  2\r\nHEADER\r\n  9\r\n$ACADVER\r\n  1\r\nAC1009\r\n"
        "  9\r\n$DWGCODEPAGE\r\n  3\r\nDOS850\r\n  9\r\n$HANDSEED\r\n  5\r\n" +
        formatHandle(handseed ? handseed : static_cast<std::uint64_t>(entities) + 0x100) +
        "\r\n  0\r\nENDSEC\r\n  0\r\nSECTION\r\n  2\r\nENTITIES\r\n";
    for (int i = 0; i < entities; ++i) {
        const std::string handle = formatHandle(static_cast<std::uint64_t>(i) + 0x20);
        const std::string at = std::to_string(i) + ".0";
        if (i % 10 == 0) {
            out += "  0\r\nTEXT\r\n  5\r\n" + handle + "\r\n  8\r\nTEXTS\r\n 10\r\n" + at +
                   "\r\n 20\r\n0.0\r\n 40\r\n2.5\r\n  1\r\ntext " + std::to_string(i) + "\r\n";
        } else {
            out += "  0\r\nLINE\r\n  5\r\n" + handle + "\r\n  8\r\n0\r\n 10\r\n" + at +
                   "\r\n 20\r\n0.0\r\n 11\r\n" + at + "\r\n 21\r\n1.0\r\n";
        }
    }
    return out + "  0\r\nENDSEC\r\n  0\r\nEOF\r\n";
}

TEST(DrawingSave, LargeEditedDrawingsReachTheDiskInOrder) {
    TemporaryFolder folder;
    // Untouched stretches shorter than, around and longer than the writer's buffer.
    for (const int entities : {500, 5000, 12000, 40000}) {
        SCOPED_TRACE(entities);
        Drawing drawing = Drawing::fromBytes(largeDrawing(entities));
        const auto texts = drawing.select({0}, {"TEXT"});
        for (const EntityId id : {texts.back(), texts[texts.size() / 2]}) {
            const EntityId copy = drawing.copy(id);
            drawing.erase(id);
            drawing.setText(copy, "新的文字");
        }
        const auto file = folder.path() / "large.dxf";
        drawing.save(file);
        const std::string saved = readFile(file);
        const std::string expected = drawing.toBytes();
        ASSERT_TRUE(saved == expected)
            << "file begins " << saved.substr(0, 40) << ", differs from byte "
            << std::mismatch(saved.begin(), saved.end(), expected.begin(), expected.end()).first -
                   saved.begin();
        const Drawing reread = Drawing::load(file);
        EXPECT_EQ(reread.select({0}, {"TEXT"}).size(), texts.size());
        EXPECT_EQ(reread.select({0}, {"LINE"}).size(), drawing.select({0}, {"LINE"}).size());
        EXPECT_EQ(reread.select({1}, {"新的文字"}).size(), 2u);
    }
}

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

// The writer every save and quorvel-batch use: nothing half written stays behind, a link planted
// at the name is replaced and not written through, a new file gets the usual permissions.
TEST(AtomicWriter, LeavesNothingBehindAndNeverWritesThroughALink) {
    TemporaryFolder folder;
    const int folderFd = ::open(folder.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folderFd, 0);
    const auto failing = [](OrderedFileWriter& out) {
        out.append("half");
        throw std::runtime_error("the drawing could not be written");
    };
    EXPECT_THROW(writeTemporaryIn(folderFd, failing, std::nullopt), std::runtime_error);
    EXPECT_TRUE(fs::is_empty(folder.path()));

    writeFile(folder.path() / "elsewhere.csv", "theirs");
    fs::create_symlink(folder.path() / "elsewhere.csv", folder.path() / "report.csv");
    const WrittenTemporary made = writeTemporaryIn(
        folderFd, [](OrderedFileWriter& out) { out.append("ours"); }, std::nullopt);
    renameIntoPlace(folderFd, made.name, "report.csv");
    EXPECT_FALSE(fs::is_symlink(folder.path() / "report.csv"));
    EXPECT_EQ(readFile(folder.path() / "report.csv"), "ours");
    EXPECT_EQ(readFile(folder.path() / "elsewhere.csv"), "theirs");
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(fs::status(folder.path() / "report.csv").permissions(),
              static_cast<fs::perms>(0666 & ~mask));
    EXPECT_THROW(renameIntoPlace(folderFd, made.name, "again.csv"), FileWriteError);
    ::close(folderFd);
}

TEST(DrawingSave, LongNamesSaveAndStaleLeftoversOfInterruptedSavesGo) {
    TemporaryFolder folder;
    // Names at the file system's limit: the temporary name must not be longer.
    for (const std::size_t length : {249u, 255u}) {
        const fs::path file = folder.path() / (std::string(length - 4, 'n') + ".dxf");
        writeFile(file, largeDrawing(30));
        Drawing drawing = Drawing::load(file);
        drawing.setText(drawing.select({0}, {"TEXT"}).front(), "saved");
        ASSERT_NO_THROW(drawing.save(file));
        EXPECT_EQ(readFile(backupPathFor(file)), largeDrawing(30));
        fs::remove(file);
        fs::remove(backupPathFor(file));
    }
    // Leftovers: only ours, untouched for a while, whose process is gone.
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(1);
    const std::string live = ".~qv" + std::to_string(::getpid()) + ".Live01";
    for (const std::string name :
         {".~qv99999999.Stale1", ".~qv99999999.Stale2b", ".~qv99999999.Stal3b", ".plan.dxf.Stale3",
          ".~qv99999999.Fresh1", live.c_str(), ".plan.dxf.swp", "notes.txt", ".~qvx.Other1"}) {
        writeFile(folder.path() / name, "leftover");
        if (name.find("Fresh") == std::string::npos)
            fs::last_write_time(folder.path() / name, old);
    }
    Drawing drawing = Drawing::fromBytes(largeDrawing(30));
    drawing.save(folder.path() / "plan.dxf");
    EXPECT_EQ(namesIn(folder.path()),
              (std::set<std::string>{".~qv99999999.Fresh1", live, ".plan.dxf.swp", "notes.txt",
                                     ".~qvx.Other1", "plan.dxf"}));
    // Something that is not a regular file is refused at once, not waited on.
    const fs::path fifo = folder.path() / "pipe.dxf";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_THROW(Drawing::load(fifo), DxfError);
}

TEST(DrawingSave, AFileChangedOnDiskSinceItWasReadIsNotOverwritten) {
    TemporaryFolder folder;
    const fs::path file = folder.path() / "plan.dxf";
    writeFile(file, largeDrawing(30));
    Drawing drawing = Drawing::load(file);
    drawing.setText(drawing.select({0}, {"TEXT"}).front(), "ours");
    const std::string theirs = largeDrawing(40);
    writeFile(file, theirs);  // another program saved meanwhile
    try {
        drawing.save(file);
        ADD_FAILURE() << "saved over a changed file";
    } catch (const DxfError& e) {
        EXPECT_EQ(e.kind(), DxfError::Kind::Io);
        EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("已被其他程序修改"), std::string::npos);
    }
    EXPECT_EQ(readFile(file), theirs);
    EXPECT_EQ(namesIn(folder.path()), std::set<std::string>{"plan.dxf"});
    EXPECT_TRUE(drawing.isModified());
    // Saved elsewhere, the drawing belongs to the new file; saved again there, it still does.
    const fs::path other = folder.path() / "other.dxf";
    drawing.save(other);
    drawing.setText(drawing.select({0}, {"TEXT"}).front(), "again");
    EXPECT_NO_THROW(drawing.save(other));
    writeFile(other, theirs);
    EXPECT_THROW(drawing.save(other), DxfError);
}

TEST(DrawingSave, KeepsOwnerAndGroupOrSaysItCannot) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to hand files to other users";
    TemporaryFolder folder;
    fs::permissions(folder.path(), fs::perms::all);
    const fs::path file = folder.path() / "colleague.dxf";
    writeFile(file, largeDrawing(30));
    const uid_t colleague = 4242;
    const gid_t team = 4343;
    ASSERT_EQ(::chown(file.c_str(), colleague, team), 0);
    ASSERT_EQ(::chmod(file.c_str(), 0664), 0);
    const auto ownerOf = [&] {
        struct stat status {};
        ::stat(file.c_str(), &status);
        return std::make_pair(status.st_uid, status.st_gid);
    };
    {
        Drawing drawing = Drawing::load(file);
        drawing.setText(drawing.select({0}, {"TEXT"}).front(), "by root");
        EXPECT_TRUE(drawing.save(file).empty());
        EXPECT_EQ(ownerOf(), std::make_pair(colleague, team));
        EXPECT_EQ(fs::status(file).permissions(), fs::perms(0664));
    }
    // A user who may write the file but not give it away: the save goes through with a note.
    ASSERT_EQ(::chmod(file.c_str(), 0666), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int status = 1;
        if (::setgid(65534) == 0 && ::setuid(65534) == 0) {
            try {
                Drawing drawing = Drawing::load(file);
                drawing.setText(drawing.select({0}, {"TEXT"}).front(), "by nobody");
                const auto notes = drawing.save(file);
                status = notes.size() == 1 && notes[0].find("4242") != std::string::npos ? 0 : 2;
            } catch (...) {
                status = 3;
            }
        }
        ::_exit(status);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_NE(readFile(file).find("by nobody"), std::string::npos);
    EXPECT_EQ(ownerOf().first, 65534u);
}

}  // namespace
}  // namespace quorvel::dxf
