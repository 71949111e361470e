// The platform's Qt-side services: the script file and random names of a run, the links handed on.
#include <QFile>
#include <QTemporaryDir>
#include <set>

#include <gtest/gtest.h>

#include "engine/automation.h"
#include "platform/linkopener.h"
#include "platform/scriptfilewriter.h"
#include "platform/timerrandom.h"
#include "windows/makerinfo.h"

namespace {

using namespace quorvel;

TEST(ScriptFileWriter, WritesCodePage936WithoutLineEndAndFallsBack) {
    QTemporaryDir folder;
    platform::CodePageScriptFileWriter writer(folder.filePath(QStringLiteral("data")));
    const QString path = folder.filePath(QStringLiteral("batch.scr"));
    writer.writeScript(path.toStdU16String(), u"图号 longer text");
    writer.writeScript(path.toStdU16String(), u"图号€");  // replaces, not appends
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), QByteArray("\xCD\xBC\xBA\xC5\x80"));

    // A folder that cannot be written: the file goes to the fallback folder.
    const QString missing = folder.filePath(QStringLiteral("no/such/folder/batch.scr"));
    writer.writeScript(missing.toStdU16String(), u"AB");
    EXPECT_EQ(writer.lastWrittenPath(), folder.filePath(QStringLiteral("data/batch.scr")));

    // Nowhere to write: an error the run reports.
    QFile blocker(folder.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    platform::CodePageScriptFileWriter stuck(folder.filePath(QStringLiteral("blocker/sub")));
    EXPECT_THROW(stuck.writeScript(missing.toStdU16String(), u"AB"), engine::AutomationError);
}

TEST(TimerSeededRandom, NamesAreDecimalAndVaryAcrossReseeds) {
    platform::TimerSeededRandom random;
    std::set<std::uint32_t> seen;
    for (int i = 0; i < 20; ++i) {
        random.reseedFromTimer();
        const std::uint32_t value = random.next();
        EXPECT_LE(value, 999'999'999u);
        seen.insert(value);
    }
    EXPECT_GT(seen.size(), 1u);
}

TEST(LinkOpener, OnlyWebAndMailAddressesAreHandedOn) {
    EXPECT_TRUE(platform::isOpenableLink(QString::fromUtf8(maker::kHomePage)));
    EXPECT_TRUE(platform::isOpenableLink(QStringLiteral("mailto:") +
                                         QString::fromUtf8(maker::kAuthorEmail)));
    EXPECT_TRUE(platform::isOpenableLink(QString::fromUtf8(maker::kRightPanelPage)));
    EXPECT_FALSE(platform::isOpenableLink("file:///usr/bin/xterm"));
    EXPECT_FALSE(platform::isOpenableLink("/usr/bin/xterm"));
    EXPECT_FALSE(platform::isOpenableLink("javascript:alert(1)"));
    EXPECT_FALSE(platform::isOpenableLink("mailto:"));
    EXPECT_FALSE(platform::isOpenableLink("https://"));
    EXPECT_FALSE(platform::isOpenableLink(""));
}

}  // namespace
