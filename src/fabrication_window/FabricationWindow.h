#pragma once
// "下料 - Tessik": the fabrication window beside the main window. It follows
// the main window's design fields, wall thickness and density live (its own
// copy of the design record, derived by the same InputParameter, so the main
// window's record is never touched) and shows the cut list, the cut angle,
// cutback, weld and pipe lengths, both weights (the weight field's own
// formula and the exact one), the warnings in words and a drawn preview of
// the templates. The user chooses the template diameter and the divisions,
// saves the templates as PDF, DXF or SVG, and draws them into the CAD drawing
// (TemplateDrawCommand). With a pending input error it shows "参数输入出错。"
// and the buttons below (关闭 among them); an elbow that cannot be developed
// shows why, and a template that would cross itself is neither saved nor
// drawn. The window opens on the screen that holds the main window, whole.
//
// File names are asked through askSaveFile, a seam tests replace.

#include <QWidget>
#include <functional>
#include <optional>

#include "ElbowFabrication.h"
#include "MaterialNesting.h"
#include "MitreCodeCheck.h"
#include "PieceTemplate.h"
#include "TemplateDrawCommand.h"
#include "TemplatePdf.h"

class QComboBox;
class QDoubleSpinBox;
class QGridLayout;
class QScrollArea;
class QTabWidget;
class QGroupBox;
class QHBoxLayout;
class QLineEdit;
class QLabel;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QTableWidget;

namespace tessik {

class Desktop;
class FrmMain;
class TemplatePreview;
class NestPreview;

class FabricationWindow : public QWidget {
    Q_OBJECT
public:
    FabricationWindow(FrmMain& main, Desktop& desktop, QWidget* parent = nullptr);

    static const QString kTitle;  // "下料 - Tessik"

    // Opens the window (made at first use, deleted with the main window) at
    // the main window's Tools menu entry.
    static void attachTo(FrmMain& main, Desktop& desktop);

    // Reads the main window's fields afresh and shows the result.
    void refresh();

    // Sized and placed to lie whole within the available part of the screen
    // that holds `main` (beside it where there is room).
    void placeOnScreenOf(const QWidget& main);

    // The seam and kerf the templates are drawn with.
    TemplateOptions templateOptions() const;

    // Writes the current templates; false (and the user told) when they could not be.
    bool savePdf(const QString& path);
    bool saveSvg(const QString& path);
    bool saveDxf(const QString& path);
    TemplateDrawCommand::Outcome drawIntoCad();

    // Asks for a file name to save to (title, filter, suggested name); empty: cancelled.
    std::function<QString(const QString&, const QString&, const QString&)> askSaveFile;

    const std::optional<ElbowFabrication>& fabrication() const { return fabrication_; }

    // Controls, named as objectNames for tests and screenshots.
    QStackedWidget* Pages;          // 0: input error alone, 1: the fabrication
    QScrollArea* ScrPage;           // page 1, scrolling on a small screen
    QLabel* LblInputError;
    QComboBox* CmbTemplateDiameter; // outside, mean, inside, plate
    QSpinBox* SpnDivisions;
    QComboBox* CmbSeam;             // extrados, side, intrados
    QDoubleSpinBox* SpnKerf;        // mm
    QComboBox* CmbPaper;
    QStackedWidget* Development;        // 0: why there is no development, 1: the data
    QLabel* LblNoDevelopment;
    QTableWidget* TblCutList;
    QLabel* LblFacts;
    QLabel* LblWarnings;
    QTabWidget* Tabs;               // the preview, the ordinate table
    TemplatePreview* Preview;
    QTableWidget* TblOrdinates;     // k, x, end piece, middle piece
    QPushButton* CmdSavePdf;
    QPushButton* CmdSaveDxf;
    QPushButton* CmdSaveSvg;
    QPushButton* CmdDraw;
    QPushButton* CmdClose;

    // The printer's scale correction: what the 100 mm bar of the last print
    // measured (empty: print as drawn), kept for the user between sessions
    // (printSettingsFile()); the label says what the next print does.
    QLineEdit* TxtPrintedBar;
    QLabel* LblPrintCorrection;
    // Material use: the pieces along one pipe or on sheets of the given size,
    // a kerf apart; the summary (pipe length and waste, or sheets and
    // utilisation), a preview and the layout saved as DXF.
    QGroupBox* GrpNest;
    QComboBox* CmbNest;          // 0: one pipe, 1: plate
    QDoubleSpinBox* SpnSheetWidth;   // mm
    QDoubleSpinBox* SpnSheetHeight;  // mm
    QDoubleSpinBox* SpnNestKerf;     // mm
    QLabel* LblNest;
    NestPreview* NestView;
    QPushButton* CmdSaveNestDxf;
    const std::optional<MaterialNest>& nest() const { return nest_; }
    bool saveNestDxf(const QString& path);

    // The settings the next PDF is written with.
    PrintSettings printSettings() const;
    static QString printSettingsFile();

    // The code checks (ASME B31.3 304.2.3): inputs, every one typed over,
    // and the result. An empty pressure checks the mitre radius alone; an
    // empty S takes the material table's value at the temperature.
    QGroupBox* GrpCodeCheck;
    QLineEdit* TxtPressure;     // MPa
    QComboBox* CmbMaterial;     // from xyyl.ini
    QLineEdit* TxtTemperature;  // degrees Celsius
    QLineEdit* TxtStress;       // MPa
    QLineEdit* TxtJointFactor;  // E
    QLineEdit* TxtWeldFactor;   // W
    QLineEdit* TxtAllowance;    // c, mm
    QLineEdit* TxtMillTolerance;  // per cent
    QComboBox* CmbService;
    QLabel* LblCodeCheck;
    // Whether the shown design passes the checks (empty: no verdict without a wall).
    std::optional<bool> codeCheckPassed() const { return codeCheckPassed_; }

private:
    void createControls();
    QSize wholeSize();
    QGridLayout* createOptionRow();
    QHBoxLayout* createPrintRow();
    QGroupBox* createNestGroup();
    void updateNest();
    void printedBarEdited();
    QStackedWidget* createDevelopment();
    QHBoxLayout* createButtonRow();
    QGroupBox* createCodeCheck();
    void updateCodeCheck();
    void connectButtons();
    void connectFields();
    void showDevelopment(const ElbowFabrication& f, const std::string& fieldWeight);
    void showOrdinates(const ElbowFabrication& f);
    void saveWith(const QString& title, const QString& filter, const QString& suffix,
                  bool (FabricationWindow::*save)(const QString&));
    void tell(const QString& text);
    bool told(const Status& written);  // tells a failed save; whether it was written

    FrmMain& main_;
    Desktop& desktop_;
    std::optional<ElbowFabrication> fabrication_;
    std::optional<TemplateSheet> sheet_;
    std::optional<Error> sheetRefusal_;      // why the developed elbow has no template
    std::vector<std::string> codeCheckLines_;  // the checks as shown, for the PDF
    std::optional<MitreGeometry> geometry_;  // of the shown development
    std::optional<ElbowIdentity> identity_;  // of the shown development, for the PDF's pages
    std::optional<double> printedBar_;       // a usable measured bar length
    std::optional<MaterialNest> nest_;       // of the shown development
    std::optional<MaterialTable> materials_;
    std::string materialProblem_;            // why there is no material table
    std::optional<bool> codeCheckPassed_;
    bool standardProposal_ = false;  // the design's radius and segments are book.ini's proposal
};

}  // namespace tessik
