#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

#include "FakeDesktop.h"
#include "frmAbout.h"

using tessik::FakeDesktop;
using tessik::frmAbout;

namespace {

const QColor kLightRed(255, 128, 128);
const QColor kBlack(0, 0, 0);
const QColor kLinkBlue(0, 0, 255);

}  // namespace

class frmAboutTest : public QObject {
    Q_OBJECT

private:
    FakeDesktop desktop;
    std::unique_ptr<QWidget> mainWindow;
    std::unique_ptr<frmAbout> about;

    QLabel* label(const QString& name) const { return about->findChild<QLabel*>(name); }
    QPushButton* button(const QString& name) const { return about->findChild<QPushButton*>(name); }
    QTimer* timer(int n) const { return about->findChild<QTimer*>(QStringLiteral("Timer%1").arg(n)); }
    QList<int> visiblePictures() const
    {
        QList<int> shown;
        for (int i = 0; i < 5; ++i)
            if (label(QStringLiteral("picIcon%1").arg(i))->isVisible()) shown << i;
        return shown;
    }
    // A pointer move onto a control (or onto the dialog's background when
    // `target` is the dialog), routed through the window as the desktop does.
    void moveOnto(QWidget* target, QPoint at = QPoint(2, 2)) { QTest::mouseMove(target, at); }

    void openAbout()
    {
        mainWindow->hide();
        about->Show();
        QVERIFY(QTest::qWaitForWindowExposed(about.get()));
        // The pointer starts over the background, at a point no test moves to.
        moveOnto(about.get(), QPoint(1, 1));
    }

private slots:
    void init()
    {
        desktop = FakeDesktop();
        mainWindow = std::make_unique<QWidget>();
        mainWindow->show();
        about = std::make_unique<frmAbout>(desktop, mainWindow.get());
    }
    void cleanup()
    {
        about.reset();
        mainWindow.reset();
    }

    void layout_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("twips");
        QTest::newRow("picIcon4 stacked on picIcon0") << "picIcon4" << QRect(120, 240, 1500, 1500);
        QTest::newRow("lblTitle") << "lblTitle" << QRect(1800, 240, 3645, 240);
        QTest::newRow("lblVersion") << "lblVersion" << QRect(1800, 480, 360, 180);
        QTest::newRow("Label1") << "Label1" << QRect(3000, 480, 2700, 180);
        QTest::newRow("lblDescription") << "lblDescription" << QRect(1800, 720, 4095, 885);
        QTest::newRow("Label9") << "Label9" << QRect(2040, 1680, 3330, 180);
        QTest::newRow("Label5") << "Label5" << QRect(360, 1920, 990, 180);
        QTest::newRow("Label4") << "Label4" << QRect(2040, 1920, 2340, 180);
        QTest::newRow("Label3") << "Label3" << QRect(4680, 1920, 1170, 180);
        QTest::newRow("Label2") << "Label2" << QRect(2040, 2160, 2250, 180);
        QTest::newRow("Label6") << "Label6" << QRect(360, 2220, 1170, 180);
        QTest::newRow("Label7") << "Label7" << QRect(2040, 2400, 2520, 180);
        QTest::newRow("Label10") << "Label10" << QRect(360, 2520, 630, 180);
        QTest::newRow("Label8") << "Label8" << QRect(2040, 2640, 2160, 180);
        QTest::newRow("Image1") << "Image1" << QRect(120, 3120, 3945, 285);
        QTest::newRow("lblDisclaimer") << "lblDisclaimer" << QRect(480, 3480, 3135, 345);
        QTest::newRow("cmdOK") << "cmdOK" << QRect(4200, 3120, 1500, 345);
        QTest::newRow("cmdSysInfo") << "cmdSysInfo" << QRect(4200, 3600, 1485, 345);
    }
    // The notice agrees with the licence the program ships under, and fits
    // on its line inside the dialog.
    void noticeStatesTheLicence()
    {
        openAbout();
        const QLabel* notice = label("Label9");
        QVERIFY(notice->text().contains("GNU GPL") && notice->text().contains("v3+"));
        QVERIFY(notice->text().contains("无任何担保"));
        QVERIFY(!notice->text().contains("不得复制"));
        QVERIFY2(notice->geometry().right() < about->width(), qPrintable(QString::number(notice->geometry().right())));
    }

    // Place as laid out; a one-line label may only grow to the right and
    // downwards, and then just enough for its text.
    void layout()
    {
        QFETCH(QString, name);
        QFETCH(QRect, twips);
        openAbout();
        auto* control = about->findChild<QWidget*>(name);
        QVERIFY(control);
        const QRect px(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15);
        QCOMPARE(control->pos(), px.topLeft());
        auto* text = qobject_cast<QLabel*>(control);
        if (!text || text->wordWrap() || text->text().isEmpty()) {
            QCOMPARE(control->size(), px.size());
            return;
        }
        QFont italic = text->font();
        italic.setItalic(true);
        const QFontMetrics metrics(italic);
        QCOMPARE(control->width(), qMax(px.width(), metrics.horizontalAdvance(text->text()) + 2));
        QCOMPARE(control->height(), qMax(px.height(), metrics.height()));
    }

    // Grown labels still leave every other control and the separator clear.
    void nothingOverlaps()
    {
        openAbout();
        QList<QWidget*> controls;
        for (QWidget* control : about->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (!control->objectName().startsWith("picIcon") || control->objectName() == "picIcon0") controls << control;
        QVERIFY(controls.size() >= 17);
        const int separator = 2925 / 15;
        for (int i = 0; i < controls.size(); ++i) {
            const QRect a = controls[i]->geometry();
            QVERIFY2(a.bottom() < separator || a.top() > separator + 2, qPrintable(controls[i]->objectName()));
            QVERIFY2(QRect(0, 0, 400, 274).contains(a), qPrintable(controls[i]->objectName()));
            for (int j = i + 1; j < controls.size(); ++j) {
                QVERIFY2(!a.intersects(controls[j]->geometry()),
                         qPrintable(controls[i]->objectName() + " / " + controls[j]->objectName()));
            }
        }
    }

    void windowAndCaptions()
    {
        openAbout();
        QCOMPARE(about->size(), QSize(400, 274));
        QCOMPARE(about->minimumSize(), about->maximumSize());
        QVERIFY(!(about->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QCOMPARE(about->windowTitle(), QStringLiteral("关于 Tessik"));
        QCOMPARE(label("lblTitle")->text(), QStringLiteral("Tessik"));
        QCOMPARE(label("lblVersion")->text(), QStringLiteral("版本 1.1.3"));
        QCOMPARE(button("cmdOK")->text(), QStringLiteral("确定"));
        QVERIFY(button("cmdOK")->isDefault());
        QCOMPARE(button("cmdSysInfo")->text(), QStringLiteral("系统信息(&S)..."));
        QCOMPARE(label("Image1")->pixmap().size(), QSize(263, 19));
        QVERIFY(label("Image1")->pixmap().hasAlphaChannel());
        for (int i = 0; i < 5; ++i) QCOMPARE(label(QStringLiteral("picIcon%1").arg(i))->pixmap().size(), QSize(100, 100));
        for (const char* link : {"Label2", "Label7", "Label8"}) {
            const QCursor cursor = label(QString::fromLatin1(link))->cursor();
            QCOMPARE(cursor.shape(), Qt::BitmapCursor);
            QCOMPARE(cursor.hotSpot(), QPoint(12, 1));
            QCOMPARE(cursor.pixmap().size(), QSize(32, 32));
        }
        QCOMPARE(timer(1)->interval(), 2000);
        QCOMPARE(timer(2)->interval(), 400);
        QCOMPARE(timer(3)->interval(), 1000);
        for (int n = 1; n <= 3; ++n) QVERIFY(timer(n)->isActive());
    }

    void dayCounter_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QString>("text");
        QTest::newRow("first day") << QDate(2006, 3, 8) << QStringLiteral("今日第0天");
        QTest::newRow("next day") << QDate(2006, 3, 9) << QStringLiteral("今日第1天");
        QTest::newRow("day before") << QDate(2006, 3, 7) << QStringLiteral("今日第-1天");
        QTest::newRow("over a leap day") << QDate(2008, 3, 8) << QStringLiteral("今日第731天");
    }
    void dayCounter()
    {
        QFETCH(QDate, today);
        QFETCH(QString, text);
        desktop.todayValue = today;
        openAbout();
        QCOMPARE(label("Label10")->text(), text);
    }

    void slideShowOrderAndRestart()
    {
        openAbout();
        QCOMPARE(visiblePictures(), (QList<int>{0, 1, 2, 3, 4}));
        for (int expected : {0, 1, 2, 3, 4, 0, 1}) {
            about->Timer1_Timer();
            QCOMPARE(visiblePictures(), QList<int>{expected});
        }
        about->cmdOK_Click();
        openAbout();
        QCOMPARE(visiblePictures(), (QList<int>{0, 1, 2, 3, 4}));
        about->Timer1_Timer();
        QCOMPARE(visiblePictures(), QList<int>{0});
    }

    // Only the background resumes a slide show that a picture froze.
    void slideShowFreezeAndResume()
    {
        openAbout();
        // Moving about the background leaves a running slide show's interval alone.
        QTest::qWait(20);
        const int remaining = timer(1)->remainingTime();
        moveOnto(about.get(), QPoint(3, 3));
        QVERIFY(timer(1)->remainingTime() <= remaining);
        about->Timer1_Timer();
        moveOnto(label("picIcon0"), QPoint(50, 50));
        QVERIFY(!timer(1)->isActive());
        moveOnto(label("Label5"));
        moveOnto(button("cmdOK"), QPoint(10, 10));
        moveOnto(label("Label2"));
        QVERIFY(!timer(1)->isActive());
        moveOnto(about.get(), QPoint(3, 3));
        QVERIFY(timer(1)->isActive());
    }

    void blinkSurvivesReopening_data()
    {
        QTest::addColumn<int>("ticksBeforeClose");
        QTest::addColumn<QColor>("firstColourAfterReopening");
        QTest::newRow("closed after one tick") << 1 << kBlack;
        QTest::newRow("closed after two ticks") << 2 << kLightRed;
        QTest::newRow("closed after three ticks") << 3 << kBlack;
    }
    void blinkSurvivesReopening()
    {
        QFETCH(int, ticksBeforeClose);
        QFETCH(QColor, firstColourAfterReopening);
        openAbout();
        const QColor expected[] = {kLightRed, kBlack, kLightRed};
        for (int tick = 0; tick < ticksBeforeClose; ++tick) {
            about->Timer2_Timer();
            QCOMPARE(label("Label9")->palette().color(QPalette::WindowText), expected[tick]);
        }
        about->cmdOK_Click();
        openAbout();
        QCOMPARE(label("Label9")->palette().color(QPalette::WindowText), kLightRed);
        about->Timer2_Timer();
        QCOMPARE(label("Label9")->palette().color(QPalette::WindowText), firstColourAfterReopening);
    }

    void countdownClosesAtZero()
    {
        openAbout();
        QVERIFY(!mainWindow->isVisible());
        for (int shown = 60; shown >= 1; --shown) {
            about->Timer3_Timer();
            QCOMPARE(button("cmdOK")->text(), QStringLiteral("%1秒后自动确定").arg(shown));
        }
        QVERIFY(about->isVisible());
        QVERIFY(!mainWindow->isVisible());
        about->Timer3_Timer();
        QCOMPARE(button("cmdOK")->text(), QStringLiteral("0秒后自动确定"));
        QVERIFY(!about->isVisible());
        QVERIFY(!about->isLoaded());
        QVERIFY(mainWindow->isVisible());
        for (int n = 1; n <= 3; ++n) QVERIFY(!timer(n)->isActive());

        openAbout();
        QCOMPARE(button("cmdOK")->text(), QStringLiteral("确定"));
        about->Timer3_Timer();
        QCOMPARE(button("cmdOK")->text(), QStringLiteral("60秒后自动确定"));
    }

    void everyWayOutShowsTheMainWindow_data()
    {
        QTest::addColumn<QString>("way");
        QTest::newRow("OK button") << "ok";
        QTest::newRow("Enter") << "enter";
        QTest::newRow("Escape") << "escape";
        QTest::newRow("close box") << "close";
    }
    void everyWayOutShowsTheMainWindow()
    {
        QFETCH(QString, way);
        openAbout();
        if (way == "ok") QTest::mouseClick(button("cmdOK"), Qt::LeftButton);
        else if (way == "enter") QTest::keyClick(about.get(), Qt::Key_Return);
        else if (way == "escape") QTest::keyClick(about.get(), Qt::Key_Escape);
        else about->close();
        QVERIFY(!about->isVisible());
        QVERIFY(mainWindow->isVisible());
        QVERIFY(!timer(3)->isActive());
    }

    void hoverStyles_data()
    {
        QTest::addColumn<QStringList>("path");
        QTest::addColumn<QList<bool>>("styled");  // Label2, Label7, Label8
        QTest::newRow("Label2") << QStringList{"Label2"} << QList<bool>{true, false, false};
        QTest::newRow("Label2 straight onto Label8") << QStringList{"Label2", "Label8"} << QList<bool>{true, false, true};
        QTest::newRow("Label2 onto Label7") << QStringList{"Label2", "Label7"} << QList<bool>{false, true, false};
        QTest::newRow("Label8 onto Label2") << QStringList{"Label8", "Label2"} << QList<bool>{true, false, false};
        QTest::newRow("Label8 over a plain label") << QStringList{"Label8", "Label4"} << QList<bool>{false, false, true};
        QTest::newRow("Label7, Label8, background") << QStringList{"Label7", "Label8", ""} << QList<bool>{false, false, false};
    }
    void hoverStyles()
    {
        QFETCH(QStringList, path);
        QFETCH(QList<bool>, styled);
        openAbout();
        for (const QString& step : path) {
            if (step.isEmpty()) moveOnto(about.get(), QPoint(3, 3));
            else moveOnto(label(step));
        }
        const char* links[] = {"Label2", "Label7", "Label8"};
        for (int i = 0; i < 3; ++i) {
            QLabel* link = label(QString::fromLatin1(links[i]));
            QCOMPARE(link->font().underline(), styled[i]);
            QCOMPARE(link->font().italic(), styled[i]);
            QCOMPARE(link->palette().color(QPalette::WindowText), styled[i] ? kLinkBlue : kBlack);
        }
    }

    void linkClicks_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("url");
        QTest::newRow("Label2 writes an e-mail") << "Label2" << "mailto:tessik@example.org";
        QTest::newRow("Label7 opens its address") << "Label7" << "https://tessik.example.org/";
        QTest::newRow("Label8 opens its address") << "Label8" << "https://example.org/tessik/";
    }
    void linkClicks()
    {
        QFETCH(QString, name);
        QFETCH(QString, url);
        openAbout();
        QTest::mouseClick(label(name), Qt::LeftButton, {}, QPoint(3, 3));
        QCOMPARE(desktop.openedUrls, QList<QUrl>{QUrl(url)});
    }

    // Enter presses the focused button; with the focus elsewhere it is OK.
    void enterPressesTheFocusedButton()
    {
        about->setToolSearchPath({});
        openAbout();
        button("cmdSysInfo")->setFocus();
        QTest::keyClick(button("cmdSysInfo"), Qt::Key_Return);
        QCOMPARE(desktop.messageBoxes.size(), 1);
        QVERIFY(about->isVisible());
        button("cmdOK")->setFocus();
        QTest::keyClick(button("cmdOK"), Qt::Key_Return);
        QVERIFY(!about->isVisible());
    }
    void systemInformation_data()
    {
        QTest::addColumn<QStringList>("toolsOnPath");
        QTest::addColumn<bool>("programsStart");
        QTest::addColumn<QString>("started");  // empty: nothing started
        QTest::addColumn<bool>("unavailable");
        QTest::newRow("no tool") << QStringList{} << true << "" << true;
        QTest::newRow("a system monitor") << QStringList{"xfce4-taskmanager"} << true << "xfce4-taskmanager" << false;
        QTest::newRow("the profiler first") << QStringList{"gnome-system-monitor", "hardinfo"} << true << "hardinfo" << false;
        QTest::newRow("tool fails to start") << QStringList{"hardinfo"} << false << "hardinfo" << true;
        QTest::newRow("not executable") << QStringList{"-hardinfo"} << true << "" << true;
    }
    void systemInformation()
    {
        QFETCH(QStringList, toolsOnPath);
        QFETCH(bool, programsStart);
        QFETCH(QString, started);
        QFETCH(bool, unavailable);
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        for (QString tool : toolsOnPath) {
            const bool executable = !tool.startsWith('-');
            if (!executable) tool.remove(0, 1);
            QFile file(folder.filePath(tool));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("#!/bin/sh\n");
            file.setPermissions(executable ? file.permissions() | QFile::ExeOwner : QFile::ReadOwner | QFile::WriteOwner);
        }
        desktop.programsStart = programsStart;
        about->setToolSearchPath({folder.path()});
        openAbout();
        // The box is modal: the timers are held while it is open (the
        // countdown must not close the dialog under its own message) and
        // run again once it is answered.
        QList<bool> runningInBox;
        desktop.onMessageBox = [&] {
            for (int n = 1; n <= 3; ++n) runningInBox << timer(n)->isActive();
        };
        QTest::mouseClick(button("cmdSysInfo"), Qt::LeftButton);

        QCOMPARE(desktop.startedPrograms.size(), started.isEmpty() ? 0 : 1);
        if (!started.isEmpty()) QCOMPARE(desktop.startedPrograms[0], QStringList{folder.filePath(started)});
        QCOMPARE(desktop.messageBoxes.size(), unavailable ? 1 : 0);
        QCOMPARE(about->isVisible(), true);
        if (unavailable) {
            QCOMPARE(desktop.messageBoxes[0].text, QStringLiteral("此时系统信息不可用"));
            QCOMPARE(desktop.messageBoxes[0].style, tessik::msgbox::kOkOnly);
            QCOMPARE(desktop.messageBoxes[0].title, QStringLiteral("Tessik"));
            QCOMPARE(runningInBox, (QList<bool>{false, false, false}));
        }
        for (int n = 1; n <= 3; ++n) QVERIFY(timer(n)->isActive());
    }
};

QTEST_MAIN(frmAboutTest)
#include "frmAboutTest.moc"
