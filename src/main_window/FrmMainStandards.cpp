// The standard data in the main window: the list loaders of start-up, the
// standard lookup run by the lists and the diameter field, and the weight.

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "ControlEvents.h"
#include "Desktop.h"
#include "FrmMain.h"
#include "ListFile.h"
#include "StandardLookup.h"
#include "Weight.h"

namespace tessik {

void FrmMain::connectStandardHandlers()
{
    connect(CmbWJ, &QComboBox::activated, this, &FrmMain::CmbWJ_Click);
    connect(CmbHd, &QComboBox::activated, this, &FrmMain::CmbHd_Click);
    connect(CmbBH, &QComboBox::activated, this, &FrmMain::CmbBH_Click);
    connect(CmdIquire, &QPushButton::clicked, this, &FrmMain::CmdIquire_Click);
    onLostFocus(CmbWJ, [this] { CmbWJ_LostFocus(); });
    onGotFocus(TxtWeight, [this] { TxtWeight_GotFocus(); });
}

void FrmMain::LoadDiameterSeries() { loadList(CmbWJ, kDiameterSeriesFile); }

void FrmMain::LoadWallThickness() { loadList(CmbBH, kWallThicknessFile); }

void FrmMain::LoadBendAngles()
{
    const QString shown = CmbHd->currentText();
    int position = 0;
    for (const char* angle : {"30", "45", "60", "90"}) CmbHd->insertItem(position++, QString::fromLatin1(angle));
    // No entry is chosen: the field keeps its text.
    CmbHd->setCurrentIndex(-1);
    CmbHd->setEditText(shown);
}

// The list gets exactly the entries the file has, then entry 40 is selected,
// which runs the list's click handling; with 40 entries or fewer the
// selection fails quietly and the field keeps its design-time text.
void FrmMain::loadList(QComboBox* list, std::string_view fileName)
{
    const QString shown = list->currentText();
    const ListFile file = loadListFile(".", fileName);
    record.IntJ = 0;
    for (const std::string& entry : file.entries) list->insertItem(record.IntJ++, QString::fromStdString(entry));
    if (!file.entries.empty()) record.StrTemp = file.entries.back();
    // Qt makes the first entry inserted into an empty list the current one;
    // loading chooses nothing by itself.
    list->setCurrentIndex(-1);
    list->setEditText(shown);
    tellDataProblem(file.problem);
    (void)selectListEntry(list, kPreselectedEntry);
}

void FrmMain::tellDataProblem(const std::string& problem)
{
    if (!problem.empty())
        desktop_.messageBox(QString::fromStdString(problem), msgbox::kInformation, QString::fromUtf8(kProgramTitle));
}

void FrmMain::CmdIquire_Click()
{
    const auto proposal = standardLookup(
        CmbWJ->currentText().toStdString(), CmbHd->currentText().toStdString(),
        record.lookupVariables(), kBookFile, [this] {
            desktop_.messageBox(QString::fromUtf8(kOutOfRangeMessage), msgbox::kInformation,
                                QString::fromUtf8(kOutOfRangeTitle));
        });
    if (!proposal) return;
    std::vector<std::string> untold;
    for (const std::string& problem : proposal->book.problems)
        if (bookProblemsTold_.insert(problem).second) untold.push_back(problem);
    tellDataProblem(bookProblemMessage(proposal->book, untold));
    TxtWJ->setText(QString::fromStdString(proposal->TxtWJ));
    TxtZJS->setText(QString::fromStdString(proposal->TxtZJS));
    TxtWeight_GotFocus();
}

void FrmMain::CmbWJ_Click()
{
    CmdIquire_Click();
    TxtWeight_GotFocus();
}

void FrmMain::CmbHd_Click()
{
    CmdIquire_Click();
    TxtWeight_GotFocus();
}

void FrmMain::CmbWJ_LostFocus() { CmdIquire_Click(); }

void FrmMain::CmbBH_Click() { TxtWeight_GotFocus(); }

void FrmMain::TxtWeight_GotFocus()
{
    const PendingError pending = InputParameter();
    const std::string text =
        CalculateWeight(pending, record.weightInputs(), TxtCZ->text().toStdString(),
                        CmbBH->currentText().toStdString(), record.weightVariables());
    TxtWeight->setText(QString::fromStdString(text));
}

}  // namespace tessik
