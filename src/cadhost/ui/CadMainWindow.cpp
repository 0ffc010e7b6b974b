#include "ui/CadMainWindow.h"

#include <algorithm>

#include <QGuiApplication>
#include <QScreen>

#include "ui/WindowPlacement.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/DrawingView.h"
#include "model/DxfFile.h"
#include "ui/PromptLine.h"

namespace tessik::cadhost {

namespace {
// The Edit menu's step names follow a burst of edits this late at most.
constexpr int kEditRefreshMs = 50;
}  // namespace

CadMainWindow::CadMainWindow(CadSession& session, QWidget* parent)
    : QMainWindow(parent),
      session_(session),
      view_(new DrawingView(session)),
      prompt_(new PromptLine(session)),
      coordinates_(new QLabel)
{
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(view_, 1);
    QTabBar* spaces = addSpaceTabs();
    layout->addWidget(spaces);
    layout->addWidget(prompt_);
    setCentralWidget(central);
    statusBar()->addWidget(coordinates_);
    coordinates_->setMinimumWidth(260);

    addFileMenu();
    addEditMenu();
    addViewMenu(spaces);

    connect(view_, &DrawingView::cursorMoved, this, [this](QPointF w) {
        coordinates_->setText(QStringLiteral("%1, %2, 0").arg(w.x(), 0, 'f', 4).arg(w.y(), 0, 'f', 4));
    });
    connect(view_, &DrawingView::typed, prompt_, &PromptLine::typeAndFocus);
    connect(&session_, &CadSession::documentChanged, this, &CadMainWindow::refresh);
    connect(&session_, &CadSession::visibleChanged, this, [this](bool visible) {
        if (visible) {
            show();
            raise();
            activateWindow();
        } else {
            hide();
        }
    });
    resize(1000, 700);
    placeBesideLauncher();
    refresh();
}

void CadMainWindow::placeBesideLauncher()
{
    const std::optional<QRect> beside = parseBeside(qEnvironmentVariable(kBesideVariable));
    if (!beside) return;
    QScreen* screen = QGuiApplication::screenAt(beside->center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    // The frame the window manager adds is outside the geometry set here.
    const QSize frame(std::max(0, frameGeometry().width() - width()), std::max(0, frameGeometry().height() - height()));
    const QRect placed = besidePlacement(*beside, size() + frame, screen->availableGeometry());
    setGeometry(placed.x(), placed.y(), placed.width() - frame.width(), placed.height() - frame.height());
}

// Model and layout tabs under the drawing, as CAD programs have them.
QTabBar* CadMainWindow::addSpaceTabs()
{
    auto* spaces = new QTabBar;
    spaces->setObjectName(QStringLiteral("spaceTabs"));
    spaces->setShape(QTabBar::RoundedSouth);
    // Tabs as wide as their names, from the left, not stretched across.
    spaces->setExpanding(false);
    spaces->setDrawBase(false);
    spaces->addTab(QStringLiteral("模型"));
    spaces->addTab(QStringLiteral("布局"));
    spaces->setToolTip(QStringLiteral("模型空间 / 图纸空间"));
    spaces->setTabData(0, static_cast<int>(SpaceKind::Model));
    spaces->setTabData(1, static_cast<int>(SpaceKind::Paper));
    connect(spaces, &QTabBar::currentChanged, view_, [this, spaces](int tab) {
        if (tab >= 0) view_->showSpace(static_cast<SpaceKind>(spaces->tabData(tab).toInt()));
    });
    spaceTabs_ = spaces;
    return spaces;
}

void CadMainWindow::refreshLayoutTabs()
{
    const DrawingDocument* doc = session_.document();
    std::vector<DrawingDocument::LayoutEntry> layouts;
    if (doc)
        for (const DrawingDocument::LayoutEntry& l : doc->layouts())
            if (l.space != SpaceKind::Model) layouts.push_back(l);
    std::stable_sort(layouts.begin(), layouts.end(),
                     [](const auto& a, const auto& b) { return a.tabOrder < b.tabOrder; });
    // With one paper layout its tab stays "布局"; with more, each is named.
    QStringList names{QStringLiteral("模型")};
    QList<int> kinds{static_cast<int>(SpaceKind::Model)};
    if (layouts.size() < 2) {
        names << QStringLiteral("布局");
        kinds << static_cast<int>(SpaceKind::Paper);
    } else {
        // The active layout first, as PaperSpace and Ctrl+PgDn reach it.
        std::stable_partition(layouts.begin(), layouts.end(),
                              [](const auto& l) { return l.space == SpaceKind::Paper; });
        for (const auto& l : layouts) {
            names << QString::fromStdString(l.name);
            kinds << static_cast<int>(l.space);
        }
    }
    bool same = spaceTabs_->count() == names.size();
    for (int i = 0; same && i < names.size(); ++i)
        same = spaceTabs_->tabText(i) == names[i] && spaceTabs_->tabData(i).toInt() == kinds[i];
    if (same) return;
    // Another drawing: its model first, before the tabs of the last one go.
    if (spaceTabs_->currentIndex() >= 2) spaceTabs_->setCurrentIndex(0);
    while (spaceTabs_->count() > 2) spaceTabs_->removeTab(spaceTabs_->count() - 1);
    for (int i = 0; i < names.size(); ++i) {
        if (i >= spaceTabs_->count()) spaceTabs_->addTab(names[i]);
        spaceTabs_->setTabText(i, names[i]);
        spaceTabs_->setTabData(i, kinds[i]);
    }
}

void CadMainWindow::addFileMenu()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("文件(&F)"));
    file->addAction(QStringLiteral("新建(&N)"), QKeySequence::New, this, &CadMainWindow::newDrawing);
    file->addAction(QStringLiteral("打开(&O)..."), QKeySequence::Open, this, &CadMainWindow::open);
    saveAction_ = file->addAction(QStringLiteral("保存(&S)"), QKeySequence::Save, this,
                                  &CadMainWindow::save);
    saveAsAction_ = file->addAction(QStringLiteral("另存为(&A)..."), QKeySequence::SaveAs, this,
                                    &CadMainWindow::saveAs);
    closeAction_ = file->addAction(QStringLiteral("关闭(&C)"), this, &CadMainWindow::closeDrawing);
    file->addSeparator();
    file->addAction(QStringLiteral("退出(&X)"), QKeySequence::Quit, this, &QWidget::close);
}

void CadMainWindow::addViewMenu(QTabBar* spaces)
{
    QMenu* viewMenu = menuBar()->addMenu(QStringLiteral("视图(&V)"));
    viewMenu->addAction(QStringLiteral("缩放到全部(&E)"), view_, &DrawingView::zoomExtents);
    QAction* weights = viewMenu->addAction(QStringLiteral("显示线宽(&W)"));
    weights->setCheckable(true);
    weights->setChecked(view_->lineweightsShown());
    connect(weights, &QAction::toggled, view_, &DrawingView::setLineweightsShown);
    viewMenu->addSeparator();
    // The keys CAD programs switch between model and layouts with.
    viewMenu->addAction(QStringLiteral("模型(&M)"), QKeySequence(Qt::CTRL | Qt::Key_PageUp), spaces,
                        [spaces] { spaces->setCurrentIndex(0); });
    viewMenu->addAction(QStringLiteral("布局(&L)"), QKeySequence(Qt::CTRL | Qt::Key_PageDown), spaces,
                        [spaces] { spaces->setCurrentIndex(1); });
}

void CadMainWindow::addEditMenu()
{
    QMenu* edit = menuBar()->addMenu(QStringLiteral("编辑(&E)"));
    editTimer_ = new QTimer(this);
    editTimer_->setSingleShot(true);
    editTimer_->setInterval(kEditRefreshMs);
    connect(editTimer_, &QTimer::timeout, this, &CadMainWindow::refreshEdit);
    // An open menu names the steps as they are, whatever the timer.
    connect(edit, &QMenu::aboutToShow, this, &CadMainWindow::refreshEdit);
    undoAction_ = edit->addAction(QStringLiteral("撤销(&U)"), this, [this] { session_.undo(); });
    undoAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    redoAction_ = edit->addAction(QStringLiteral("重做(&R)"), this, [this] { session_.redo(); });
    redoAction_->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    edit->addSeparator();
    eraseAction_ = edit->addAction(QStringLiteral("删除(&E)"), this, [this] { session_.eraseSelection(); });
    // Delete itself belongs to whichever widget has the focus (the prompt
    // line edits its text with it); the view erases with it.
    eraseAction_->setText(QStringLiteral("删除(&E)\tDel"));
    edit->addAction(QStringLiteral("取消选择"), this, [this] { session_.clearSelection(); });
    connect(&session_, &CadSession::historyChanged, this, &CadMainWindow::scheduleEditRefresh);
    connect(&session_, &CadSession::selectionChanged, this, &CadMainWindow::scheduleEditRefresh);
    connect(&session_, &CadSession::documentChanged, this, &CadMainWindow::scheduleEditRefresh);
    scheduleEditRefresh();
}

void CadMainWindow::scheduleEditRefresh()
{
    // Whether the keys work follows at once; the texts once per burst (a
    // timer already running takes the later edits along).
    const DrawingDocument* doc = session_.document();
    undoAction_->setEnabled(doc && doc->canUndo());
    redoAction_->setEnabled(doc && doc->canRedo());
    eraseAction_->setEnabled(!session_.selection().empty());
    if (!editTimer_->isActive()) editTimer_->start();
}

void CadMainWindow::refreshEdit()
{
    editTimer_->stop();
    const DrawingDocument* doc = session_.document();
    const QString undo = doc ? doc->undoText() : QString();
    const QString redo = doc ? doc->redoText() : QString();
    undoAction_->setText(undo.isEmpty() ? QStringLiteral("撤销(&U)") : QStringLiteral("撤销 %1(&U)").arg(undo));
    redoAction_->setText(redo.isEmpty() ? QStringLiteral("重做(&R)") : QStringLiteral("重做 %1(&R)").arg(redo));
}

void CadMainWindow::refresh()
{
    // Unsaved changes marked by a * after the drawing's name, until saved.
    const DrawingDocument* doc = session_.document();
    setWindowTitle(doc && doc->modified() ? doc->name() + QStringLiteral("* - ") + CadSession::applicationName()
                                          : session_.caption());
    const bool open = doc != nullptr;
    saveAction_->setEnabled(open);
    saveAsAction_->setEnabled(open);
    closeAction_->setEnabled(open);
    refreshLayoutTabs();
    view_->update();
}

bool CadMainWindow::maybeSave()
{
    const DrawingDocument* doc = session_.document();
    if (!doc || !doc->modified()) return true;
    const auto answer = QMessageBox::question(
        this, CadSession::applicationName(),
        QStringLiteral("是否保存对“%1”的修改？").arg(doc->name()),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Save) return save();
    return answer == QMessageBox::Discard;
}

bool CadMainWindow::save()
{
    const DrawingDocument* doc = session_.document();
    if (!doc) return false;
    if (doc->path().isEmpty()) return saveAs();
    if (const auto lost = contentLostOnSave(*doc); !lost.empty()) return offerSaveAs(lost);
    return saveTo(doc->path());
}

bool CadMainWindow::saveTo(const QString& path, SaveLoss loss)
{
    const Status saved = session_.saveDocument(path, loss);
    if (!saved) {
        QMessageBox::warning(this, CadSession::applicationName(),
                             QString::fromStdString(saved.error().description));
        return false;
    }
    return true;
}

bool CadMainWindow::saveAs()
{
    const DrawingDocument* doc = session_.document();
    if (!doc) return false;
    if (const auto lost = contentLostOnSave(*doc); !lost.empty()) return offerSaveAs(lost);
    return chooseAndSave(SaveLoss::Refuse);
}

bool CadMainWindow::offerSaveAs(const std::vector<std::string>& lost)
{
    QString list;
    for (const std::string& item : lost) list += QStringLiteral("\n  • ") + QString::fromStdString(item);
    QMessageBox box(QMessageBox::Warning, CadSession::applicationName(),
                    QStringLiteral("“%1”中有 DXF 文件写不下的内容，保存会丢失：%2\n\n"
                                   "原文件没有改动。可以另存为一个新文件（其中不含以上内容），"
                                   "图形仍留在这里。")
                        .arg(session_.document()->name(), list),
                    QMessageBox::Cancel, this);
    QPushButton* saveAsButton = box.addButton(QStringLiteral("另存为(&A)..."), QMessageBox::AcceptRole);
    box.setDefaultButton(QMessageBox::Cancel);
    box.exec();
    return box.clickedButton() == saveAsButton && chooseAndSave(SaveLoss::Accept);
}

bool CadMainWindow::chooseAndSave(SaveLoss loss)
{
    const DrawingDocument* doc = session_.document();
    const QString start = doc->path().isEmpty() ? doc->name() + QStringLiteral(".dxf") : doc->path();
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("另存为"), start,
                                                QStringLiteral("DXF 图形 (*.dxf)"));
    if (path.isEmpty()) return false;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".dxf");
    // What the new file leaves out is still in the file the drawing came from.
    const QFileInfo chosen(path), current(doc->path());
    if (loss == SaveLoss::Accept && !doc->path().isEmpty() && chosen.exists() &&
        chosen.canonicalFilePath() == current.canonicalFilePath()) {
        QMessageBox::warning(this, CadSession::applicationName(),
                             QStringLiteral("请选择另一个文件：“%1”会丢失上面列出的内容，它保持不变。").arg(path));
        return false;
    }
    return saveTo(path, loss);
}

void CadMainWindow::newDrawing()
{
    if (maybeSave()) session_.newDocument();
}

void CadMainWindow::open()
{
    if (!maybeSave()) return;
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("打开"), QString(),
                                                      QStringLiteral("DXF 图形 (*.dxf);;所有文件 (*)"));
    if (!path.isEmpty()) openFile(path);
}

bool CadMainWindow::openFile(const QString& path, bool quiet)
{
    auto report = session_.openDocument(path);
    if (!report) {
        const QString why = QString::fromStdString(report.error().description);
        if (quiet)
            emit session_.message(why);
        else
            QMessageBox::warning(this, CadSession::applicationName(), why);
        return false;
    }
    // Every entity of the file is an object of the drawing, of a kind with a
    // struct of its own or not.
    emit session_.message(QStringLiteral("已打开“%1”：%2 个对象。").arg(path).arg(report->read + report->kept));
    return true;
}

void CadMainWindow::closeDrawing()
{
    if (maybeSave()) session_.closeDocument();
}

void CadMainWindow::warnUnprotected(const QString& why)
{
    auto* warning = new QLabel(QStringLiteral("⚠ 图形未受保护：自动保存不可用，意外退出时未保存的修改会丢失，请及时保存。"));
    warning->setToolTip(why);
    warning->setStyleSheet(QStringLiteral("QLabel { color: #b00020; font-weight: bold; }"));
    statusBar()->addPermanentWidget(warning);
}

void CadMainWindow::closeEvent(QCloseEvent* event)
{
    if (maybeSave())
        event->accept();
    else
        event->ignore();
}

}  // namespace tessik::cadhost
