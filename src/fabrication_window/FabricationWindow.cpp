#include "FabricationWindow.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QFile>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <memory>

#include "DesignRecord.h"
#include "Desktop.h"
#include "FileAccess.h"
#include "FrmMain.h"
#include "NumberText.h"
#include "TemplateDxf.h"
#include "TemplatePdf.h"
#include "TemplatePreview.h"
#include "TemplateSvg.h"
#include "ToolConstants.h"
#include "Weight.h"

namespace tessik {

const QString FabricationWindow::kTitle = QStringLiteral("下料 - ") + QString::fromUtf8(kProgramTitle);

namespace {

QString mm(double v, int decimals = 1) { return QString::number(v, 'f', decimals) + QStringLiteral(" mm"); }

template <class W>
W* named(W* w, const char* name)
{
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QString lineText(QComboBox* list) { return list->currentText(); }

}  // namespace

FabricationWindow::FabricationWindow(FrmMain& main, Desktop& desktop, QWidget* parent)
    : QWidget(parent, Qt::Window), main_(main), desktop_(desktop)
{
    setObjectName(QStringLiteral("FabricationWindow"));
    setWindowTitle(kTitle);
    askSaveFile = [this](const QString& title, const QString& filter, const QString& suggested) {
        return QFileDialog::getSaveFileName(this, title, suggested, filter);
    };
    createControls();
    connectFields();
    refresh();
}

void FabricationWindow::attachTo(FrmMain& main, Desktop& desktop)
{
    // No parent: a window owned by the main window would hide with it (About).
    auto window = std::make_shared<QPointer<FabricationWindow>>();
    QObject::connect(&main, &QObject::destroyed, [window] { delete window->data(); });
    QObject::connect(&main, &FrmMain::fabricationRequested, &main, [&main, &desktop, window] {
        if (!*window) *window = new FabricationWindow(main, desktop);
        (*window)->refresh();
        (*window)->QWidget::show();
        (*window)->raise();
        (*window)->activateWindow();
    });
}

void FabricationWindow::createControls()
{
    auto* outer = new QVBoxLayout(this);
    Pages = named(new QStackedWidget(this), "Pages");
    outer->addWidget(Pages);

    LblInputError = named(new QLabel(QStringLiteral("参数输入出错。")), "LblInputError");
    LblInputError->setAlignment(Qt::AlignCenter);
    Pages->addWidget(LblInputError);

    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->addLayout(createOptionRow());
    column->addWidget(createDevelopment(), 1);
    column->addLayout(createButtonRow());
    Pages->addWidget(page);
    connectButtons();
    // Room for the cut list beside a preview of readable size.
    constexpr int kStartWidth = 760, kStartHeight = 560;
    resize(kStartWidth, kStartHeight);
}

// Template diameter, divisions and paper.
QHBoxLayout* FabricationWindow::createOptionRow()
{
    auto* options = new QHBoxLayout;
    CmbTemplateDiameter = named(new QComboBox, "CmbTemplateDiameter");
    CmbTemplateDiameter->addItems({QStringLiteral("外径（样板包在管外）"), QStringLiteral("中径（钢板卷管）"),
                                   QStringLiteral("内径")});
    SpnDivisions = named(new QSpinBox, "SpnDivisions");
    SpnDivisions->setRange(kMinDivisions, kMaxDivisions);
    SpnDivisions->setValue(kDefaultDivisions);
    CmbPaper = named(new QComboBox, "CmbPaper");
    CmbPaper->addItems({"A4", "A3", "A2", "A1", "A0", "letter"});
    auto* diameterLabel = new QLabel(QStringLiteral("样板直径(&M)："));
    diameterLabel->setBuddy(CmbTemplateDiameter);
    auto* divisionsLabel = new QLabel(QStringLiteral("等分数(&N)："));
    divisionsLabel->setBuddy(SpnDivisions);
    auto* paperLabel = new QLabel(QStringLiteral("纸张(&Z)："));
    paperLabel->setBuddy(CmbPaper);
    for (QWidget* w : std::initializer_list<QWidget*>{diameterLabel, CmbTemplateDiameter, divisionsLabel, SpnDivisions,
                                                      paperLabel, CmbPaper})
        options->addWidget(w);
    options->addStretch();
    return options;
}

// The cut list, the facts, the warnings and the preview, or why there is none.
QStackedWidget* FabricationWindow::createDevelopment()
{
    Development = named(new QStackedWidget, "Development");
    LblNoDevelopment = named(new QLabel, "LblNoDevelopment");
    LblNoDevelopment->setWordWrap(true);
    LblNoDevelopment->setAlignment(Qt::AlignCenter);
    Development->addWidget(LblNoDevelopment);

    auto* data = new QWidget;
    auto* grid = new QGridLayout(data);
    grid->setContentsMargins(0, 0, 0, 0);
    TblCutList = named(new QTableWidget(0, 5), "TblCutList");
    TblCutList->setHorizontalHeaderLabels({QStringLiteral("节"), QStringLiteral("数量"), QStringLiteral("中心线长"),
                                           QStringLiteral("长边"), QStringLiteral("短边")});
    TblCutList->verticalHeader()->hide();
    TblCutList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TblCutList->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    TblCutList->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    TblCutList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    TblCutList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    TblCutList->setMaximumHeight(TblCutList->horizontalHeader()->sizeHint().height() +
                                 3 * TblCutList->verticalHeader()->defaultSectionSize() + 4);
    LblFacts = named(new QLabel, "LblFacts");
    LblFacts->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LblFacts->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    LblWarnings = named(new QLabel, "LblWarnings");
    LblWarnings->setWordWrap(true);
    QPalette warn = LblWarnings->palette();
    warn.setColor(QPalette::WindowText, QColor(180, 0, 0));
    LblWarnings->setPalette(warn);
    Preview = new TemplatePreview;
    Preview->setObjectName(QStringLiteral("Preview"));
    grid->addWidget(TblCutList, 0, 0, Qt::AlignLeft | Qt::AlignTop);
    grid->addWidget(LblFacts, 0, 1, 2, 1);
    grid->setColumnStretch(1, 1);
    grid->addWidget(LblWarnings, 1, 0);
    grid->addWidget(Preview, 2, 0, 1, 2);
    grid->setRowStretch(2, 1);
    Development->addWidget(data);
    return Development;
}

QHBoxLayout* FabricationWindow::createButtonRow()
{
    auto* buttons = new QHBoxLayout;
    CmdSavePdf = named(new QPushButton(QStringLiteral("保存 PDF(&P)...")), "CmdSavePdf");
    CmdSaveDxf = named(new QPushButton(QStringLiteral("保存 DXF(&X)...")), "CmdSaveDxf");
    CmdSaveSvg = named(new QPushButton(QStringLiteral("保存 SVG(&S)...")), "CmdSaveSvg");
    CmdDraw = named(new QPushButton(QStringLiteral("画入图形(&D)")), "CmdDraw");
    CmdClose = named(new QPushButton(QStringLiteral("关闭(&C)")), "CmdClose");
    for (QPushButton* b : {CmdSavePdf, CmdSaveDxf, CmdSaveSvg, CmdDraw}) buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(CmdClose);
    return buttons;
}

void FabricationWindow::connectButtons()
{
    connect(CmdSavePdf, &QPushButton::clicked, this, [this] {
        saveWith(QStringLiteral("保存 PDF 样板"), QStringLiteral("PDF (*.pdf)"), QStringLiteral(".pdf"),
                 &FabricationWindow::savePdf);
    });
    connect(CmdSaveSvg, &QPushButton::clicked, this, [this] {
        saveWith(QStringLiteral("保存 SVG 样板"), QStringLiteral("SVG (*.svg)"), QStringLiteral(".svg"),
                 &FabricationWindow::saveSvg);
    });
    connect(CmdSaveDxf, &QPushButton::clicked, this, [this] {
        saveWith(QStringLiteral("保存 DXF 样板"), QStringLiteral("DXF (*.dxf)"), QStringLiteral(".dxf"),
                 &FabricationWindow::saveDxf);
    });
    connect(CmdDraw, &QPushButton::clicked, this, [this] { drawIntoCad(); });
    connect(CmdClose, &QPushButton::clicked, this, &QWidget::close);
}

void FabricationWindow::connectFields()
{
    const auto again = [this] { refresh(); };
    for (QComboBox* list : {main_.CmbHd, main_.CmbWJ, main_.CmbBH})
        connect(list, &QComboBox::editTextChanged, this, again);
    for (QLineEdit* field : {main_.TxtZJS, main_.TxtWJ, main_.TxtCZ}) connect(field, &QLineEdit::textChanged, this, again);
    connect(CmbTemplateDiameter, &QComboBox::currentIndexChanged, this, again);
    connect(SpnDivisions, &QSpinBox::valueChanged, this, again);
}

void FabricationWindow::refresh()
{
    DesignRecord r;
    const PendingError pending = InputParameter(
        {lineText(main_.CmbHd).toStdString(), main_.TxtZJS->text().toStdString(), lineText(main_.CmbWJ).toStdString(),
         main_.TxtWJ->text().toStdString()},
        r);
    fabrication_.reset();
    sheet_.reset();
    if (pending) {
        Pages->setCurrentIndex(0);
        return;
    }
    Pages->setCurrentIndex(1);
    const std::string wallText = lineText(main_.CmbBH).toStdString();
    const std::string densityText = main_.TxtCZ->text().toStdString();
    const std::string fieldWeight = CalculateWeight(pending, {r.DblD, r.DblC1, r.DblC2, r.IntN}, densityText, wallText,
                                                    {r.SngCZ, r.SngBH, r.SngWeight});

    FabricationInput in;
    in.cutAngle = r.DblA;
    in.middlePieces = r.IntN;
    in.bendRadius = r.DblR;
    in.outerDiameter = r.DblD;
    if (const auto wall = textToDouble(wallText)) in.wall = *wall;
    const auto density = textToDouble(densityText);
    in.density = density ? *density : std::nan("");
    in.templateDiameter = static_cast<TemplateDiameterKind>(CmbTemplateDiameter->currentIndex());
    in.divisions = SpnDivisions->value();

    Result<ElbowFabrication> developed = developElbow(in);
    Result<TemplateSheet> sheet = developed ? templateSheet(*developed) : Result<TemplateSheet>(developed.error());
    const bool usable = developed && sheet;
    for (QPushButton* b : {CmdSavePdf, CmdSaveDxf, CmdSaveSvg, CmdDraw}) b->setEnabled(usable);
    if (!usable) {
        LblNoDevelopment->setText(QString::fromStdString((developed ? sheet.error() : developed.error()).description));
        Development->setCurrentIndex(0);
        return;
    }
    fabrication_ = std::move(developed).value();
    sheet_ = std::move(sheet).value();
    showDevelopment(*fabrication_, fieldWeight);
    Development->setCurrentIndex(1);
}

void FabricationWindow::showDevelopment(const ElbowFabrication& f, const std::string& fieldWeight)
{
    TblCutList->setRowCount(int(f.pieces.size()));
    for (int row = 0; row < int(f.pieces.size()); ++row) {
        const PieceLengths& p = f.pieces[std::size_t(row)];
        const QString cells[] = {QString::fromStdString(pieceName(p.kind)), QString::number(p.count), mm(p.centerline),
                                 mm(p.longSide), mm(p.shortSide)};
        for (int c = 0; c < 5; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (c > 0) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            TblCutList->setItem(row, c, item);
        }
    }
    QStringList facts{
        QStringLiteral("切角：%1 度").arg(QString::fromStdString(doubleToText(f.cutAngle))),
        QStringLiteral("焊口：%1 道").arg(f.joints),
        QStringLiteral("样板直径：%1，展开长 %2").arg(mm(f.templateDiameter), mm(f.templateWidth)),
        QStringLiteral("切口回缩：%1").arg(mm(f.cutback, 2)),
        QStringLiteral("每道焊缝长：%1").arg(mm(f.weldPerJoint, 2)),
        QStringLiteral("焊缝总长：%1").arg(mm(f.weldTotal)),
        QStringLiteral("所需管长：%1").arg(mm(f.pipeLength)),
        QStringLiteral("重量（重量栏）：%1 kg").arg(QString::fromStdString(fieldWeight)),
        QStringLiteral("精确重量：%1").arg(f.weight ? QString::number(*f.weight, 'f', 2) + QStringLiteral(" kg")
                                                   : QStringLiteral("(需壁厚)")),
    };
    LblFacts->setText(facts.join(QLatin1Char('\n')));
    QStringList warnings;
    for (const std::string& code : f.warnings) warnings << QString::fromStdString(warningText(code));
    LblWarnings->setText(warnings.join(QLatin1Char('\n')));
    Preview->setSheet(*sheet_);
}

void FabricationWindow::tell(const QString& text)
{
    desktop_.messageBox(text, msgbox::kExclamation, QStringLiteral("提醒"));
}

void FabricationWindow::saveWith(const QString& title, const QString& filter, const QString& suffix,
                                 bool (FabricationWindow::*save)(const QString&))
{
    if (!sheet_) return;
    QString path = askSaveFile(title, filter, QStringLiteral("样板") + suffix);
    if (path.isEmpty()) return;
    if (!path.endsWith(suffix, Qt::CaseInsensitive)) path += suffix;
    (this->*save)(path);
}

namespace {

// The file name as the system spells it, as tessik-cad's Save takes it.
std::string fileName(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

bool FabricationWindow::savePdf(const QString& path)
{
    if (!fabrication_ || !sheet_) return false;
    const PaperSize paper = *paperSize(CmbPaper->currentText().toStdString());
    const long long pages = templatePdfPages(*fabrication_, *sheet_, paper);
    if (const auto refused = templatePdfRefusal(path.toStdString(), pages, paper)) return told(*refused);
    if (pages > kPdfPagesToAsk &&
        desktop_.messageBox(QStringLiteral("样板 PDF 共 %1。确实要保存吗？（换用更大的纸张可减少页数）")
                                .arg(QString::fromStdString(templatePdfPagesText(pages, paper))),
                            msgbox::kOkCancel + msgbox::kQuestion, QStringLiteral("保存 PDF 样板")) != msgbox::kAnswerOk)
        return false;
    return told(writeTemplatePdf(fileName(path), *fabrication_, *sheet_, paper));
}

bool FabricationWindow::saveSvg(const QString& path)
{
    if (!sheet_) return false;
    return told(dxf::replaceFile(fileName(path), templateSvg(*sheet_)));
}

bool FabricationWindow::saveDxf(const QString& path)
{
    if (!sheet_) return false;
    const Result<std::string> bytes = templateDxf(*sheet_);
    if (!bytes) {
        tell(QStringLiteral("无法保存“%1”：%2").arg(path, QString::fromStdString(bytes.error().description)));
        return false;
    }
    return told(dxf::replaceFile(fileName(path), *bytes));
}

bool FabricationWindow::told(const Status& written)
{
    // The failure names the file and says why, as tessik-cad's Save does.
    if (!written) tell(QString::fromStdString(written.error().description));
    return written.ok();
}

TemplateDrawCommand::Outcome FabricationWindow::drawIntoCad()
{
    if (!sheet_) return {};
    TemplateDrawCommand command(main_.cadObjects(), desktop_, kTitle);
    return command.draw(*sheet_);
}

}  // namespace tessik
