// The draw command against a stand-in for tessik-cad that hangs up after a
// chosen request: every reply that came back before the hang-up confirms its
// entity, and exactly the rest is reported as not confirmed.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLocalSocket>

#include "CadConnection.h"
#include "DesignRecord.h"
#include "ElbowDrawCommand.h"
#include "FakeDesktop.h"
#include "ScriptedCadServer.h"
#include "TessikCadClient.h"

namespace tessik {
namespace {

struct Window : ElbowDrawHost {
    DesignFieldTexts fields{"90", "1000", "100", "150"};  // 3008 entities in the front view
    DesignRecord record;
    int quits = 0;

    PendingError InputParameter() override { return tessik::InputParameter(fields, record); }
    const ElbowParameters& parameters() const override { return record; }
    void setPickedPoint(const Point3& p) override { record.VntPoint = p; }
    bool viewSelected(ElbowView view) const override { return view == ElbowView::Front; }
    int ChkQuit() const override { return 1; }
    std::string caption() const override { return "Tessik"; }
    void CmdQuit_Click() override { ++quits; }
};

class LostConnection : public ::testing::TestWithParam<int> {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "lost_connection_tests";
        static char* argv[] = {name, nullptr};
        qputenv("QT_QPA_PLATFORM", "offscreen");
        if (!qApp) new QApplication(argc, argv);
    }
};

// Entities whose last request was answered: the front view's lines and arc.
int confirmedEntities(const ScriptedCadServer& server, int answered)
{
    int confirmed = 0;
    for (int i = 0; i < answered; ++i) {
        const QString member = server.requests[i]["params"].toObject()["member"].toString().toLower();
        if (member == "addline" || member == "addarc") ++confirmed;
    }
    return confirmed;
}

TEST_P(LostConnection, CountsExactlyWhatTheCadDidNotConfirm)
{
    const int hangUpAfter = GetParam();
    ScriptedCadServer server;
    TessikCadAutomation automation{server.path, {}, TessikCadAutomation::kDefaultLaunchTimeoutMs, 3000};
    FakeDesktop desktop;
    CadConnection connection(automation, desktop, {[](const std::string&) {}, [] { return std::string("Tessik"); }});
    connection.Start();
    ASSERT_TRUE(desktop.messageBoxes.isEmpty());

    const int first = int(server.requests.size());
    bool hungUp = false;
    server.afterRequest = [&](int index) {
        if (hungUp || index != first + hangUpAfter) return;
        // Every reply so far is handed to the socket before it goes, as a
        // server that is killed has already written what it answered.
        QLocalSocket* client = server.client;
        client->flush();
        while (client->bytesToWrite() > 0 && client->waitForBytesWritten(1000)) {
        }
        ASSERT_EQ(client->bytesToWrite(), 0);
        hungUp = true;
        client->abort();
    };

    Window window;
    ElbowDrawCommand command(window, connection.objects(), desktop);
    const ElbowDrawCommand::Outcome out = command.CmdDraw1_Click();

    ASSERT_TRUE(hungUp);
    const int answered = first + hangUpAfter + 1;
    EXPECT_EQ(out.ending, ElbowDrawCommand::Ending::PartlyDrawn);
    EXPECT_TRUE(out.connectionLost);
    EXPECT_EQ(out.entities, 3008);
    EXPECT_EQ(out.failed, out.entities - confirmedEntities(server, answered));
    EXPECT_EQ(window.quits, 0);
    ASSERT_FALSE(desktop.messageBoxes.isEmpty());
    EXPECT_TRUE(desktop.messageBoxes.last().text.startsWith(
        QStringLiteral("共 3008 个图元，其中 %1 个未得到 CAD 程序的确认，与 CAD 程序的连接已中断。").arg(out.failed)))
        << desktop.messageBoxes.last().text.toStdString();
}

// Right after the pick, within the first burst, and deep into the drawing.
INSTANTIATE_TEST_SUITE_P(HangUps, LostConnection, ::testing::Values(3, 400, 1500));

}  // namespace
}  // namespace tessik
