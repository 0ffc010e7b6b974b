// The main window as a person meets it: layout, start-up state, keyboard,
// input filters and the segment-count spinner. Offscreen, at 96 dpi.

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <memory>

#include "ControlEvents.h"
#include "FakeCad.h"
#include "FakeDesktop.h"
#include "FrmMain.h"
#include "TessikLook.h"

using namespace tessik;

class FrmMainTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FakeDesktop> desktop;
    std::shared_ptr<FakeCad> cad;
    std::unique_ptr<FrmMain> w;

    template <class T = QWidget>
    T* control(const QString& name) const
    {
        T* c = name == w->objectName() ? qobject_cast<T*>(w.get()) : w->findChild<T*>(name);
        if (!c) qFatal("no control %s", qPrintable(name));
        return c;
    }

    void focus(QWidget* c)
    {
        c->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(c->hasFocus());
    }

    // Clicks the upper (up == true) or the lower arrow of VScroll1.
    void clickArrow(bool up)
    {
        QScrollBar* bar = w->VScroll1;
        QStyleOptionSlider opt;
        opt.initFrom(bar);
        opt.orientation = bar->orientation();
        opt.minimum = bar->minimum();
        opt.maximum = bar->maximum();
        opt.sliderPosition = bar->sliderPosition();
        opt.sliderValue = bar->value();
        opt.upsideDown = bar->invertedAppearance();
        opt.singleStep = bar->singleStep();
        opt.pageStep = bar->pageStep();
        opt.subControls = QStyle::SC_All;
        QRect a = bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarSubLine, bar);
        QRect b = bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarAddLine, bar);
        if (a.top() > b.top()) std::swap(a, b);
        QTest::mouseClick(bar, Qt::LeftButton, {}, (up ? a : b).center());
    }

private slots:
    void initTestCase() { applyTessikLook(*qApp); }

    void init()
    {
        desktop = std::make_unique<FakeDesktop>();
        cad = FakeCad::create();
        w = std::make_unique<FrmMain>(*desktop, *cad);
        w->Form_Load();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        // Started outside a data folder, the list loaders say which files are
        // missing; these tests look at what happens afterwards.
        desktop->calls.clear();
        desktop->messageBoxes.clear();
    }

    void cleanup()
    {
        w.reset();
        desktop.reset();
    }

    void layout_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("pixels");
        QTest::addColumn<QString>("text");
        // Positions in twips / 15, relative to the window or the frame.
        QTest::newRow("window") << "FrmMain" << QRect(0, 0, 430, 234) << "Tessik";
        QTest::newRow("Frame1") << "Frame1" << QRect(8, 8, 185, 185) << "输入";
        QTest::newRow("Frame2") << "Frame2" << QRect(200, 8, 129, 57) << "程序设置";
        QTest::newRow("Frame3") << "Frame3" << QRect(336, 8, 80, 57) << "插入点设置";
        QTest::newRow("Frame4") << "Frame4" << QRect(200, 72, 105, 121) << "图形设置";
        QTest::newRow("LblWaJ_1") << "LblWaJ_1" << QRect(8, 19, 49, 17) << "外    径";
        QTest::newRow("CmbWJ") << "CmbWJ" << QRect(64, 16, 81, 20) << "直径";
        QTest::newRow("LblWanJ_1") << "LblWanJ_1" << QRect(8, 43, 49, 17) << "角    度";
        QTest::newRow("CmbHd") << "CmbHd" << QRect(64, 40, 81, 20) << "弯角";
        QTest::newRow("LblWanJ_0") << "LblWanJ_0" << QRect(8, 67, 49, 17) << "曲率半径";
        QTest::newRow("TxtWJ") << "TxtWJ" << QRect(64, 65, 81, 18) << "(空白)";
        QTest::newRow("LblWanJ_3") << "LblWanJ_3" << QRect(8, 91, 49, 17) << "中 节 数";
        QTest::newRow("TxtZJS") << "TxtZJS" << QRect(64, 88, 81, 18) << "(空白)";
        QTest::newRow("VScroll1") << "VScroll1" << QRect(147, 88, 20, 17) << "";
        QTest::newRow("LblCZ_1") << "LblCZ_1" << QRect(8, 115, 49, 17) << "材    质";
        QTest::newRow("TxtCZ") << "TxtCZ" << QRect(64, 111, 81, 18) << "7850";
        QTest::newRow("LblBH_1") << "LblBH_1" << QRect(8, 139, 49, 17) << "壁    厚";
        QTest::newRow("CmbBH") << "CmbBH" << QRect(64, 135, 81, 20) << "(空白)";
        QTest::newRow("Label3") << "Label3" << QRect(8, 160, 49, 17) << "重    量";
        QTest::newRow("TxtWeight") << "TxtWeight" << QRect(64, 160, 81, 18) << "(空白)";
        // Unit labels size themselves to their text: only their place is fixed.
        QTest::newRow("Label1_0") << "Label1_0" << QRect(152, 19, 0, 0) << "mm";
        QTest::newRow("LblWanJ_2") << "LblWanJ_2" << QRect(152, 43, 0, 0) << "度";
        QTest::newRow("Label1_2") << "Label1_2" << QRect(152, 67, 0, 0) << "mm";
        QTest::newRow("Label1_3") << "Label1_3" << QRect(152, 115, 0, 0) << "kg/m";
        QTest::newRow("Label1_1") << "Label1_1" << QRect(152, 139, 0, 0) << "mm";
        QTest::newRow("Label4") << "Label4" << QRect(152, 160, 0, 0) << "kg";
        QTest::newRow("Label2") << "Label2" << QRect(13, 200, 0, 0) << "注：外径中加\"*\"者为基本系列，其它为辅助系列。";
        QTest::newRow("LblInfo") << "LblInfo" << QRect(13, 219, 0, 0) << "AutoCAD已经启动。";  // Start found the (fake) CAD running
        QTest::newRow("ChkQuit") << "ChkQuit" << QRect(8, 16, 113, 12) << "绘图结束退出(&H)";
        QTest::newRow("OptGc") << "OptGc" << QRect(8, 16, 68, 17) << "管道中心";
        QTest::newRow("OptWc") << "OptWc" << QRect(7, 32, 68, 17) << "弯曲中心";
        QTest::newRow("OptTX_0") << "OptTX_0" << QRect(8, 16, 81, 17) << "主视图(&B)";
        QTest::newRow("OptTX_1") << "OptTX_1" << QRect(8, 32, 81, 17) << "上视图(&U)";
        QTest::newRow("OptTX_2") << "OptTX_2" << QRect(8, 48, 81, 17) << "下视图(&D)";
        QTest::newRow("OptTX_3") << "OptTX_3" << QRect(8, 64, 81, 17) << "左视图(&L)";
        QTest::newRow("OptTX_4") << "OptTX_4" << QRect(8, 80, 81, 17) << "右视图(&R)";
        QTest::newRow("OptTX_5") << "OptTX_5" << QRect(8, 96, 89, 17) << "所有视图(&A)";
        QTest::newRow("CmdStart") << "CmdStart" << QRect(312, 80, 105, 25) << "启动AutoCAD(&C)";
        QTest::newRow("CmdDraw1") << "CmdDraw1" << QRect(312, 109, 105, 25) << "绘       图(&D)";
        QTest::newRow("CmdAbout") << "CmdAbout" << QRect(312, 139, 105, 25) << "关       于(&A)";
        QTest::newRow("CmdQuit") << "CmdQuit" << QRect(312, 168, 105, 25) << "退       出(&Q)";
        QTest::newRow("CmdIquire") << "CmdIquire" << QRect(536, 152, 89, 25) << "查询(&I)";
        QTest::newRow("Line1_1") << "Line1_1" << QRect(3, 215, 424, 1) << "";
        QTest::newRow("Line1_0") << "Line1_0" << QRect(3, 216, 424, 2) << "";
    }

    void layout()
    {
        QFETCH(QString, name);
        QFETCH(QRect, pixels);
        QFETCH(QString, text);
        QCOMPARE(w->logicalDpiX(), 96);
        QWidget* c = control(name);
        if (pixels.size().isNull()) {
            QCOMPARE(c->pos(), pixels.topLeft());
        } else if (c == w->ChkQuit) {
            // Too low for its text: it may grow about its middle.
            QCOMPARE(c->x(), pixels.x());
            QCOMPARE(c->width(), pixels.width());
            QCOMPARE(c->y() + c->height() / 2, pixels.y() + pixels.height() / 2);
            QVERIFY(c->height() >= c->fontMetrics().height());
        } else {
            // The window's client area lies under its menu bar.
            QCOMPARE(c->isWindow() ? QRect(QPoint(0, 0), w->ClientArea->size()) : c->geometry(), pixels);
        }
        QString shown;
        if (auto* b = qobject_cast<QAbstractButton*>(c)) shown = b->text();
        if (auto* l = qobject_cast<QLabel*>(c)) shown = l->text();
        if (auto* e = qobject_cast<QLineEdit*>(c)) shown = e->text();
        if (auto* g = qobject_cast<QGroupBox*>(c)) shown = g->title();
        if (auto* l = qobject_cast<QComboBox*>(c)) shown = l->currentText();
        if (c->isWindow()) shown = c->windowTitle();
        QCOMPARE(shown, text);
    }

    void captionsFitTheirBoxes()
    {
        const auto room = [](QAbstractButton* b) {
            QStyleOptionButton opt;
            opt.initFrom(b);
            opt.text = b->text();
            const QStyle::SubElement contents = qobject_cast<QRadioButton*>(b) ? QStyle::SE_RadioButtonContents
                                                : qobject_cast<QCheckBox*>(b)  ? QStyle::SE_CheckBoxContents
                                                                               : QStyle::SE_PushButtonContents;
            return b->style()->subElementRect(contents, &opt, b).width();
        };
        for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
            const int needed = b->fontMetrics().horizontalAdvance(QString(b->text()).remove('&'));
            QVERIFY2(needed <= room(b), qPrintable(b->objectName()));
        }
        for (QLabel* label : w->findChildren<QLabel*>())
            QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
                     qPrintable(label->objectName()));
    }

    void startUpState()
    {
        QCOMPARE(w->chkQuitValue(), 2);
        QCOMPARE(w->ChkQuit->checkState(), Qt::PartiallyChecked);
        QCOMPARE(QApplication::focusWidget(), w->CmbWJ);
        QCOMPARE(w->VScroll1->value(), 20);
        QVERIFY(w->OptTX[0]->isChecked());
        QVERIFY(w->OptWc->isChecked());
        for (QWidget* off : {(QWidget*)w->OptTX[1], (QWidget*)w->OptTX[2], (QWidget*)w->OptTX[5],
                             (QWidget*)w->OptGc, (QWidget*)w->OptWc, (QWidget*)w->Frame3})
            QVERIFY2(!off->isEnabled(), qPrintable(off->objectName()));
        QVERIFY(!w->CmdIquire->isVisible());
        QVERIFY(w->TxtWeight->isReadOnly());
        QCOMPARE(w->minimumSize(), w->maximumSize());
        QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(w->windowFlags() & Qt::WindowMinimizeButtonHint);
        QCOMPARE(w->windowIcon().pixmap(32, 32).size(), QSize(32, 32));
        QCOMPARE(desktop->beeps, 0);
        QCOMPARE(desktop->endProgramCalls, 0);
    }

    void clickClearsThenTicksTheQuitOption()
    {
        QTest::mouseClick(w->ChkQuit, Qt::LeftButton);
        QCOMPARE(w->chkQuitValue(), 0);
        QTest::mouseClick(w->ChkQuit, Qt::LeftButton);
        QCOMPARE(w->chkQuitValue(), 1);
        QTest::mouseClick(w->ChkQuit, Qt::LeftButton);
        QCOMPARE(w->chkQuitValue(), 0);
    }

    void tabOrder()
    {
        // A group of options is one stop, at its selected option.
        const QStringList expected{"CmbHd",    "TxtWJ",    "TxtZJS",   "TxtCZ",   "CmbBH",    "TxtWeight",
                                   "ChkQuit",  "OptTX_0",  "CmdStart", "CmdDraw1", "CmdAbout", "CmdQuit",
                                   "VScroll1", "CmbWJ"};
        QStringList visited;
        for (int i = 0; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited, expected);
    }

    // Reached by Tab, the spinner shows that it has the focus.
    void spinnerShowsItsFocus()
    {
        focus(w->CmdQuit);
        const QImage without = w->VScroll1->grab().toImage();
        QTest::keyClick(w->CmdQuit, Qt::Key_Tab);
        QVERIFY(w->VScroll1->hasFocus());
        QCOMPARE(w->VScroll1->grab().toImage().size(), without.size());
        QVERIFY(w->VScroll1->grab().toImage() != without);
    }

    void accessKeys_data()
    {
        QTest::addColumn<Qt::Key>("key");
        QTest::addColumn<QString>("pressed");     // button whose click the key raises
        QTest::addColumn<QString>("viewChecked"); // the checked view option afterwards
        QTest::addColumn<int>("chkQuit");
        QTest::newRow("Alt+D draws, not the disabled view") << Qt::Key_D << "CmdDraw1" << "OptTX_0" << 2;
        QTest::newRow("Alt+A About, not the disabled view") << Qt::Key_A << "CmdAbout" << "OptTX_0" << 2;
        QTest::newRow("Alt+C connects") << Qt::Key_C << "CmdStart" << "OptTX_0" << 2;
        QTest::newRow("Alt+H quit option") << Qt::Key_H << "ChkQuit" << "OptTX_0" << 0;
        QTest::newRow("Alt+L left view") << Qt::Key_L << "OptTX_3" << "OptTX_3" << 2;
        QTest::newRow("Alt+R right view") << Qt::Key_R << "OptTX_4" << "OptTX_4" << 2;
        QTest::newRow("Alt+U nothing") << Qt::Key_U << "" << "OptTX_0" << 2;
        QTest::newRow("Alt+I nothing") << Qt::Key_I << "" << "OptTX_0" << 2;
    }

    void accessKeys()
    {
        QFETCH(Qt::Key, key);
        QFETCH(QString, pressed);
        QFETCH(QString, viewChecked);
        QFETCH(int, chkQuit);
        QStringList clicks;
        for (QAbstractButton* b : w->findChildren<QAbstractButton*>())
            connect(b, &QAbstractButton::clicked, this, [&clicks, b] { clicks << b->objectName(); });
        if (key == Qt::Key_L || key == Qt::Key_R) w->OptTX[0]->setChecked(true);

        QTest::keyClick(QApplication::focusWidget(), key, Qt::AltModifier);
        QTest::qWait(300);  // an access key animates the press before it clicks

        QCOMPARE(clicks, pressed.isEmpty() ? QStringList() : QStringList{pressed});
        QVERIFY(control<QRadioButton>(viewChecked)->isChecked());
        QCOMPARE(w->chkQuitValue(), chkQuit);
        QCOMPARE(desktop->endProgramCalls, 0);
    }

    void quitByButtonAccessKeyAndEsc_data()
    {
        QTest::addColumn<QString>("focusIn");
        QTest::addColumn<Qt::Key>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::newRow("Esc in a list") << "CmbWJ" << Qt::Key_Escape << Qt::KeyboardModifiers();
        QTest::newRow("Esc in a text box") << "TxtZJS" << Qt::Key_Escape << Qt::KeyboardModifiers();
        QTest::newRow("Esc on a button") << "CmdDraw1" << Qt::Key_Escape << Qt::KeyboardModifiers();
        QTest::newRow("Alt+Q") << "TxtWJ" << Qt::Key_Q << Qt::KeyboardModifiers(Qt::AltModifier);
        QTest::newRow("Enter on the Quit button") << "CmdQuit" << Qt::Key_Return << Qt::KeyboardModifiers();
    }

    void quitByButtonAccessKeyAndEsc()
    {
        QFETCH(QString, focusIn);
        QFETCH(Qt::Key, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        focus(control(focusIn));
        QTest::keyClick(control(focusIn), key, modifiers);
        QTRY_COMPARE(desktop->endProgramCalls, 1);
        QCOMPARE(desktop->calls, QStringList{"endProgram"});
    }

    void escWithAnOpenListOnlyClosesIt()
    {
        w->CmbWJ->addItems({"*100", "108"});
        w->CmbWJ->showPopup();
        QTRY_VERIFY(QApplication::activePopupWidget());
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
        QTRY_VERIFY(!QApplication::activePopupWidget());
        QCOMPARE(desktop->endProgramCalls, 0);
        // The next key press comes a moment later, to the list's field.
        QTest::qWait(20);
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        focus(w->CmbWJ);
        QTest::keyClick(w->CmbWJ, Qt::Key_Escape);
        QCOMPARE(desktop->endProgramCalls, 1);
    }

    void typedCharacters_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("keys");  // one character per key; see typedCharacters
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("beeps");
        // Typing starts with the whole text selected, as after focusing.
        // "<" is Backspace, "~" Delete, "^" Ctrl+V, "|" Enter, "#" Ctrl+A.
        // In TxtZJS "012" moves the bar to 12, which writes "12" back.
        for (const char* f : {"TxtWJ", "TxtCZ", "TxtZJS"}) {
            const QByteArray n(f);
            QTest::newRow(n + " digits") << f << "0129" << (n == "TxtZJS" ? "129" : "0129") << 0;
            QTest::newRow(n + " letters") << f << "1aZ" << "1" << 2;
            QTest::newRow(n + " signs and space") << f << "-+ 5" << "5" << 3;
            QTest::newRow(n + " Enter") << f << "1|" << "1" << 1;
            QTest::newRow(n + " Ctrl+V does not paste") << f << "1^" << "1" << 1;
            QTest::newRow(n + " Ctrl+A") << f << "1#" << "1" << 1;
            QTest::newRow(n + " Chinese") << f << "2中香" << "2" << 2;
            QTest::newRow(n + " Delete deletes") << f << "12~" << "" << 0;
        }
        QTest::newRow("TxtWJ two points") << "TxtWJ" << "1.2.3" << "1.2.3" << 0;
        QTest::newRow("TxtCZ two points") << "TxtCZ" << "7..8" << "7..8" << 0;
        QTest::newRow("TxtZJS refuses a point") << "TxtZJS" << "1.5" << "15" << 1;
        QTest::newRow("TxtWJ backspace deletes") << "TxtWJ" << "12<" << "1" << 0;
        QTest::newRow("TxtCZ backspace deletes") << "TxtCZ" << "78<" << "7" << 0;
        QTest::newRow("TxtZJS backspace refused") << "TxtZJS" << "12<" << "12" << 1;
    }

    void typedCharacters()
    {
        QFETCH(QString, field);
        QFETCH(QString, keys);
        QFETCH(QString, text);
        QFETCH(int, beeps);
        QGuiApplication::clipboard()->setText("999");
        auto* edit = control<QLineEdit>(field);
        focus(edit);
        edit->selectAll();
        for (QChar k : keys) {
            if (k == '<') QTest::keyClick(edit, Qt::Key_Backspace);
            else if (k == '~') {
                QTest::keyClick(edit, Qt::Key_Home);
                QTest::keyClick(edit, Qt::Key_Delete);
                QTest::keyClick(edit, Qt::Key_Delete);
            } else if (k == '^') QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
            else if (k == '#') QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
            else if (k == '|') QTest::keyClick(edit, Qt::Key_Return);
            else QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(k), Qt::NoModifier);
        }
        QCOMPARE(edit->text(), text);
        QCOMPARE(desktop->beeps, beeps);
    }

    void characterCodes_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("code");  // -1: no character
        QTest::newRow("keypad digit") << int(Qt::Key_5) << int(Qt::KeypadModifier) << "5" << 53;
        QTest::newRow("keypad enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << "\r" << 13;
        QTest::newRow("high character reads negative") << 0 << 0 << QString(QChar(0x9999)) << int(std::int16_t(0x9999));
        QTest::newRow("delete") << int(Qt::Key_Delete) << 0 << "\x7f" << -1;
        QTest::newRow("tab") << int(Qt::Key_Tab) << 0 << "\t" << -1;
        QTest::newRow("access key") << int(Qt::Key_D) << int(Qt::AltModifier) << "d" << -1;
        QTest::newRow("cursor key") << int(Qt::Key_Left) << 0 << "" << -1;
    }

    void characterCodes()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, text);
        QFETCH(int, code);
        const QKeyEvent event(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers), text);
        const auto got = characterCode(event);
        QCOMPARE(got ? int(*got) : -1, code);
    }

    void focusSelectsTheWholeText()
    {
        focus(w->TxtWJ);
        QCOMPARE(w->TxtWJ->selectedText(), "(空白)");
        QTest::keyClick(w->TxtWJ, '4');
        QCOMPARE(w->TxtWJ->text(), "4");

        QTest::mouseClick(w->TxtCZ, Qt::LeftButton, {}, QPoint(5, 5));
        QTRY_COMPARE(w->TxtCZ->selectedText(), "7850");
        QCOMPARE(desktop->beeps, 0);
    }

    void focusingTheSegmentCountReplacesThePlaceholder()
    {
        focus(w->TxtZJS);
        QCOMPARE(w->TxtZJS->text(), "1");
        QCOMPARE(w->TxtZJS->selectedText(), "1");
        QCOMPARE(w->VScroll1->value(), 1);
        // Only the exact placeholder is replaced.
        focus(w->TxtWJ);
        w->TxtZJS->setText("(空白) ");
        focus(w->TxtZJS);
        QCOMPARE(w->TxtZJS->text(), "(空白) ");
        QCOMPARE(w->TxtWJ->text(), "(空白)");
    }

    void spinnerAndText_data()
    {
        QTest::addColumn<QString>("typed");  // typed into TxtZJS after focusing it (bar then at 1)
        QTest::addColumn<int>("barAfterTyping");
        QTest::addColumn<QString>("textAfterTyping");
        QTest::addColumn<bool>("up");  // then one arrow click
        QTest::addColumn<int>("barAfterClick");
        QTest::addColumn<QString>("textAfterClick");
        // "2" moves the bar to 2, then "25" leaves it there.
        QTest::newRow("25 leaves the bar") << "25" << 2 << "25" << true << 3 << "3";
        QTest::newRow("0 leaves the bar") << "0" << 1 << "0" << true << 2 << "2";
        QTest::newRow("05 sets 5 and writes 5") << "05" << 5 << "5" << false << 4 << "4";
        QTest::newRow("20 then up stays") << "20" << 20 << "20" << true << 20 << "20";
        QTest::newRow("1 then down stays") << "1" << 1 << "1" << false << 1 << "1";
        QTest::newRow("99999 overflows quietly") << "99999" << 9 << "99999" << false << 8 << "8";
    }

    void spinnerAndText()
    {
        QFETCH(QString, typed);
        QFETCH(int, barAfterTyping);
        QFETCH(QString, textAfterTyping);
        QFETCH(bool, up);
        QFETCH(int, barAfterClick);
        QFETCH(QString, textAfterClick);
        focus(w->TxtZJS);
        QTest::keyClicks(w->TxtZJS, typed);
        QCOMPARE(w->VScroll1->value(), barAfterTyping);
        QCOMPARE(w->TxtZJS->text(), textAfterTyping);
        clickArrow(up);
        QCOMPARE(w->VScroll1->value(), barAfterClick);
        QCOMPARE(w->TxtZJS->text(), textAfterClick);
        QCOMPARE(desktop->beeps, 0);
    }

    void arrowAtTheEndChangesNothingAtStartUp()
    {
        QSignalSpy textChanges(w->TxtZJS, &QLineEdit::textChanged);
        clickArrow(true);
        QCOMPARE(w->VScroll1->value(), 20);
        QCOMPARE(w->TxtZJS->text(), "(空白)");
        QCOMPARE(textChanges.count(), 0);
        clickArrow(false);
        QCOMPARE(w->VScroll1->value(), 19);
        QCOMPARE(w->TxtZJS->text(), "19");
    }

    void keysOnTheSpinner()
    {
        focus(w->VScroll1);
        QStringList texts;
        for (Qt::Key key : {Qt::Key_Up, Qt::Key_Down, Qt::Key_PageDown, Qt::Key_Up, Qt::Key_PageUp}) {
            QTest::keyClick(w->VScroll1, key);
            texts << w->TxtZJS->text();
        }
        QCOMPARE(texts, (QStringList{"(空白)", "19", "17", "18", "20"}));
    }

    // A text the program writes shows from its first character, however
    // narrow the field; the user's own typing keeps the cursor where it is.
    void writtenTextsShowTheirBeginning()
    {
        focus(w->CmdAbout);
        for (QLineEdit* field : {w->CmbWJ->lineEdit(), w->TxtWJ, w->TxtWeight}) {
            field->setText("220.000005220.000005");
            QVERIFY(field->fontMetrics().horizontalAdvance(field->text()) > field->width());
            QCOMPARE(field->cursorPosition(), 0);
        }
        focus(w->TxtWJ);
        QTest::keyClicks(w->TxtWJ, "12");
        QCOMPARE(w->TxtWJ->cursorPosition(), w->TxtWJ->text().size());
    }

    // The context menu of a filtered field speaks Chinese, shows no shortcut
    // that would only beep, and pastes through the field's filter.
    void contextMenuOfAFilteredField()
    {
        focus(w->TxtWJ);
        w->TxtWJ->clear();
        QGuiApplication::clipboard()->setText("12a.5");
        QContextMenuEvent request(QContextMenuEvent::Mouse, QPoint(4, 4), w->TxtWJ->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(w->TxtWJ, &request);
        QMenu* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(menu);
        QAction* paste = nullptr;
        for (QAction* action : menu->actions()) {
            if (action->isSeparator()) continue;
            QVERIFY2(!action->text().contains(u'\t'), qPrintable(action->text()));
            if (action->text().contains("粘贴")) paste = action;
        }
        QVERIFY(paste);
        paste->trigger();
        menu->close();
        QCOMPARE(w->TxtWJ->text(), "12.5");
        QCOMPARE(desktop->beeps, 1);
    }

    void textsFromCodeMoveTheBar()
    {
        QSignalSpy moves(w->VScroll1, &QScrollBar::valueChanged);
        w->TxtZJS->setText("(空白)");
        w->TxtZJS->setText("4");
        QCOMPARE(w->VScroll1->value(), 4);
        w->TxtZJS->setText("(空白)");
        QCOMPARE(w->VScroll1->value(), 4);
        w->TxtZJS->setText("2.5");  // rounds to the even neighbour
        QCOMPARE(w->VScroll1->value(), 2);
        QCOMPARE(w->TxtZJS->text(), "2");
        QCOMPARE(moves.count(), 2);
    }

    void inputParameterReadsTheFourFields()
    {
        PendingError atStart = w->InputParameter();
        QVERIFY(atStart.pending());  // "弯角" is no angle

        w->CmbHd->setEditText("90");
        w->TxtZJS->setText("2");
        w->CmbWJ->setEditText("*100");
        w->TxtWJ->setText("150");
        w->TxtCZ->setText("1");
        const PendingError e = w->InputParameter();
        QVERIFY(!e.pending());
        QCOMPARE(w->record.DblAB, 90.0);
        QCOMPARE(int(w->record.IntN), 2);
        QCOMPARE(w->record.DblD, 100.0);
        QCOMPARE(w->record.DblR, 150.0);
        QCOMPARE(w->record.DblB, 30.0);
        QCOMPARE(w->record.DblR1, 100.0);
    }

    void selectingAListEntryFromCodeRaisesItsClick()
    {
        w->CmbBH->addItems({"3", "3.5", "4"});
        QSignalSpy clicks(w->CmbBH, &QComboBox::activated);
        QVERIFY(FrmMain::selectListEntry(w->CmbBH, 1).ok());
        QVERIFY(FrmMain::selectListEntry(w->CmbBH, 1).ok());
        QCOMPARE(clicks.count(), 2);
        QCOMPARE(w->CmbBH->currentText(), "3.5");

        const Status outside = FrmMain::selectListEntry(w->CmbBH, 40);
        QVERIFY(!outside.ok());
        QCOMPARE(outside.error().number, 380);
        QCOMPARE(w->CmbBH->currentIndex(), 1);
        QCOMPARE(clicks.count(), 2);
    }

    void lostFocusIgnoresOpeningTheList()
    {
        int lost = 0;
        onLostFocus(w->CmbWJ, [&lost] { ++lost; });
        w->CmbWJ->addItems({"*100", "108"});
        w->CmbWJ->showPopup();
        QTRY_VERIFY(QApplication::activePopupWidget());
        w->CmbWJ->hidePopup();
        QTRY_VERIFY(!QApplication::activePopupWidget());
        QCOMPARE(lost, 0);
        QTest::keyClick(w->CmbWJ, Qt::Key_Tab);
        QCOMPARE(lost, 1);
        QCOMPARE(QApplication::focusWidget(), w->CmbHd);
    }
};

QTEST_MAIN(FrmMainTest)
#include "FrmMainTest.moc"
