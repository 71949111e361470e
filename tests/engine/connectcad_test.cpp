// Module1::ConnectCad: attach, else start, and every later step skipped on failure.
#include <gtest/gtest.h>

#include "engine/module1.h"
#include "tests/support/engine/doubles.h"

namespace quorvel::engine::testing {
namespace {

struct ConnectCadTest : ::testing::Test {
    std::vector<std::string> journal;
    RecordingHost host{journal};
    FakeMessages messages{journal};
    Module1 module1{host.connector(), messages};
};

TEST_F(ConnectCadTest, PrefersARunningHostAndCachesItsDocument) {
    host.running = true;
    host.openNew({}, {}, {});
    module1.ConnectCad();
    const std::vector<std::string> expected = {
        "Connector.attachRunning(AutoCAD.Application)",
        "Application.Visible(true)",
        "Application.ActiveDocument",
        "Document.ModelSpace",
        "Document.PaperSpace",
        "Document.Utility",
    };
    EXPECT_EQ(journal, expected);
    EXPECT_EQ(host.instancesStarted, 0);
    EXPECT_TRUE(host.visible);
    EXPECT_TRUE(module1.acadApp && module1.acadDoc && module1.acadModelSpace &&
                module1.acadPaperSpace && module1.acadUtility);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ConnectCadTest, StartsAHostOnceAndAttachesToItAfterwards) {
    module1.ConnectCad();
    EXPECT_EQ(journal.at(0), "Connector.attachRunning(AutoCAD.Application)");
    EXPECT_EQ(journal.at(1), "Connector.create(AutoCAD.Application)");
    EXPECT_TRUE(host.visible);
    journal.clear();
    module1.ConnectCad();
    EXPECT_EQ(journal.at(1), "Application.Visible(true)");
    EXPECT_EQ(host.instancesStarted, 1);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ConnectCadTest, NoHostAtAllShowsTheDescriptionAndKeepsTheOldReference) {
    host.installed = false;
    host.createFailureDescription = u"找不到 CAD 主机";
    module1.ConnectCad();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], (ShownMessage{u"找不到 CAD 主机", u"Quorvel", MessageIcon::None}));
    EXPECT_FALSE(module1.acadApp);
    EXPECT_EQ(journal.back(), "MsgBox(找不到 CAD 主机|Quorvel)");

    // Connected once, then the host went away: the earlier object stays.
    host.installed = true;
    module1.ConnectCad();
    const auto earlier = module1.acadApp;
    ASSERT_TRUE(earlier);
    host.running = false;
    host.installed = false;
    module1.ConnectCad();
    EXPECT_EQ(module1.acadApp, earlier);
    EXPECT_EQ(messages.shown.size(), 2u);
}

TEST_F(ConnectCadTest, LaterStepsFailOneByOneWithoutRaising) {
    host.running = true;
    host.openNew({}, {}, {});
    host.failAt("Application.Visible");
    host.failAt("Document.PaperSpace");
    EXPECT_NO_THROW(module1.ConnectCad());
    EXPECT_FALSE(host.visible);
    EXPECT_TRUE(module1.acadDoc);
    EXPECT_TRUE(module1.acadModelSpace);
    EXPECT_FALSE(module1.acadPaperSpace);  // kept its previous, empty value
    EXPECT_TRUE(module1.acadUtility);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ConnectCadTest, AHostWithoutDocumentsLeavesTheCacheEmpty) {
    host.running = true;  // running, but no drawing open
    EXPECT_NO_THROW(module1.ConnectCad());
    EXPECT_TRUE(module1.acadApp);
    EXPECT_FALSE(module1.acadDoc);
    EXPECT_FALSE(module1.acadModelSpace);
    EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace quorvel::engine::testing
