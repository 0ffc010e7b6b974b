// The "下料 - Tessik" window beside a real main window: it follows the fields,
// saves the templates and draws them into a recording CAD program.

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPainterPath>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <numbers>
#include <utility>

#include <sys/stat.h>

#include <QDoubleSpinBox>

#include "EntityPreview.h"
#include "FabricationWindow.h"
#include "TemplatePreview.h"
#include "TemplateEntities.h"
#include <QScreen>
#include "FakeCad.h"
#include "FakeDesktop.h"
#include "FrmMain.h"

using namespace tessik;

class FabricationWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FakeDesktop> desktop;
    std::shared_ptr<FakeCad> cad;
    std::unique_ptr<FrmMain> main;
    std::unique_ptr<FabricationWindow> w;

    void design(const QString& angle, const QString& segments, const QString& diameter, const QString& radius,
                const QString& wall = QStringLiteral("9.3"))
    {
        main->CmbHd->setEditText(angle);
        main->TxtZJS->setText(segments);
        main->CmbWJ->setEditText(diameter);
        main->TxtWJ->setText(radius);
        main->CmbBH->setEditText(wall);
    }

    // What the shown templates send to a CAD program.
    std::vector<LayeredEntity> sheetEntities() const
    {
        return templateEntities(templateSheet(*w->fabrication(), w->templateOptions()).valueOr({}));
    }

    int count(const std::string& kind) const
    {
        int n = 0;
        for (const FakeCadEntity& e : cad->entities) n += e.kind == kind;
        return n;
    }

private slots:
    // The printer correction is kept per user: here in Qt's test folders.
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QFile::remove(FabricationWindow::printSettingsFile());
    }

    void init()
    {
        desktop = std::make_unique<FakeDesktop>();
        cad = FakeCad::create();
        main = std::make_unique<FrmMain>(*desktop, *cad);
        main->Form_Load();
        w = std::make_unique<FabricationWindow>(*main, *desktop);
        design("90", "3", "273", "381");
        desktop->messageBoxes.clear();
        desktop->activatedTitles.clear();
        cad->calls.clear();
    }

    void cleanup()
    {
        w.reset();
        main.reset();
    }

    void followsTheFieldsLive()
    {
        QCOMPARE(w->windowTitle(), QStringLiteral("下料 - Tessik"));
        QCOMPARE(w->Pages->currentIndex(), 1);
        QCOMPARE(w->TblCutList->rowCount(), 2);
        QCOMPARE(w->TblCutList->item(1, 0)->text(), QStringLiteral("中节"));
        QCOMPARE(w->TblCutList->item(1, 2)->text(), QStringLiteral("151.6 mm"));
        QVERIFY2(w->LblFacts->text().contains(QStringLiteral("每道焊缝长：866.08 mm")), qPrintable(w->LblFacts->text()));
        QVERIFY(w->LblFacts->text().contains(QStringLiteral("切口回缩：27.15 mm")));
        QVERIFY(w->LblFacts->text().contains(QStringLiteral("精确重量：36.67 kg")));
        QVERIFY(w->LblFacts->text().contains(QStringLiteral("重量（重量栏）：35.96361 kg")));

        main->TxtZJS->setText(QStringLiteral("(空白)"));
        QCOMPARE(w->Pages->currentIndex(), 0);
        QCOMPARE(w->LblInputError->text(), QStringLiteral("参数输入出错。"));
        QVERIFY(!w->fabrication());

        main->TxtZJS->setText(QStringLiteral("0"));
        QCOMPARE(w->Pages->currentIndex(), 1);
        QCOMPARE(w->TblCutList->rowCount(), 1);
        QVERIFY2(w->LblWarnings->text().contains(QStringLiteral("22.5")), qPrintable(w->LblWarnings->text()));
        main->CmbBH->setEditText(QStringLiteral("(空白)"));
        QVERIFY(w->LblFacts->text().contains(QStringLiteral("重量（重量栏）：(空白) kg")));
    }

    void optionsAndWhatCannotBeDeveloped()
    {
        w->CmbTemplateDiameter->setCurrentIndex(2);
        QCOMPARE(w->fabrication()->templateDiameter, 273 - 2 * 9.3);
        w->SpnDivisions->setValue(24);
        QCOMPARE(w->fabrication()->ordinates.divisions, 24);
        main->CmbBH->setEditText(QStringLiteral("(空白)"));  // an inside template needs the wall
        QCOMPARE(w->Development->currentIndex(), 0);
        QVERIFY(w->LblNoDevelopment->text().startsWith(QStringLiteral("无法展开：")));
        QVERIFY(!w->CmdDraw->isEnabled());

        w->CmbTemplateDiameter->setCurrentIndex(0);
        design("180", "0", "273", "381");
        QCOMPARE(w->Development->currentIndex(), 0);
        QVERIFY2(w->LblNoDevelopment->text().contains(QStringLiteral("90 度")), qPrintable(w->LblNoDevelopment->text()));
        QVERIFY(!w->CmdSavePdf->isEnabled());
    }

    // The checks follow their own fields and the design; every value can be
    // typed over and nothing asks the user anything.
    void codeChecksFollowTheInputs()
    {
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(QStringLiteral(TESSIK_DATA_DIR)));  // the material table
        w = std::make_unique<FabricationWindow>(*main, *desktop);
        QVERIFY(QDir::setCurrent(before));
        QCOMPARE(w->CmbMaterial->count(), 3);
        QCOMPARE(w->codeCheckPassed(), std::optional<bool>(true));  // 273 mm at R 381: radius only

        w->TxtPressure->setText(QStringLiteral("2"));
        QCOMPARE(w->codeCheckPassed(), std::optional<bool>(true));
        QVERIFY2(w->LblCodeCheck->text().contains(QStringLiteral("式 (4a) 起控")), qPrintable(w->LblCodeCheck->text()));
        QVERIFY(w->LblCodeCheck->text().contains(QStringLiteral("S = 137.9 MPa")));
        w->TxtPressure->setText(QStringLiteral("30"));
        QCOMPARE(w->codeCheckPassed(), std::optional<bool>(false));
        w->TxtStress->setText(QStringLiteral("2000"));  // typed over the table
        QCOMPARE(w->codeCheckPassed(), std::optional<bool>(true));
        w->TxtJointFactor->setText(QStringLiteral("abc"));
        QCOMPARE(w->codeCheckPassed(), std::nullopt);
        QVERIFY(w->LblCodeCheck->text().contains(QStringLiteral("“abc”不是数")));
        w->TxtJointFactor->setText(QStringLiteral("1"));
        w->TxtStress->clear();
        w->TxtTemperature->setText(QStringLiteral("500"));  // beyond the table
        QCOMPARE(w->codeCheckPassed(), std::nullopt);

        w->TxtTemperature->setText(QStringLiteral("20"));
        w->TxtPressure->setText(QStringLiteral("0.5"));
        main->TxtWJ->setText(QStringLiteral("250"));  // below A / tan(theta) + D / 2
        QCOMPARE(w->codeCheckPassed(), std::optional<bool>(false));
        QVERIFY(w->LblCodeCheck->text().contains(QStringLiteral("不满足")));
        QVERIFY(desktop->messageBoxes.empty());

        // A standard proposal below the least radius is marked as one: 88.9 mm at
        // 30 degrees is proposed a single mitre at 1.5 D.
        QVERIFY(QDir::setCurrent(QStringLiteral(TESSIK_DATA_DIR)));
        design("30", "0", "88.9", "133.35", "3.2");
        QVERIFY(QDir::setCurrent(before));
        QCOMPARE(w->codeCheckPassed(), std::optional<bool>(false));
        QVERIFY2(w->LblCodeCheck->text().contains(QStringLiteral("标准表建议的半径与中节数不满足")),
                 qPrintable(w->LblCodeCheck->text()));
        main->TxtWJ->setText(QStringLiteral("140"));  // typed over: no longer the proposal
        QVERIFY(!w->LblCodeCheck->text().contains(QStringLiteral("标准表")));
        QVERIFY(desktop->messageBoxes.empty());
    }

    void refusesATemplateThatWouldCrossItself()
    {
        main->TxtWJ->setText(QStringLiteral("136"));  // below 273 / 2
        QCOMPARE(w->Development->currentIndex(), 0);
        QVERIFY2(w->LblNoDevelopment->text().contains(QStringLiteral("自相交叉")), qPrintable(w->LblNoDevelopment->text()));
        for (QPushButton* b : {w->CmdSavePdf, w->CmdSaveDxf, w->CmdSaveSvg, w->CmdDraw}) QVERIFY(!b->isEnabled());
        const TemplateDrawCommand::Outcome out = w->drawIntoCad();
        QCOMPARE(int(out.ending), int(TemplateDrawCommand::Ending::Refused));
        QCOMPARE(out.entities, 0);
        QVERIFY(cad->entities.empty());
        QVERIFY(!cad->called("getpoint 请输入样板插入点"));  // refused before the pick
        QCOMPARE(desktop->messageBoxes.size(), 1);
        QVERIFY(desktop->messageBoxes[0].text.contains(QStringLiteral("自相交叉")));
        main->TxtWJ->setText(QStringLiteral("136.5"));
        QCOMPARE(w->Development->currentIndex(), 1);
    }

    // Seam, kerf and plate reach the templates; the ordinate table is the
    // development's; 关闭 stays when the fields cannot be read.
    void templateOptionsOrdinatesAndTheErrorPage()
    {
        const double plain = w->fabrication()->templateWidth;
        w->CmbTemplateDiameter->setCurrentIndex(3);
        w->CmbSeam->setCurrentIndex(1);
        w->SpnKerf->setValue(3);
        QCOMPARE(w->templateOptions().seam, SeamPosition::side);
        QCOMPARE(w->templateOptions().kerf, 3.0);
        QCOMPARE(w->fabrication()->templateWidth, std::numbers::pi * (273 - 9.3));
        QVERIFY(w->fabrication()->templateWidth < plain);
        const TemplateSheet sheet = templateSheet(*w->fabrication(), w->templateOptions()).valueOr({});
        QCOMPARE(sheet.pieces.size(), std::size_t(2));
        QCOMPARE(sheet.pieces[0].surfaceLines.size(), std::size_t(2));
        QVERIFY(QString::fromStdString(sheet.pieces[0].label).contains(QStringLiteral("割缝 3 mm")));

        w->SpnDivisions->setValue(12);
        QCOMPARE(w->TblOrdinates->rowCount(), 13);
        const Ordinates& o = w->fabrication()->ordinates;
        for (int row : {0, 5, 12}) {
            QCOMPARE(w->TblOrdinates->item(row, 2)->text(), QString::number(o.end[std::size_t(row)], 'f', 1));
            QCOMPARE(w->TblOrdinates->item(row, 3)->text(), QString::number(o.middle[std::size_t(row)], 'f', 1));
        }

        w->show();
        main->TxtZJS->setText(QStringLiteral("(空白)"));
        QCOMPARE(w->Pages->currentIndex(), 0);
        QVERIFY(w->CmdClose->isVisible());
        QVERIFY(!w->CmdDraw->isEnabled());
        QTest::mouseClick(w->CmdClose, Qt::LeftButton);
        QVERIFY(!w->isVisible());
    }

    // However large it was made, the window is put whole on the main window's screen.
    void opensWholeOnTheMainWindowsScreen()
    {
        const QRect room = main->screen()->availableGeometry();
        w->resize(room.width() + 500, room.height() + 400);
        main->move(room.right() - 50, room.top());
        w->placeOnScreenOf(*main);
        w->show();
        QVERIFY2(room.contains(w->frameGeometry()), qPrintable(QStringLiteral("%1,%2 %3x%4 in %5x%6").arg(
                     w->frameGeometry().x()).arg(w->frameGeometry().y()).arg(w->frameGeometry().width())
                     .arg(w->frameGeometry().height()).arg(room.width()).arg(room.height())));
    }

    void savesTheTemplates()
    {
        QTemporaryDir dir;
        w->askSaveFile = [&](const QString&, const QString&, const QString&) { return dir.filePath("elbow"); };
        QTest::mouseClick(w->CmdSaveSvg, Qt::LeftButton);
        QFile svg(dir.filePath("elbow.svg"));
        QVERIFY(svg.open(QIODevice::ReadOnly));
        QVERIFY(svg.readAll().startsWith("<?xml"));
        QTest::mouseClick(w->CmdSavePdf, Qt::LeftButton);
        QFile pdf(dir.filePath("elbow.pdf"));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QVERIFY(pdf.read(5) == "%PDF-");
        QTest::mouseClick(w->CmdSaveDxf, Qt::LeftButton);
        QFile dxf(dir.filePath("elbow.dxf"));
        QVERIFY(dxf.open(QIODevice::ReadOnly));
        QVERIFY(dxf.readAll().contains("LWPOLYLINE"));
        QCOMPARE(desktop->messageBoxes.size(), 0);

        w->askSaveFile = [&](const QString&, const QString&, const QString&) {
            return dir.filePath("no-such-folder/elbow.svg");
        };
        QTest::mouseClick(w->CmdSaveSvg, Qt::LeftButton);
        QCOMPARE(desktop->messageBoxes.size(), 1);
        QVERIFY(desktop->messageBoxes[0].text.startsWith(
            QStringLiteral("无法保存“%1”：").arg(dir.filePath("no-such-folder/elbow.svg"))));
        w->askSaveFile = [](const QString&, const QString&, const QString&) { return QString(); };
        QTest::mouseClick(w->CmdSavePdf, Qt::LeftButton);  // cancelled: nothing said
        QCOMPARE(desktop->messageBoxes.size(), 1);
    }

    // A PDF of more pages than anyone prints unasked is written only after a
    // question naming the count (which is the file's); an absurd one is
    // refused without a question and nothing is written.
    void asksBeforeALongPdfAndRefusesAnAbsurdOne()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("long.pdf"));
        design("90", "3", "1400", "2100");
        desktop->messageBoxAnswers = {msgbox::kAnswerCancel};
        QVERIFY(!w->savePdf(path));
        QCOMPARE(desktop->messageBoxes.size(), 1);
        const FakeDesktop::MessageBoxCall asked = desktop->messageBoxes[0];
        QCOMPARE(asked.style, msgbox::kOkCancel + msgbox::kQuestion);
        const QRegularExpressionMatch count =
            QRegularExpression(QStringLiteral("共 (\\d+) 页 A4 纸")).match(asked.text);
        QVERIFY2(count.hasMatch(), qPrintable(asked.text));
        QVERIFY(count.captured(1).toInt() > 100);
        QVERIFY(!QFile::exists(path));

        desktop->messageBoxAnswers = {msgbox::kAnswerOk};
        QVERIFY(w->savePdf(path));
        QCOMPARE(desktop->messageBoxes.size(), 2);
        QCOMPARE(desktop->messageBoxes[1].text, asked.text);
        QFile pdf(path);
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QCOMPARE(int(pdf.readAll().count("/Type /Page ")), count.captured(1).toInt());

        // Already there: an absurd size leaves it as it was.
        design("90", "3", "27300", "40000");
        desktop->messageBoxes.clear();
        const QDateTime before = QFileInfo(path).lastModified();
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!w->savePdf(path));
        QVERIFY(clock.elapsed() < 10000);
        QCOMPARE(desktop->messageBoxes.size(), 1);
        QCOMPARE(desktop->messageBoxes[0].style, msgbox::kExclamation);
        QVERIFY2(desktop->messageBoxes[0].text.startsWith(QStringLiteral("无法保存“%1”：").arg(path)) &&
                     desktop->messageBoxes[0].text.contains(QStringLiteral("2000 页")),
                 qPrintable(desktop->messageBoxes[0].text));
        QCOMPARE(QFileInfo(path).lastModified(), before);
        QCOMPARE(QFileInfo(path).size(), pdf.size());
    }

    // The layout follows the design and the group's inputs: the pipe's length
    // is the pieces' centre lines plus a kerf along the axis per cut; a sheet
    // too small is said and nothing can be saved; a fitting one is saved as DXF.
    void nestsThePieces()
    {
        QVERIFY(w->nest());
        const double theta = 90.0 / 8 / 180 * 3.14159265358979;
        QVERIFY(std::abs(w->nest()->pipeLength - 8 * 381 * std::tan(theta)) < 1e-9);
        w->SpnNestKerf->setValue(3);
        QVERIFY(std::abs(w->nest()->pipeLength - (8 * 381 * std::tan(theta) + 4 * 3 / std::cos(theta))) < 1e-9);
        QVERIFY(w->LblNest->text().contains(QStringLiteral("需管长 618.5 mm")));

        w->CmbNest->setCurrentIndex(1);
        w->SpnSheetWidth->setValue(500);
        w->SpnSheetHeight->setValue(400);
        QVERIFY(!w->nest());
        QVERIFY(w->LblNest->text().startsWith(QStringLiteral("无法排料：")));
        QVERIFY(!w->CmdSaveNestDxf->isEnabled());

        w->SpnSheetWidth->setValue(2000);
        w->SpnSheetHeight->setValue(1000);
        QVERIFY(w->nest() && w->CmdSaveNestDxf->isEnabled());
        QCOMPARE(w->nest()->stocks, 1);
        QVERIFY(w->LblNest->text().contains(QStringLiteral("利用率")));
        QTemporaryDir dir;
        w->askSaveFile = [&](const QString&, const QString&, const QString&) { return dir.filePath("nest"); };
        QTest::mouseClick(w->CmdSaveNestDxf, Qt::LeftButton);
        QFile dxf(dir.filePath("nest.dxf"));
        QVERIFY(dxf.open(QIODevice::ReadOnly));
        const QByteArray bytes = dxf.readAll();
        QCOMPARE(int(bytes.count("LWPOLYLINE")), 1 + 5);  // the sheet and five pieces
        QVERIFY(bytes.contains("STOCK"));

        design("abc", "3", "273", "381");
        QVERIFY(!w->nest());
    }

    // What the printed bar measured is kept for the next session and goes into
    // the PDF with the elbow's name; a length no printer gives is said beside
    // the field and refused at saving, writing nothing; an empty field prints as drawn.
    void keepsThePrinterCorrection()
    {
        QTemporaryDir dir;
        w->TxtPrintedBar->setText(QStringLiteral("98"));
        emit w->TxtPrintedBar->editingFinished();
        QVERIFY2(w->LblPrintCorrection->text().contains(QStringLiteral("1.02040816326531")),
                 qPrintable(w->LblPrintCorrection->text()));
        QCOMPARE(w->printSettings().scaleCorrection(), 100 / 98.0);
        const QString path = dir.filePath(QStringLiteral("c.pdf"));
        QVERIFY(w->savePdf(path));
        QFile pdf(path);
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        // "弯头：外径 273 mm" and the date, as the page's text codes.
        const QByteArray bytes = pdf.readAll();
        QVERIFY(bytes.contains("<5F2F5934FF1A59165F8400200032003700330020006D006D"));
        QVERIFY(bytes.contains("0032003000320036002D00310032002D00300038>"));

        w = std::make_unique<FabricationWindow>(*main, *desktop);
        QCOMPARE(w->TxtPrintedBar->text(), QStringLiteral("98"));
        QCOMPARE(w->printSettings().measuredBar, std::optional<double>(98));

        w->TxtPrintedBar->setText(QStringLiteral("50"));
        emit w->TxtPrintedBar->editingFinished();
        QVERIFY(w->LblPrintCorrection->text().contains(QStringLiteral("80 到 125")));
        desktop->messageBoxes.clear();
        const QString refused = dir.filePath(QStringLiteral("r.pdf"));
        QVERIFY(!w->savePdf(refused));
        QCOMPARE(desktop->messageBoxes.size(), 1);
        QVERIFY(!QFile::exists(refused));

        w->TxtPrintedBar->clear();
        emit w->TxtPrintedBar->editingFinished();
        QCOMPARE(w->printSettings().scaleCorrection(), 1.0);
        w = std::make_unique<FabricationWindow>(*main, *desktop);
        QCOMPARE(w->TxtPrintedBar->text(), QString());
    }

    // Each save refuses a FIFO, a folder and a read-only file (also as root),
    // leaving it as it was, and writes through a link.
    void savesOnlyOverWritableRegularFiles()
    {
        QTemporaryDir dir;
        const auto at = [&](const char* name) { return dir.filePath(QString::fromLatin1(name)); };
        const auto kind = [](const QString& p) {
            struct stat st {};
            return ::lstat(QFile::encodeName(p).constData(), &st) == 0 ? st.st_mode : mode_t{0};
        };
        QCOMPARE(::mkfifo(QFile::encodeName(at("fifo")).constData(), 0644), 0);
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
        QFile readOnly(at("read-only"));
        QVERIFY(readOnly.open(QIODevice::WriteOnly) && readOnly.write("kept") == 4);
        readOnly.close();
        QCOMPARE(::chmod(QFile::encodeName(at("read-only")).constData(), 0444), 0);
        QFile real(at("real"));
        QVERIFY(real.open(QIODevice::WriteOnly));
        real.close();
        QCOMPARE(::chmod(QFile::encodeName(at("real")).constData(), 0640), 0);
        QVERIFY(QFile::link(QStringLiteral("real"), at("link")));

        using Save = bool (FabricationWindow::*)(const QString&);
        const std::pair<Save, QByteArray> saves[] = {{&FabricationWindow::savePdf, "%PDF-"},
                                                     {&FabricationWindow::saveSvg, "<?xml"},
                                                     {&FabricationWindow::saveDxf, "  0"}};
        for (const auto& [save, start] : saves) {
            for (const char* name : {"fifo", "folder", "read-only"}) {
                const mode_t before = kind(at(name));
                desktop->messageBoxes.clear();
                QVERIFY(!(w.get()->*save)(at(name)));
                QCOMPARE(desktop->messageBoxes.size(), 1);
                QVERIFY2(desktop->messageBoxes[0].text.startsWith(QStringLiteral("无法保存“%1”：").arg(at(name))),
                         qPrintable(desktop->messageBoxes[0].text));
                QCOMPARE(kind(at(name)), before);
            }
            QVERIFY(readOnly.open(QIODevice::ReadOnly));
            QCOMPARE(readOnly.readAll(), QByteArray("kept"));
            readOnly.close();

            QVERIFY((w.get()->*save)(at("link")));
            QVERIFY(S_ISLNK(kind(at("link"))));
            QCOMPARE(kind(at("real")), mode_t(S_IFREG | 0640));
            QVERIFY(real.open(QIODevice::ReadOnly));
            QVERIFY(real.read(start.size()) == start);
            real.close();
        }
    }

    void drawsIntoTheDrawingAtThePickedPoint()
    {
        cad->pick = CadPoint{100, 200, 0};
        const TemplateDrawCommand::Outcome out = w->drawIntoCad();
        QCOMPARE(int(out.ending), int(TemplateDrawCommand::Ending::Drawn));
        QVERIFY(cad->called("getpoint 请输入样板插入点"));
        const std::vector<LayeredEntity> sent = sheetEntities();
        int lines = 0, texts = 0;
        for (const LayeredEntity& e : sent) {
            lines += std::holds_alternative<entities::Line>(e.entity);
            texts += std::holds_alternative<entities::Text>(e.entity);
        }
        QCOMPARE(count("lwpolyline"), 2);
        QVERIFY(lines > 2 * 3);  // at least the quarter lines of both pieces
        QCOMPARE(count("line"), lines);
        QCOMPARE(count("text"), texts);
        QVERIFY(std::find(cad->texts.begin(), cad->texts.end(), "端节（第 1、5 节）") != cad->texts.end());
        QVERIFY(std::any_of(cad->texts.begin(), cad->texts.end(), [](const std::string& t) {
            return QString::fromStdString(t).startsWith(QStringLiteral("端节 × 2"));
        }));
        QCOMPARE(out.entities, int(sent.size()));
        for (const FakeCadEntity& e : cad->entities) {
            if (e.kind != "lwpolyline") continue;
            QCOMPARE(e.values.size() % 2, 1u);  // closed: the flag follows the vertices
            QCOMPARE(e.values.back(), 1.0);
            for (std::size_t i = 0; i + 1 < e.values.size(); i += 2) {
                QVERIFY(e.values[i] >= 100 - 1e-9);
                QVERIFY(e.values[i + 1] >= 200 - 1e-9);
            }
        }
        QCOMPARE(desktop->messageBoxes.size(), 0);
        QCOMPARE(desktop->activatedTitles.last(), QStringLiteral("下料 - Tessik"));
    }

    // Where the CAD has layers the set goes on CUT, MARK, BEVEL and TEXT with
    // their colours, each entity on the layer of its kind, texts readable on a
    // 1:1 plot, all between one pair of undo marks; a CAD without layers gets
    // the same entities on its current layer.
    void drawsOnLayersAsOneUndoStep()
    {
        const TemplateDrawCommand::Outcome out = w->drawIntoCad();
        QCOMPARE(int(out.ending), int(TemplateDrawCommand::Ending::Drawn));
        QCOMPARE(cad->layerColors, (std::map<std::string, int>{{"BEVEL", 5}, {"CUT", 1}, {"MARK", 3}, {"TEXT", 7}}));
        QCOMPARE(cad->layerOf.size(), cad->entities.size());
        for (std::size_t i = 0; i < cad->entities.size(); ++i) {
            const FakeCadEntity& e = cad->entities[i];
            const bool closed = e.kind == "lwpolyline" && e.values.size() % 2 == 1;
            const std::string want = closed ? "CUT" : e.kind == "lwpolyline" ? "BEVEL" : e.kind == "line" ? "MARK" : "TEXT";
            QCOMPARE(cad->layerOf[i], want);
            if (e.kind == "text") QVERIFY(e.values[3] >= TemplateDrawCommand::kLeastTextHeight);
        }
        const auto first = [&](const std::string& prefix) {
            return std::find_if(cad->calls.begin(), cad->calls.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
        };
        const auto last = [&](const std::string& prefix) {
            return std::prev(std::find_if(cad->calls.rbegin(), cad->calls.rend(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }).base());
        };
        QVERIFY(first("StartUndoMark") < first("Layers.Add"));
        QVERIFY(first("StartUndoMark") < first("AddLightWeightPolyline"));
        QVERIFY(last("set Layer") < first("EndUndoMark"));
        QCOMPARE(std::count(cad->calls.begin(), cad->calls.end(), std::string("EndUndoMark")), 1);

        const std::size_t drawn = cad->entities.size();
        cad->entities.clear();
        cad->layerOf.clear();
        cad->layers = false;
        const TemplateDrawCommand::Outcome plain = w->drawIntoCad();
        QCOMPARE(int(plain.ending), int(TemplateDrawCommand::Ending::Drawn));
        QCOMPARE(cad->entities.size(), drawn);
        QVERIFY(cad->layerOf.empty());
        QCOMPARE(desktop->messageBoxes.size(), 0);
    }

    void cancelledPickEndsQuietly()
    {
        cad->pick = Error{-2147352567, "用户取消", "getpoint"};
        const TemplateDrawCommand::Outcome out = w->drawIntoCad();
        QCOMPARE(int(out.ending), int(TemplateDrawCommand::Ending::NoPoint));
        QVERIFY(cad->entities.empty());
        QCOMPARE(desktop->messageBoxes.size(), 0);
        QCOMPARE(desktop->activatedTitles.last(), QStringLiteral("下料 - Tessik"));
    }

    void closedDrawingIsTold()
    {
        cad->closeDrawing();
        const TemplateDrawCommand::Outcome out = w->drawIntoCad();
        QCOMPARE(int(out.ending), int(TemplateDrawCommand::Ending::NoPoint));
        QVERIFY(cad->entities.empty());
        QCOMPARE(desktop->messageBoxes.size(), 1);
        QVERIFY2(desktop->messageBoxes[0].text.contains(QStringLiteral("对象所属的图形已关闭。")),
                 qPrintable(desktop->messageBoxes[0].text));
        QCOMPARE(desktop->activatedTitles.last(), QStringLiteral("下料 - Tessik"));
    }

    void partialFailureIsReported()
    {
        cad->failCall("AddText", 1);
        cad->failCall("Closed", 2);
        const TemplateDrawCommand::Outcome out = w->drawIntoCad();
        QCOMPARE(int(out.ending), int(TemplateDrawCommand::Ending::PartlyDrawn));
        QCOMPARE(desktop->messageBoxes.size(), 1);
        QVERIFY2(desktop->messageBoxes[0].text.startsWith(
                     QStringLiteral("共 %1 个图元，其中 2 个未能画入图形。").arg(sheetEntities().size())),
                 qPrintable(desktop->messageBoxes[0].text));
        QCOMPARE(desktop->messageBoxes[0].style, 48);
        QCOMPARE(desktop->messageBoxes[0].title, QStringLiteral("提醒"));
    }

    void menuOpensTheWindow()
    {
        w.reset();
        FabricationWindow::attachTo(*main, *desktop);
        QCOMPARE(main->MnuTools->title(), QStringLiteral("工具(&T)"));
        QCOMPARE(main->MnuFabrication->text(), QStringLiteral("下料展开图(&F)..."));
        QCOMPARE(main->MenuBar->y(), 0);
        QCOMPARE(main->ClientArea->y(), main->MenuBar->height());
        QCOMPARE(main->height(), main->ClientArea->height() + main->MenuBar->height());
        main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(main.get()));
        QSignalSpy requested(main.get(), &FrmMain::fabricationRequested);
        QTest::keyClick(main.get(), Qt::Key_T, Qt::ControlModifier);
        QCOMPARE(requested.size(), 1);
        FabricationWindow* opened = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* f = qobject_cast<FabricationWindow*>(top); f && f->isVisible()) opened = f;
        QVERIFY(opened);
        QCOMPARE(opened->TblCutList->rowCount(), 2);
        QTest::keyClick(main.get(), Qt::Key_T, Qt::ControlModifier);  // the same window again
        int windows = 0;
        for (QWidget* top : QApplication::topLevelWidgets()) windows += qobject_cast<FabricationWindow*>(top) != nullptr;
        QCOMPARE(windows, 1);
    }

    // A text too small to read is enlarged only where it then keeps clear
    // of the outlines: inside a piece or wholly beside it, never across.
    void previewTextsKeepClearOfOutlines()
    {
        QPainterPath piece;
        piece.addRect(0, 0, 200, 40);
        const std::vector<QPainterPath> outlines{piece};
        const auto box = [](double x, double y) {
            return [x, y](int pixels) { return QRectF(x, y - pixels, 6.0 * pixels, pixels * 1.2); };
        };
        QCOMPARE(EntityPreview::textPixels(30, box(10, 30), outlines), EntityPreview::kMostTextPixels);
        QCOMPARE(EntityPreview::textPixels(3, box(10, 30), outlines), EntityPreview::kLeastTextPixels);
        QCOMPARE(EntityPreview::textPixels(3, box(10, 80), outlines), EntityPreview::kLeastTextPixels);
        QCOMPARE(EntityPreview::textPixels(3, box(10, 45), outlines), 0);   // would reach up into the piece
        QCOMPARE(EntityPreview::textPixels(3, box(180, 30), outlines), 0);  // would run out of its right edge

        // A 1422 mm elbow in the window: its piece names are inside their pieces.
        design("90", "5", "1422", "1422", "12");
        const std::vector<LayeredEntity>& shown = w->Preview->entities();
        QVERIFY(std::any_of(shown.begin(), shown.end(), [](const LayeredEntity& e) {
            return std::holds_alternative<entities::Text>(e.entity);
        }));
    }
};

QTEST_MAIN(FabricationWindowTest)
#include "FabricationWindowTest.moc"
