#include "FabricationWindow.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>
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
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStackedWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <memory>

#include "DesignRecord.h"
#include "Desktop.h"
#include "FileAccess.h"
#include "FrmMain.h"
#include "NumberText.h"
#include "ListFile.h"
#include "StandardLookup.h"
#include "TemplateDxf.h"
#include "TemplatePdf.h"
#include "NestPreview.h"
#include "TemplatePreview.h"
#include "TemplateSvg.h"
#include "ToolConstants.h"
#include "Weight.h"

#include <cmath>

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
    // The material table lies beside the other data files in the working folder.
    if (Result<MaterialTable> table = readMaterialTable(kMaterialFile))
        materials_ = std::move(table).value();
    else
        materialProblem_ = table.error().description;
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
        const bool opening = !(*window)->isVisible();
        if (opening) (*window)->placeOnScreenOf(main);
        (*window)->QWidget::show();
        // Shown, its tables and labels know their true size: fit once more.
        if (opening)
            QTimer::singleShot(0, *window, [window, &main] {
                if (*window) (*window)->placeOnScreenOf(main);
            });
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
    column->addLayout(createPrintRow());
    column->addWidget(createDevelopment(), 3);
    column->addWidget(createNestGroup(), 2);
    // On a screen smaller than all the controls want, the page scrolls rather
    // than the window growing past the screen's edge.
    ScrPage = named(new QScrollArea, "ScrPage");
    ScrPage->setWidget(page);
    ScrPage->setWidgetResizable(true);
    ScrPage->setFrameShape(QFrame::NoFrame);
    Pages->addWidget(ScrPage);
    // Below both pages: 关闭 stays at hand when the fields cannot be read.
    outer->addLayout(createButtonRow());
    connectButtons();
    resize(wholeSize());
}

// Template diameter, divisions and paper; seam and kerf.
QGridLayout* FabricationWindow::createOptionRow()
{
    auto* options = new QGridLayout;
    CmbTemplateDiameter = named(new QComboBox, "CmbTemplateDiameter");
    CmbTemplateDiameter->addItems({QStringLiteral("外径（样板包在管外）"), QStringLiteral("中径（钢板卷管）"),
                                   QStringLiteral("内径"), QStringLiteral("钢板（中径，另画内外表面线）")});
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
    CmbSeam = named(new QComboBox, "CmbSeam");
    for (const SeamPosition seam : {SeamPosition::extrados, SeamPosition::side, SeamPosition::intrados})
        CmbSeam->addItem(QString::fromStdString(seamName(seam)));
    SpnKerf = named(new QDoubleSpinBox, "SpnKerf");
    SpnKerf->setRange(0, kMaxKerf);
    SpnKerf->setDecimals(1);
    SpnKerf->setSingleStep(0.5);
    SpnKerf->setSuffix(QStringLiteral(" mm"));
    auto* seamLabel = new QLabel(QStringLiteral("接缝位置(&J)："));
    seamLabel->setBuddy(CmbSeam);
    auto* kerfLabel = new QLabel(QStringLiteral("割缝余量(&K)："));
    kerfLabel->setBuddy(SpnKerf);
    const QWidget* rows[2][6] = {{diameterLabel, CmbTemplateDiameter, divisionsLabel, SpnDivisions, paperLabel, CmbPaper},
                                 {seamLabel, CmbSeam, kerfLabel, SpnKerf, nullptr, nullptr}};
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 6; ++c)
            if (rows[r][c]) options->addWidget(const_cast<QWidget*>(rows[r][c]), r, c);
    options->setColumnStretch(6, 1);
    return options;
}

QString FabricationWindow::printSettingsFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/printer.ini");
}

// The printer's scale correction, as the user last left it.
QHBoxLayout* FabricationWindow::createPrintRow()
{
    auto* row = new QHBoxLayout;
    TxtPrintedBar = named(new QLineEdit, "TxtPrintedBar");
    TxtPrintedBar->setPlaceholderText(QStringLiteral("100"));
    TxtPrintedBar->setMaximumWidth(80);
    LblPrintCorrection = named(new QLabel, "LblPrintCorrection");
    auto* label = new QLabel(QStringLiteral("打印的 100 mm 比例尺实测(&B)："));
    label->setBuddy(TxtPrintedBar);
    QSettings settings(printSettingsFile(), QSettings::IniFormat);
    const QString kept = settings.value(QStringLiteral("print/measuredBar")).toString();
    if (const auto value = textToDouble(kept.toStdString()); value && !measuredBarProblem(*value)) {
        printedBar_ = *value;
        TxtPrintedBar->setText(kept);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{label, TxtPrintedBar, new QLabel(QStringLiteral("mm")),
                                                      LblPrintCorrection})
        row->addWidget(w);
    row->addStretch();
    connect(TxtPrintedBar, &QLineEdit::editingFinished, this, &FabricationWindow::printedBarEdited);
    printedBarEdited();
    return row;
}

// A usable length is kept for the next session at once; anything else is
// said beside the field and the PDF is not saved until it is put right.
void FabricationWindow::printedBarEdited()
{
    const std::string text = TxtPrintedBar->text().trimmed().toStdString();
    QSettings settings(printSettingsFile(), QSettings::IniFormat);
    printedBar_.reset();
    if (text.empty()) {
        settings.remove(QStringLiteral("print/measuredBar"));
        LblPrintCorrection->setText(QStringLiteral("按原尺寸打印"));
        return;
    }
    const auto value = textToDouble(text);
    if (const auto problem = value ? measuredBarProblem(*value) : std::optional<std::string>("须是一个数。")) {
        LblPrintCorrection->setText(QStringLiteral("<span style='color:#b00000'>%1</span>").arg(QString::fromStdString(*problem)));
        return;
    }
    printedBar_ = *value;
    settings.setValue(QStringLiteral("print/measuredBar"), QString::fromStdString(text));
    LblPrintCorrection->setText(
        QStringLiteral("下次打印放大 %1 倍").arg(QString::fromStdString(doubleToText(100 / *value))));
}

PrintSettings FabricationWindow::printSettings() const
{
    PrintSettings print;
    print.measuredBar = printedBar_;
    if (identity_) {
        print.identity = identity_;
        print.identity->date = desktop_.today().toString(Qt::ISODate).toStdString();
    }
    return print;
}

QGroupBox* FabricationWindow::createNestGroup()
{
    GrpNest = named(new QGroupBox(QStringLiteral("排料")), "GrpNest");
    auto* column = new QVBoxLayout(GrpNest);
    auto* row = new QHBoxLayout;
    CmbNest = named(new QComboBox, "CmbNest");
    CmbNest->addItems({QStringLiteral("单根管（相邻节转 180° 共用切口）"), QStringLiteral("钢板")});
    const auto length = [](const char* name, double value) {
        auto* box = named(new QDoubleSpinBox, name);
        box->setRange(1, 100000);
        box->setDecimals(0);
        box->setValue(value);
        box->setSuffix(QStringLiteral(" mm"));
        return box;
    };
    SpnSheetWidth = length("SpnSheetWidth", 3000);
    SpnSheetHeight = length("SpnSheetHeight", 1500);
    SpnNestKerf = named(new QDoubleSpinBox, "SpnNestKerf");
    SpnNestKerf->setRange(0, kMaxKerf);
    SpnNestKerf->setDecimals(1);
    SpnNestKerf->setSingleStep(0.5);
    SpnNestKerf->setSuffix(QStringLiteral(" mm"));
    CmdSaveNestDxf = named(new QPushButton(QStringLiteral("保存排料 DXF(&L)...")), "CmdSaveNestDxf");
    auto* sheetLabel = new QLabel(QStringLiteral("钢板(&H)："));
    sheetLabel->setBuddy(SpnSheetWidth);
    auto* kerfLabel = new QLabel(QStringLiteral("割缝(&F)："));
    kerfLabel->setBuddy(SpnNestKerf);
    for (QWidget* w : std::initializer_list<QWidget*>{CmbNest, sheetLabel, SpnSheetWidth, new QLabel(QStringLiteral("×")),
                                                      SpnSheetHeight, kerfLabel, SpnNestKerf})
        row->addWidget(w);
    row->addStretch();
    row->addWidget(CmdSaveNestDxf);
    column->addLayout(row);
    LblNest = named(new QLabel, "LblNest");
    LblNest->setWordWrap(true);
    column->addWidget(LblNest);
    NestView = named(new NestPreview, "NestView");
    column->addWidget(NestView, 1);

    const auto again = [this] { updateNest(); };
    connect(CmbNest, &QComboBox::currentIndexChanged, this, again);
    for (QDoubleSpinBox* box : {SpnSheetWidth, SpnSheetHeight, SpnNestKerf})
        connect(box, &QDoubleSpinBox::valueChanged, this, again);
    connect(CmdSaveNestDxf, &QPushButton::clicked, this, [this] {
        saveWith(QStringLiteral("保存排料 DXF"), QStringLiteral("DXF (*.dxf)"), QStringLiteral(".dxf"),
                 &FabricationWindow::saveNestDxf);
    });
    return GrpNest;
}

// The layout of the shown development as the group's controls ask, or why there is none.
void FabricationWindow::updateNest()
{
    const bool plate = CmbNest->currentIndex() == 1;
    SpnSheetWidth->setEnabled(plate);
    SpnSheetHeight->setEnabled(plate);
    nest_.reset();
    if (!fabrication_) {
        LblNest->clear();
        NestView->setEntities({});
        CmdSaveNestDxf->setEnabled(false);
        return;
    }
    Result<MaterialNest> nest = plate ? plateNest(*fabrication_, SpnNestKerf->value(), SpnSheetWidth->value(),
                                                  SpnSheetHeight->value())
                                      : pipeNest(*fabrication_, SpnNestKerf->value());
    CmdSaveNestDxf->setEnabled(nest.ok());
    if (!nest) {
        LblNest->setText(QString::fromStdString(nest.error().description));
        NestView->setEntities({});
        return;
    }
    nest_ = std::move(nest).value();
    LblNest->setText(QString::fromStdString(nestSummary(*nest_)));
    NestView->setEntities(nestEntities(*nest_));
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
    TblOrdinates = named(new QTableWidget(0, 4), "TblOrdinates");
    TblOrdinates->setHorizontalHeaderLabels(
        {QStringLiteral("k"), QStringLiteral("x"), QStringLiteral("端节"), QStringLiteral("中节")});
    TblOrdinates->verticalHeader()->hide();
    TblOrdinates->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TblOrdinates->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    Tabs = named(new QTabWidget, "Tabs");
    Tabs->addTab(Preview, QStringLiteral("样板预览"));
    Tabs->addTab(TblOrdinates, QStringLiteral("坐标表"));
    auto* lower = new QHBoxLayout;
    lower->addWidget(Tabs, 1);
    lower->addWidget(createCodeCheck());
    grid->addLayout(lower, 2, 0, 1, 2);
    grid->setRowStretch(2, 1);
    Development->addWidget(data);
    return Development;
}

QGroupBox* FabricationWindow::createCodeCheck()
{
    GrpCodeCheck = named(new QGroupBox(QStringLiteral("规范校核（ASME B31.3 304.2.3）")), "GrpCodeCheck");
    auto* form = new QFormLayout;
    const auto field = [](const char* name, const QString& text, const QString& hint) {
        auto* edit = named(new QLineEdit(text), name);
        edit->setPlaceholderText(hint);
        edit->setMaximumWidth(110);
        return edit;
    };
    TxtPressure = field("TxtPressure", {}, QStringLiteral("不校核压力"));
    CmbMaterial = named(new QComboBox, "CmbMaterial");
    if (materials_)
        for (const MaterialStresses& m : materials_->materials) CmbMaterial->addItem(QString::fromStdString(m.name));
    CmbMaterial->setEnabled(materials_.has_value());
    if (!materials_) CmbMaterial->setToolTip(QString::fromStdString(materialProblem_));
    TxtTemperature = field("TxtTemperature", QStringLiteral("20"), {});
    TxtStress = field("TxtStress", {}, QStringLiteral("按材料表"));
    TxtJointFactor = field("TxtJointFactor", QStringLiteral("1"), {});
    TxtWeldFactor = field("TxtWeldFactor", QStringLiteral("1"), {});
    TxtAllowance = field("TxtAllowance", QStringLiteral("0"), {});
    TxtMillTolerance = field("TxtMillTolerance", QStringLiteral("12.5"), {});
    CmbService = named(new QComboBox, "CmbService");
    CmbService->addItems({QStringLiteral("一般流体"), QStringLiteral("D 类流体"), QStringLiteral("剧烈循环")});
    form->addRow(QStringLiteral("设计压力 P (MPa)："), TxtPressure);
    form->addRow(QStringLiteral("材料："), CmbMaterial);
    form->addRow(QStringLiteral("设计温度 (°C)："), TxtTemperature);
    form->addRow(QStringLiteral("许用应力 S (MPa)："), TxtStress);
    form->addRow(QStringLiteral("焊接接头系数 E："), TxtJointFactor);
    form->addRow(QStringLiteral("焊缝强度降低系数 W："), TxtWeldFactor);
    form->addRow(QStringLiteral("腐蚀等附加量 c (mm)："), TxtAllowance);
    form->addRow(QStringLiteral("壁厚负偏差 (%)："), TxtMillTolerance);
    form->addRow(QStringLiteral("流体工况："), CmbService);
    LblCodeCheck = named(new QLabel, "LblCodeCheck");
    LblCodeCheck->setWordWrap(true);
    LblCodeCheck->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LblCodeCheck->setMinimumWidth(300);
    auto* column = new QVBoxLayout(GrpCodeCheck);
    column->addLayout(form);
    column->addWidget(LblCodeCheck, 1, Qt::AlignTop);
    return GrpCodeCheck;
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
    connect(CmbSeam, &QComboBox::currentIndexChanged, this, again);
    connect(SpnKerf, &QDoubleSpinBox::valueChanged, this, again);
    const auto check = [this] { updateCodeCheck(); };
    for (QLineEdit* field : {TxtPressure, TxtTemperature, TxtStress, TxtJointFactor, TxtWeldFactor, TxtAllowance,
                             TxtMillTolerance})
        connect(field, &QLineEdit::textChanged, this, check);
    for (QComboBox* list : {CmbMaterial, CmbService}) connect(list, &QComboBox::currentIndexChanged, this, check);
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
    sheetRefusal_.reset();
    geometry_.reset();
    identity_.reset();
    codeCheckPassed_.reset();
    codeCheckLines_.clear();
    updateNest();
    if (pending) {
        for (QPushButton* b : {CmdSavePdf, CmdSaveDxf, CmdSaveSvg, CmdDraw}) b->setEnabled(false);
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
    Result<TemplateSheet> sheet =
        developed ? templateSheet(*developed, templateOptions()) : Result<TemplateSheet>(developed.error());
    const bool usable = developed && sheet;
    for (QPushButton* b : {CmdSavePdf, CmdSaveDxf, CmdSaveSvg, CmdDraw}) b->setEnabled(usable);
    if (!usable) {
        if (developed) sheetRefusal_ = sheet.error();
        LblNoDevelopment->setText(QString::fromStdString((developed ? sheet.error() : developed.error()).description));
        Development->setCurrentIndex(0);
        return;
    }
    fabrication_ = std::move(developed).value();
    sheet_ = std::move(sheet).value();
    geometry_ = MitreGeometry{r.DblA, r.IntN + 1, r.DblR, r.DblD};
    identity_ = ElbowIdentity{r.DblD, r.DblAB, r.DblR, r.IntN, {}};
    // Whether the design is the standard table's proposal, looked up on a
    // record of its own (the lookup writes into its variables), silently.
    DesignRecord lookup;
    const std::optional<Proposal> proposal = standardLookup(lineText(main_.CmbWJ).toStdString(),
                                                            lineText(main_.CmbHd).toStdString(),
                                                            lookup.lookupVariables(), kBookFile, {});
    standardProposal_ = proposal && proposal->TxtWJ == main_.TxtWJ->text().toStdString() &&
                        proposal->TxtZJS == main_.TxtZJS->text().toStdString();
    showDevelopment(*fabrication_, fieldWeight);
    updateCodeCheck();
    Development->setCurrentIndex(1);
}

namespace {

std::optional<double> number(const QLineEdit* field)
{
    const auto v = textToDouble(field->text().trimmed().toStdString());
    return v && std::isfinite(*v) ? std::optional<double>(*v) : std::nullopt;
}

}  // namespace

// The checks for the shown development with the group's inputs; a field
// that is no number is named, nothing else is changed.
void FabricationWindow::updateCodeCheck()
{
    codeCheckPassed_.reset();
    codeCheckLines_.clear();
    if (!geometry_) return;
    QStringList problems;
    const auto read = [&](const QLineEdit* field, const QString& name, double fallback) {
        if (field->text().trimmed().isEmpty()) return fallback;
        if (const auto v = number(field)) return *v;
        problems << QStringLiteral("%1“%2”不是数。").arg(name, field->text());
        return fallback;
    };
    PressureInput in;
    in.allowance = read(TxtAllowance, QStringLiteral("附加量 c "), 0);
    in.millTolerance = read(TxtMillTolerance, QStringLiteral("壁厚负偏差 "), 12.5);
    const auto wall = textToDouble(lineText(main_.CmbBH).toStdString());
    if (wall && *wall > 0 && 2 * *wall < geometry_->outerDiameter) in.nominalWall = *wall;
    std::optional<double> wallLessAllowances;
    if (in.nominalWall) wallLessAllowances = *in.nominalWall * (1 - in.millTolerance / 100) - in.allowance;
    const MinimumRadiusCheck radius = checkMinimumRadius(*geometry_, wallLessAllowances);

    std::optional<PressureCheck> pressure;
    if (!TxtPressure->text().trimmed().isEmpty()) {
        in.pressure = read(TxtPressure, QStringLiteral("设计压力 "), 0);
        in.jointFactor = read(TxtJointFactor, QStringLiteral("E "), 1);
        in.weldFactor = read(TxtWeldFactor, QStringLiteral("W "), 1);
        in.service = static_cast<FluidService>(CmbService->currentIndex());
        const double temperature = read(TxtTemperature, QStringLiteral("设计温度 "), 20);
        in.temperature = temperature;
        if (!TxtStress->text().trimmed().isEmpty()) {
            in.stress = read(TxtStress, QStringLiteral("许用应力 "), 0);
        } else if (!materials_) {
            problems << QString::fromStdString(materialProblem_) + QStringLiteral("请填写许用应力 S。");
        } else {
            const MaterialStresses& m = materials_->materials[std::size_t(std::max(0, CmbMaterial->currentIndex()))];
            if (const auto s = allowableStress(*materials_, m, temperature)) {
                in.stress = *s;
                TxtStress->setPlaceholderText(QStringLiteral("按材料表：%1").arg(*s, 0, 'f', 1));
            } else {
                problems << QStringLiteral("材料表中 %1 在 %2 °C 没有许用应力，请填写 S。")
                                .arg(QString::fromStdString(m.name), TxtTemperature->text());
            }
        }
        if (problems.isEmpty()) {
            if (Result<PressureCheck> checked = checkPressure(*geometry_, in))
                pressure = std::move(checked).value();
            else
                problems << QString::fromStdString(checked.error().description);
        }
    }
    CodeCheckReport report = describeCodeCheck(radius, pressure ? &*pressure : nullptr, pressure ? &in : nullptr);
    if (pressure && pressure->requiredWall) {
        // The main window's wall list is gbhd.ini's.
        std::vector<double> walls;
        for (int i = 0; i < main_.CmbBH->count(); ++i)
            if (const auto v = textToDouble(main_.CmbBH->itemText(i).toStdString())) walls.push_back(*v);
        addListedWall(report, *pressure->requiredWall, walls);
    }
    QStringList lines;
    for (const std::string& line : report.lines) lines << QString::fromStdString(line);
    if (standardProposal_)
        lines.insert(1, radius.pass ? QStringLiteral("（半径与中节数为标准表建议值）")
                                    : QStringLiteral("标准表建议的半径与中节数不满足式 (5)，请加大半径或增加中节。"));
    if (!problems.isEmpty()) {
        // No verdict from an input that could not be read: the reasons replace it.
        lines.removeLast();
        lines << problems << QStringLiteral("结论：压力未能校核");
    }
    codeCheckPassed_ = problems.isEmpty() ? report.pass : (radius.pass ? std::nullopt : std::optional<bool>(false));
    LblCodeCheck->setText(lines.join(QLatin1Char('\n')));
    for (const QString& line : lines) codeCheckLines_.push_back(line.toStdString());
    QPalette palette = LblCodeCheck->palette();
    palette.setColor(QPalette::WindowText,
                     codeCheckPassed_ == false || !problems.isEmpty() ? QColor(180, 0, 0) : palette.color(QPalette::Active, QPalette::Text));
    LblCodeCheck->setPalette(palette);
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
    showOrdinates(f);
    updateNest();
}

void FabricationWindow::showOrdinates(const ElbowFabrication& f)
{
    const Ordinates& o = f.ordinates;
    const bool middle = f.pieces.size() > 1;
    TblOrdinates->setRowCount(int(o.x.size()));
    for (int row = 0; row < int(o.x.size()); ++row) {
        const std::size_t k = std::size_t(row);
        const QString cells[] = {QString::number(row), QString::number(o.x[k], 'f', 1), QString::number(o.end[k], 'f', 1),
                                 middle ? QString::number(o.middle[k], 'f', 1) : QStringLiteral("-")};
        for (int c = 0; c < 4; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            TblOrdinates->setItem(row, c, item);
        }
    }
}

TemplateOptions FabricationWindow::templateOptions() const
{
    return TemplateOptions{static_cast<SeamPosition>(std::max(0, CmbSeam->currentIndex())), SpnKerf->value()};
}

// Room for every control without scrolling, and for the cut list beside a
// preview of readable size.
QSize FabricationWindow::wholeSize()
{
    constexpr int kLeastWidth = 760, kLeastHeight = 560;
    // Fonts and styles settle when a widget is polished, as a first show would.
    ensurePolished();
    QSize page = ScrPage->widget()->sizeHint();
    // Word-wrapped labels grow taller as the page narrows.
    if (const QLayout* inside = ScrPage->widget()->layout(); inside && inside->hasHeightForWidth())
        page.setHeight(std::max(page.height(), inside->totalHeightForWidth(page.width())));
    const QMargins margins = layout()->contentsMargins();
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    return QSize(std::max(kLeastWidth, page.width() + margins.left() + margins.right() + scrollBar),
                 std::max(kLeastHeight, page.height() + margins.top() + margins.bottom() + layout()->spacing() +
                                            CmdClose->sizeHint().height() + scrollBar));
}

void FabricationWindow::placeOnScreenOf(const QWidget& main)
{
    const QScreen* screen = main.screen();
    if (const QScreen* at = QGuiApplication::screenAt(main.frameGeometry().center())) screen = at;
    if (!screen) return;
    const QRect room = screen->availableGeometry();
    // The frame (title bar, borders) counts too; before the first show it is guessed from the main window's.
    const QSize frame = main.frameGeometry().size() - main.geometry().size();
    const QSize wanted = size().expandedTo(wholeSize()).boundedTo(room.size() - frame);
    resize(wanted);
    const QSize whole = wanted + frame;
    QPoint at(main.frameGeometry().right() + 1, main.frameGeometry().top());
    if (at.x() + whole.width() > room.right() + 1) at.setX(room.right() + 1 - whole.width());
    at.setX(std::max(at.x(), room.left()));
    at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() + 1 - whole.height())));
    move(at);
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
    printedBarEdited();
    if (!TxtPrintedBar->text().trimmed().isEmpty() && !printedBar_) {
        tell(QStringLiteral("打印比例尺的实测长度“%1”无法使用：须在 %2 到 %3 mm 之间。")
                 .arg(TxtPrintedBar->text().trimmed())
                 .arg(kLeastMeasuredBar)
                 .arg(kMostMeasuredBar));
        return false;
    }
    PrintSettings print = printSettings();
    print.codeCheck = codeCheckLines_;
    const long long pages = templatePdfPages(*fabrication_, *sheet_, paper, print);
    if (const auto refused = templatePdfRefusal(path.toStdString(), pages, paper)) return told(*refused);
    if (pages > kPdfPagesToAsk &&
        desktop_.messageBox(QStringLiteral("样板 PDF 共 %1。确实要保存吗？（换用更大的纸张可减少页数）")
                                .arg(QString::fromStdString(templatePdfPagesText(pages, paper))),
                            msgbox::kOkCancel + msgbox::kQuestion, QStringLiteral("保存 PDF 样板")) != msgbox::kAnswerOk)
        return false;
    return told(writeTemplatePdf(fileName(path), *fabrication_, *sheet_, paper, print));
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
    if (!sheet_ && !sheetRefusal_) return {};
    TemplateDrawCommand command(main_.cadObjects(), desktop_, kTitle);
    return sheet_ ? command.draw(*sheet_) : command.draw(Result<TemplateSheet>(*sheetRefusal_));
}

bool FabricationWindow::saveNestDxf(const QString& path)
{
    if (!nest_) return false;
    const Result<std::string> bytes = layeredDxf(nestEntities(*nest_));
    if (!bytes) return told(bytes.error());
    return told(dxf::replaceFile(fileName(path), *bytes));
}

}  // namespace tessik
