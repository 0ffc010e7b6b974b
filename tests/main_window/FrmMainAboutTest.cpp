#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include "FakeCad.h"
#include "FakeDesktop.h"
#include "FrmMain.h"
#include "frmAbout.h"

using tessik::FakeDesktop;
using tessik::FrmMain;
using tessik::frmAbout;

class FrmMainAboutTest : public QObject {
    Q_OBJECT

    static frmAbout* openDialog()
    {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* about = qobject_cast<frmAbout*>(window); about && about->isVisible()) return about;
        return nullptr;
    }

private slots:
    // About hides the main window until the dialog unloads; the countdown's
    // last tick brings it back. A second About reuses the dialog object.
    void aboutHidesTheMainWindowUntilTheDialogUnloads()
    {
        FakeDesktop desktop;
        auto cad = tessik::FakeCad::create();
        FrmMain frmMain(desktop, *cad);
        frmMain.show();
        QVERIFY(QTest::qWaitForWindowExposed(&frmMain));

        QTest::mouseClick(frmMain.CmdAbout, Qt::LeftButton);
        QVERIFY(!frmMain.isVisible());
        QPointer<frmAbout> about = openDialog();
        QVERIFY(about);
        QCOMPARE(about->windowTitle(), QStringLiteral("关于 Tessik"));
        QVERIFY(!about->isModal());
        QVERIFY(about->parentWidget() == nullptr);

        about->Timer2_Timer();
        for (int tick = 0; tick < 60; ++tick) about->Timer3_Timer();
        QVERIFY(!frmMain.isVisible());
        about->Timer3_Timer();
        QVERIFY(!about->isVisible());
        QVERIFY(frmMain.isVisible());

        QTest::mouseClick(frmMain.CmdAbout, Qt::LeftButton);
        QVERIFY(!frmMain.isVisible());
        QCOMPARE(openDialog(), about.data());
        QCOMPARE(about->BlnBlink, qint16(-1));
        QCOMPARE(about->IntCountdown, qint16(60));
        QTest::keyClick(about, Qt::Key_Escape);
        QVERIFY(frmMain.isVisible());
    }

    void theDialogGoesWithTheMainWindow()
    {
        FakeDesktop desktop;
        QPointer<frmAbout> about;
        {
            auto cad = tessik::FakeCad::create();
        FrmMain frmMain(desktop, *cad);
            frmMain.show();
            frmMain.CmdAbout_Click();
            about = openDialog();
            QVERIFY(about);
        }
        QVERIFY(about.isNull());
    }
};

QTEST_MAIN(FrmMainAboutTest)
#include "FrmMainAboutTest.moc"
