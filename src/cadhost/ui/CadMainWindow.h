#pragma once
// tessik-cad's main window: the drawing view, the model and layout tabs and
// the prompt line below it, and a status bar with the cursor's world
// coordinates; its title is the session's caption. File > New, Open, Close,
// Save, Save As; every way of dropping a drawing with unsaved changes asks
// first, and a save that would lose content the file cannot hold refuses and
// offers Save As to a new file instead. Edit > Undo and Redo name the step
// they would take; Erase takes the selection.

#include <string>
#include <vector>

#include <QMainWindow>

class QTimer;

#include "model/CadSession.h"

class QLabel;
class QTabBar;

namespace tessik::cadhost {

class DrawingView;
class PromptLine;

class CadMainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit CadMainWindow(CadSession& session, QWidget* parent = nullptr);

    DrawingView* view() const { return view_; }
    PromptLine* promptLine() const { return prompt_; }

    // Opens a DXF file, telling the user how it went (quiet: on the prompt
    // line only, never in a message box).
    bool openFile(const QString& path, bool quiet = false);

    // Says in the status bar, for as long as the window lives, that unsaved
    // changes are not protected by autosave, and why.
    void warnUnprotected(const QString& why);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Asks about unsaved changes; false when the user cancels.
    bool maybeSave();
    bool save();
    bool saveAs();
    // What the file could not hold: the user may write a new file without it.
    bool offerSaveAs(const std::vector<std::string>& lost);
    bool chooseAndSave(SaveLoss loss);
    bool saveTo(const QString& path, SaveLoss loss = SaveLoss::Refuse);
    void newDrawing();
    void open();
    void closeDrawing();
    void refresh();
    // Beside the window of the program that launched it (WindowPlacement.h).
    void placeBesideLauncher();
    QTabBar* addSpaceTabs();
    // A tab for each paper layout besides the active one, named as the
    // drawing names it, after the model and layout tabs.
    void refreshLayoutTabs();
    void addFileMenu();
    void addEditMenu();
    void addViewMenu(QTabBar* spaces);
    // The Edit menu's texts follow the history, once per burst of changes.
    void scheduleEditRefresh();
    void refreshEdit();

    CadSession& session_;
    DrawingView* view_;
    PromptLine* prompt_;
    QLabel* coordinates_;
    QTabBar* spaceTabs_ = nullptr;
    QAction* saveAction_ = nullptr;
    QAction* saveAsAction_ = nullptr;
    QAction* closeAction_ = nullptr;
    QAction* undoAction_ = nullptr;
    QAction* redoAction_ = nullptr;
    QAction* eraseAction_ = nullptr;
    // Renames Undo and Redo once per burst of edits rather than per edit.
    QTimer* editTimer_ = nullptr;
};

}  // namespace tessik::cadhost
