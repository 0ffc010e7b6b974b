// The standard data wired into the main window: start-up list loading, the
// lookup run by the list choices and by leaving the diameter field, and the
// weight, with message boxes answered by the fake desktop.

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "FakeCad.h"
#include "FakeDesktop.h"
#include "FrmMain.h"

using namespace tessik;

namespace {

const QString kBlank = QStringLiteral("(空白)");
const QString kOutOfRange = QStringLiteral("此范围内尚未给出标准，请自行输入！");

QString numbers(int count, const char* prefix = "")
{
    QString text;
    for (int i = 0; i < count; ++i) text += QString::fromLatin1(prefix) + QString::number(100 + i) + "\r\n";
    return text;
}

QStringList entries(const QComboBox* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->itemText(i);
    return out;
}

}  // namespace

class StandardsWiringTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        previousDir_ = QDir::currentPath();
        desktop_ = FakeDesktop();
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        QVERIFY(QDir::setCurrent(dir_->path()));
    }

    void cleanup()
    {
        window_.reset();
        QDir::setCurrent(previousDir_);
        dir_.reset();
    }

    void startUpWithShippedDataShowsThe41stEntries()
    {
        QVERIFY(QDir::setCurrent(QStringLiteral(TESSIK_DATA_DIR)));
        FrmMain& w = start();
        QCOMPARE(w.CmbWJ->currentText(), w.CmbWJ->itemText(40));
        QCOMPARE(w.CmbWJ->currentIndex(), 40);
        QCOMPARE(w.CmbBH->currentText(), w.CmbBH->itemText(40));
        QCOMPARE(entries(w.CmbHd), (QStringList{"30", "45", "60", "90"}));
        QCOMPARE(w.CmbHd->currentText(), QStringLiteral("弯角"));
        // No angle yet: the lookup ran and ended silently, the weight is blank.
        QCOMPARE(w.TxtWJ->text(), kBlank);
        QCOMPARE(w.TxtZJS->text(), kBlank);
        QCOMPARE(w.TxtWeight->text(), kBlank);
        QCOMPARE(desktop_.messageBoxes.size(), 0);
    }

    void choosing90AfterStartUpProposesAndWeighs()
    {
        // The same inputs through tessik-elbow give the same text; both are
        // checked against an independent model in the CLI tests.
        QVERIFY(QDir::setCurrent(QStringLiteral(TESSIK_DATA_DIR)));
        FrmMain& w = start();
        QCOMPARE(w.CmbWJ->currentText(), QStringLiteral("*1422"));
        QCOMPARE(w.CmbBH->currentText(), QStringLiteral("28"));
        QVERIFY(FrmMain::selectListEntry(w.CmbHd, 3).ok());
        // The shipped book: 1422 lies in the range above 1400, factor 1.0 and
        // five middle segments at 90 degrees.
        QCOMPARE(w.TxtWJ->text(), QStringLiteral("1422"));
        QCOMPARE(w.TxtZJS->text(), QStringLiteral("5"));
        QCOMPARE(w.TxtWeight->text(), QStringLiteral("2143.971"));
        QCOMPARE(desktop_.messageBoxes.size(), 0);
    }

    void entryFortyIsSelectedOnlyWhenItExists_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("shown");
        QTest::newRow("40 entries") << 40 << "直径";
        QTest::newRow("41 entries") << 41 << "*140";
    }

    void entryFortyIsSelectedOnlyWhenItExists()
    {
        QFETCH(int, count);
        QFETCH(QString, shown);
        write("zjxl.ini", numbers(count, "*"));
        write("gbhd.ini", numbers(count));
        FrmMain& w = start();
        QCOMPARE(w.CmbWJ->count(), count);
        QCOMPARE(w.CmbWJ->currentText(), shown);
        QCOMPARE(w.CmbBH->currentText(), count > 40 ? QStringLiteral("140") : kBlank);
    }

    void missingListFileGivesNoEntryAndOneMessage()
    {
        write("zjxl.ini", numbers(41, "*"));
        FrmMain& w = start();
        QCOMPARE(w.CmbWJ->count(), 41);
        // No stale or repeated entry stands in for the missing file.
        QCOMPARE(w.CmbBH->count(), 0);
        QCOMPARE(w.CmbBH->currentText(), kBlank);
        QCOMPARE(desktop_.messageBoxes.size(), 1);
        const auto& box = desktop_.messageBoxes.first();
        QVERIFY2(box.text.contains("gbhd.ini"), qPrintable(box.text));
        QVERIFY2(box.text.contains(QDir::current().absolutePath()), qPrintable(box.text));
        QCOMPARE(box.style, msgbox::kInformation);
    }

    void outOfRangeDiameterShowsTheMessageThenTheLastColumn()
    {
        write("book.ini", "1.5,2,2.5,3,3.5,4\r\n11,12,13,14,15,16\r\n");
        FrmMain& w = start();
        w.CmbWJ->setEditText(QStringLiteral("5000"));
        QString radiusWhileAsked;
        desktop_.onMessageBox = [&] { radiusWhileAsked = w.TxtWJ->text(); };
        QVERIFY(FrmMain::selectListEntry(w.CmbHd, 3).ok());
        QCOMPARE(outOfRangeBoxes().size(), 1);
        QCOMPARE(outOfRangeBoxes()[0].text, kOutOfRange);
        QCOMPARE(outOfRangeBoxes()[0].title, QStringLiteral("提示"));
        QCOMPARE(outOfRangeBoxes()[0].style, 64);
        QCOMPARE(radiusWhileAsked, kBlank);  // the box comes before the proposal
        QCOMPARE(w.TxtWJ->text(), QStringLiteral("20000"));
        QCOMPARE(w.TxtZJS->text(), QStringLiteral("16"));
    }

    void leavingTheDiameterFieldRunsTheLookupEachTime()
    {
        write("book.ini", "1.5,2,2.5,3,3.5,4\r\n11,12,13,14,15,16\r\n");
        FrmMain& w = start();
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.CmbHd->setEditText(QStringLiteral("90"));
        w.CmbWJ->setFocus();
        w.CmbWJ->setEditText(QStringLiteral("79.9"));
        w.TxtCZ->setFocus();
        QCOMPARE(outOfRangeBoxes().size(), 1);
        QCOMPARE(w.TxtWJ->text(), QStringLiteral("319.6"));
        w.CmbWJ->setFocus();
        w.TxtCZ->setFocus();
        QCOMPARE(outOfRangeBoxes().size(), 2);
        w.CmbWJ->setFocus();
        w.CmbWJ->setEditText(QStringLiteral("200"));
        w.TxtCZ->setFocus();
        QCOMPARE(outOfRangeBoxes().size(), 2);
        QCOMPARE(w.TxtWJ->text(), QStringLiteral("300"));
        QCOMPARE(w.TxtZJS->text(), QStringLiteral("11"));
    }

    void typedAngleWithoutRowAndTheHiddenQueryButton()
    {
        write("book.ini", "1.5,2,2.5,3,3.5,4\r\n11,12,13,14,15,16\r\n");
        write("gbhd.ini", numbers(41));
        FrmMain& w = start();
        w.CmbWJ->setEditText(QStringLiteral("*200"));
        w.CmbHd->setEditText(QStringLiteral("75"));
        w.CmdIquire->click();
        QCOMPARE(w.TxtWJ->text(), QStringLiteral("300"));
        QCOMPARE(w.TxtZJS->text(), kBlank);
        QCOMPARE(w.TxtWeight->text(), kBlank);
    }

    void bookEditedBetweenLookupsAndMissingBookToldOnce()
    {
        FrmMain& w = start();
        w.CmbWJ->setEditText(QStringLiteral("200"));
        QVERIFY(FrmMain::selectListEntry(w.CmbHd, 3).ok());
        QCOMPARE(w.TxtWJ->text(), kBlank);  // an empty table gives no radius
        QVERIFY(FrmMain::selectListEntry(w.CmbHd, 3).ok());
        // Two list files and book.ini missing: three messages, book.ini's once.
        QCOMPARE(desktop_.messageBoxes.size(), 3);
        QVERIFY(desktop_.messageBoxes[2].text.contains("book.ini"));

        write("book.ini", "1.5,2,2.5,3,3.5,4\r\n11,12,13,14,15,16\r\n");
        QVERIFY(FrmMain::selectListEntry(w.CmbHd, 3).ok());
        QCOMPARE(w.TxtWJ->text(), QStringLiteral("300"));
        write("book.ini", "2,2,2.5,3,3.5,4\r\n7,12,13,14,15,16\r\n");
        QVERIFY(FrmMain::selectListEntry(w.CmbHd, 3).ok());
        QCOMPARE(w.TxtWJ->text(), QStringLiteral("400"));
        QCOMPARE(w.TxtZJS->text(), QStringLiteral("7"));
    }

    // Each problem of a damaged table is told once per run, in a box naming
    // the file and the line; a cell that cannot be right proposes nothing.
    void damagedBookToldOncePerProblem()
    {
        const QString book = QStringLiteral("1.5,2,2.5,3,3.5,4\r\n-2,12,13,14,15,16\r\n21,22,23,24,25,26\r\n"
                                            "31,32,33,34,35,36\r\n41,42,43,44,45,46\r\n");
        write("book.ini", book);
        write("zjxl.ini", "200\r\n");
        write("gbhd.ini", "10\r\n");
        FrmMain& w = start();
        w.CmbWJ->setEditText(QStringLiteral("200"));
        QVERIFY(FrmMain::selectListEntry(w.CmbHd, 3).ok());
        QVERIFY(FrmMain::selectListEntry(w.CmbHd, 3).ok());
        QCOMPARE(desktop_.messageBoxes.size(), 1);
        const QString text = desktop_.messageBoxes[0].text;
        QVERIFY2(text.contains("book.ini") && text.contains(dir_->path()), qPrintable(text));
        QVERIFY2(text.contains(QStringLiteral("第 2 行的数值 -2 不能作中节数")), qPrintable(text));
        QCOMPARE(w.TxtWJ->text(), QStringLiteral("300"));
        QCOMPARE(w.TxtZJS->text(), kBlank);

        // A new problem is told, the one already told is not told again.
        write("book.ini", QString(book).replace("31,", "x,"));
        QVERIFY(FrmMain::selectListEntry(w.CmbHd, 3).ok());
        QCOMPARE(desktop_.messageBoxes.size(), 2);
        const QString second = desktop_.messageBoxes[1].text;
        QVERIFY2(second.contains(QStringLiteral("第 4 行的字段“x”不是数值")), qPrintable(second));
        QVERIFY2(!second.contains(QStringLiteral("第 2 行")), qPrintable(second));
    }

    void weightFollowsTheWallChoiceAndTheWeightField()
    {
        write("book.ini", "1.5,2,2.5,3,3.5,4\r\n2,12,13,14,15,16\r\n");
        write("gbhd.ini", "10\r\n100\r\n");
        FrmMain& w = start();
        w.CmbWJ->setEditText(QStringLiteral("*100"));
        QVERIFY(FrmMain::selectListEntry(w.CmbHd, 3).ok());
        QCOMPARE(w.TxtWeight->text(), kBlank);  // no wall chosen yet
        QVERIFY(FrmMain::selectListEntry(w.CmbBH, 0).ok());
        QCOMPARE(w.TxtWeight->text(), QStringLiteral("5.170122"));
        QVERIFY(FrmMain::selectListEntry(w.CmbBH, 1).ok());
        QCOMPARE(w.TxtWeight->text(), QStringLiteral("0"));

        // A typed density shows only when the weight field is entered.
        QVERIFY(FrmMain::selectListEntry(w.CmbBH, 0).ok());
        w.TxtCZ->setText(QString());
        QCOMPARE(w.TxtWeight->text(), QStringLiteral("5.170122"));
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.TxtWeight->setFocus(Qt::TabFocusReason);
        QCOMPARE(w.TxtWeight->text(), kBlank);
    }

    void typingIntoTheAngleListStartsNothing()
    {
        write("book.ini", "1.5,2,2.5,3,3.5,4\r\n11,12,13,14,15,16\r\n");
        FrmMain& w = start();
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.CmbWJ->setEditText(QStringLiteral("200"));
        QVERIFY(FrmMain::selectListEntry(w.CmbHd, 3).ok());
        w.CmbHd->setFocus();  // leaving the diameter field runs the lookup
        w.TxtWJ->setText(QStringLiteral("444"));  // the user's own radius
        w.CmbHd->lineEdit()->selectAll();
        QTest::keyClicks(w.CmbHd, "60");  // an entry's text, typed
        QTest::keyClick(w.CmbHd, Qt::Key_Return);
        w.TxtCZ->setFocus();
        QCOMPARE(w.TxtWJ->text(), QStringLiteral("444"));
        QCOMPARE(w.TxtZJS->text(), QStringLiteral("11"));
    }

private:
    QList<FakeDesktop::MessageBoxCall> outOfRangeBoxes() const
    {
        QList<FakeDesktop::MessageBoxCall> boxes;
        for (const auto& box : desktop_.messageBoxes)
            if (box.text == kOutOfRange) boxes << box;
        return boxes;
    }

    FrmMain& start()
    {
        window_ = std::make_unique<FrmMain>(desktop_, *cad_);
        window_->Form_Load();
        return *window_;
    }

    void write(const char* name, const QString& text)
    {
        QFile f(QDir::current().filePath(QString::fromLatin1(name)));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text.toUtf8());
    }

    std::shared_ptr<FakeCad> cad_ = FakeCad::create();  // a running CAD program: Start asks nothing
    QString previousDir_;
    std::unique_ptr<QTemporaryDir> dir_;
    FakeDesktop desktop_;
    std::unique_ptr<FrmMain> window_;
};

QTEST_MAIN(StandardsWiringTest)
#include "StandardsWiringTest.moc"
