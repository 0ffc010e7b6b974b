// The drawing view, the prompt line and the main window, offscreen: picking
// by click and by keyboard, selecting by click and box, zoom about the
// cursor, the rasterizer's pixels, undo from the menu and the keys, and that
// closing never drops unsaved changes silently.

#include <optional>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QTabBar>
#include <QProcess>
#include <QTemporaryDir>
#include <QFile>
#include <QTest>
#include <QScreen>
#include <QTimer>
#include <QWheelEvent>

#include "ui/CadMainWindow.h"
#include "model/CadSession.h"
#include "render/DrawingPainter.h"
#include "ui/DrawingView.h"
#include "ui/PromptLine.h"
#include "ui/WindowPlacement.h"

using namespace tessik::cadhost;

namespace {

int litPixels(const QImage& image, QRgb color, QRect area)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixel(x, y) == color) ++n;
    return n;
}

// Answers the next modal message box with the given button.
void answerNextMessageBox(QMessageBox::StandardButton button, QString* text)
{
    QTimer::singleShot(0, [button, text] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        if (text) *text = box->text();
        box->button(button)->click();
    });
}

// Counts the paint events of the widget it is installed on.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// The ezdxf drawing of three paper layouts; false (the test skipped or
// failed) when it cannot be made.
bool makeLayouts(const QString& path)
{
    if (!QFile::exists(QStringLiteral("/usr/bin/python3"))) {
        QTest::qSkip("no /usr/bin/python3", __FILE__, __LINE__);
        return false;
    }
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(TESSIK_EZDXF_ENTITIES), QStringLiteral("make-layouts"), path});
    if (!python.waitForFinished(60000) || python.exitCode() == 77) {
        QTest::qSkip("ezdxf is not installed", __FILE__, __LINE__);
        return false;
    }
    return QTest::qVerify(python.exitCode() == 0, "make-layouts", "", __FILE__, __LINE__);
}

bool showView(DrawingView& view)
{
    view.resize(400, 300);
    view.show();
    return QTest::qWaitForWindowExposed(&view);
}

}  // namespace

class CadWindowTest : public QObject {
    Q_OBJECT

private slots:
    void rasterizerLightsTheRightPixels()
    {
        const QRgb white = qRgb(255, 255, 255);
        CadSpace space;
        space.add(ModelLine{{-100, 0, 0}, {300, 0, 0}});  // runs out on both sides
        space.add(ModelCircle{{50, 50, 0}, 20});
        Viewport v;
        v.setSize({200, 200});
        v.setView({50, 50}, 1);  // world (0, 0) is pixel (-50 + 100, 100 + 50)
        QImage image(200, 200, QImage::Format_RGB32);
        image.fill(Qt::black);
        rasterizeSpace(image, white, v, space);
        // The line: row 150, the whole width, nothing above or below it.
        QCOMPARE(litPixels(image, white, QRect(0, 150, 200, 1)), 200);
        QCOMPARE(litPixels(image, white, QRect(0, 140, 200, 9)), 0);
        // The circle of radius 20 about the centre pixel: lit pixels only
        // near radius 20, and all the way round.
        int ring = 0;
        for (int y = 0; y < 140; ++y) {
            for (int x = 0; x < 200; ++x) {
                if (image.pixel(x, y) != white) continue;
                const double r = std::hypot(x - 100.0, y - 100.0);
                QVERIFY2(std::abs(r - 20) < 1.5, qPrintable(QStringLiteral("pixel %1,%2").arg(x).arg(y)));
                ++ring;
            }
        }
        QVERIFY(ring > 100);
        // The four extremes, within the polyline's chord error of a pixel.
        for (QPoint extreme : {QPoint(120, 100), QPoint(80, 100), QPoint(100, 80), QPoint(100, 120)})
            QVERIFY(litPixels(image, white, QRect(extreme - QPoint(1, 1), QSize(3, 3))) > 0);
    }

    void clickPicksTheWorldPointUnderTheCursor()
    {
        CadSession session;
        DrawingView view(session);
        QVERIFY(showView(view));
        std::optional<std::optional<Point3>> answer;
        session.requestPoint(QStringLiteral("请输入第一点"), std::nullopt,
                             [&](std::optional<Point3> p) { answer = p; });
        QCOMPARE(view.cursor().shape(), Qt::CrossCursor);
        const QPoint at(123, 45);
        QTest::mouseClick(&view, Qt::LeftButton, {}, at);
        QVERIFY(answer.has_value() && answer->has_value());
        const QPointF world = view.viewport().toWorld(at);
        QCOMPARE((**answer)[0], world.x());
        QCOMPARE((**answer)[1], world.y());
        QCOMPARE((**answer)[2], 0.0);
        QVERIFY(!session.picking());
        QCOMPARE(view.cursor().shape(), Qt::ArrowCursor);
    }

    void escapeInTheViewCancelsThePick()
    {
        CadSession session;
        DrawingView view(session);
        QVERIFY(showView(view));
        std::optional<std::optional<Point3>> answer;
        session.requestPoint({}, std::nullopt, [&](std::optional<Point3> p) { answer = p; });
        QTest::keyClick(&view, Qt::Key_Escape);
        QVERIFY(answer.has_value());
        QVERIFY(!answer->has_value());
    }

    void wheelZoomsAboutTheCursor()
    {
        CadSession session;
        DrawingView view(session);
        QVERIFY(showView(view));
        const QPointF at(300, 70);
        const QPointF before = view.viewport().toWorld(at);
        const double scale = view.viewport().scale();
        QWheelEvent wheel(at, view.mapToGlobal(at), QPoint(), QPoint(0, 240), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(&view, &wheel);
        QCOMPARE(view.viewport().scale(), scale * 1.44);
        const QPointF after = view.viewport().toWorld(at);
        QVERIFY(std::abs(after.x() - before.x()) < 1e-9 && std::abs(after.y() - before.y()) < 1e-9);
    }

    void burstOutsideTheViewZoomsToExtents()
    {
        CadSession session;
        DrawingView view(session);
        QVERIFY(showView(view));
        session.addEntity(SpaceKind::Model, ModelLine{{5000, 5000, 0}, {6000, 5500, 0}});
        session.addEntity(SpaceKind::Model, ModelCircle{{-2000, 0, 0}, 10});
        QTRY_VERIFY(view.viewport().visibleWorld().contains(session.document()->modelSpace().extents()));
    }

    // Entities arriving one loop pass apart (waited automation calls) cost
    // at most one paint per refresh interval, and drawing them onto the
    // cached layer gives the same pixels as a full redraw: on the screen
    // too, where only the part that holds them is sent.
    void addedEntitiesPaintCoalescedAndMatchAFullRedraw()
    {
        CadSession session;
        DrawingView view(session);
        QVERIFY(showView(view));
        session.addEntity(SpaceKind::Model, ModelLine{{0, 0, 0}, {100, 100, 0}});
        view.zoomExtents();
        QTest::qWait(50);
        PaintCounter counter;
        view.installEventFilter(&counter);
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 300; ++i) {
            const double x = 10 + (i % 30) * 2.7, y = 10 + (i / 30) * 8.1;
            if (i % 2)
                session.addEntity(SpaceKind::Model, ModelCircle{{x, y, 0}, 1.5});
            else
                session.addEntity(SpaceKind::Model, ModelLine{{x, y, 0}, {x + 2, y + 3, 0}});
            QCoreApplication::processEvents();
        }
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(counter.paints <= elapsed / DrawingView::kRefreshIntervalMs + 2,
                 qPrintable(QStringLiteral("%1 paints in %2 ms").arg(counter.paints).arg(elapsed)));
        QTRY_VERIFY(counter.paints >= 1);
        QTest::qWait(3 * DrawingView::kRefreshIntervalMs);
        const QImage incremental = view.grab().toImage();
        const QImage onScreen = view.screen()->grabWindow(view.winId()).toImage().convertToFormat(incremental.format());
        view.invalidateDrawing();
        const QImage full = view.grab().toImage();
        QCOMPARE(incremental, full);
        QCOMPARE(onScreen, full);
    }

    // Three lines in a fitted view: a click near one, a window round one,
    // a crossing through another; the highlight is painted and Delete, Esc
    // and Ctrl+Z act on the selection.
    void clickWindowAndCrossingSelect()
    {
        CadSession session;
        DrawingView view(session);
        QVERIFY(showView(view));
        const int a = session.addEntity(SpaceKind::Model, ModelLine{{0, 0, 0}, {100, 0, 0}});
        const int b = session.addEntity(SpaceKind::Model, ModelLine{{0, 50, 0}, {100, 50, 0}});
        const int c = session.addEntity(SpaceKind::Model, ModelLine{{0, 100, 0}, {100, 100, 0}});
        view.zoomExtents();
        const Viewport& v = view.viewport();
        const auto screen = [&](double x, double y) { return v.toScreen(x, y).toPoint(); };
        const auto drag = [&](QPoint from, QPoint to, Qt::KeyboardModifiers mods = {}) {
            QTest::mousePress(&view, Qt::LeftButton, mods, from);
            QTest::mouseMove(&view, (from + to) / 2);
            QTest::mouseMove(&view, to);
            QTest::mouseRelease(&view, Qt::LeftButton, mods, to);
        };

        QTest::mouseClick(&view, Qt::LeftButton, {}, screen(50, 0) + QPoint(0, 4));
        QCOMPARE(session.selection(), std::vector<int>{a});
        QTest::mouseClick(&view, Qt::LeftButton, {}, screen(50, 25));  // far from all: clears
        QVERIFY(session.selection().empty());
        QTest::mouseClick(&view, Qt::LeftButton, {}, screen(50, 0) + QPoint(0, 7));
        QVERIFY(session.selection().empty());

        // Left to right round b only, then a crossing (right to left) over c's middle, added.
        drag(screen(-5, 45), screen(105, 55));
        QCOMPARE(session.selection(), std::vector<int>{b});
        drag(screen(60, 105), screen(40, 95), Qt::ShiftModifier);
        QCOMPARE(session.selection(), (std::vector<int>{b, c}));
        // The same box left to right holds nothing wholly.
        drag(screen(40, 95), screen(60, 105));
        QVERIFY(session.selection().empty());
        drag(screen(60, 105), screen(40, 95));
        QCOMPARE(session.selection(), std::vector<int>{c});

        const QColor highlight(80, 170, 255);
        const QImage shot = view.grab().toImage();
        const int y = screen(50, 100).y();
        QVERIFY(litPixels(shot, highlight.rgb(), QRect(screen(10, 100).x(), y - 1, 10, 3)) > 0);
        QCOMPARE(litPixels(shot, highlight.rgb(), QRect(screen(10, 50).x(), screen(0, 50).y() - 1, 10, 3)), 0);

        QTest::keyClick(&view, Qt::Key_Escape);
        QVERIFY(session.selection().empty());
        drag(screen(-5, 45), screen(105, 105));
        QCOMPARE(session.selection(), (std::vector<int>{b, c}));
        QTest::keyClick(&view, Qt::Key_Delete);
        QVERIFY(session.selection().empty());
        const CadSpace& space = session.document()->modelSpace();
        QCOMPARE(space.liveCount(), 1);
        QVERIFY(space.erased(b) && space.erased(c));
        // Erased entities are not painted.
        QTRY_COMPARE(litPixels(view.grab().toImage(), QColor(235, 235, 235).rgb(),
                               QRect(screen(10, 100).x(), y - 1, 10, 3)),
                     0);
        session.undo();  // one step brings both back
        QCOMPARE(space.liveCount(), 3);
    }

    void editMenuNamesTheStepAndShortcutsUndo()
    {
        CadSession session;
        CadMainWindow window(session);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        session.addEntity(SpaceKind::Model, ModelCircle{{0, 0, 0}, 5});
        QAction* undo = nullptr;
        for (QAction* a : window.findChildren<QAction*>())
            if (a->text().startsWith(QStringLiteral("撤销"))) undo = a;
        QVERIFY(undo);
        QTRY_COMPARE(undo->text(), QStringLiteral("撤销 添加圆(&U)"));
        // Ctrl+Z reaches the drawing even from the prompt line's editor.
        window.promptLine()->findChild<QLineEdit*>()->setFocus();
        QTest::keyClick(window.promptLine()->findChild<QLineEdit*>(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(session.document()->modelSpace().liveCount(), 0);
        QTest::keyClick(window.view(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(session.document()->modelSpace().liveCount(), 1);
        QVERIFY(session.document()->modified());
        // The prompt line's commands.
        session.commandLine().type(QStringLiteral("u\n"));
        QVERIFY(!session.document()->modified());
        QTRY_VERIFY(!undo->isEnabled());
        session.commandLine().type(QStringLiteral("REDO\n"));
        QCOMPARE(session.document()->modelSpace().liveCount(), 1);
    }

    // A drag shows the drawing as it was, shifted with the mouse (what it
    // uncovers stays blank), until the view stands still; then it is redrawn
    // for the new view.
    void panShiftsTheCachedDrawingThenRedrawsWhenSettled()
    {
        CadSession session;
        DrawingView view(session);
        QVERIFY(showView(view));
        for (int i = 0; i < 300; ++i)
            session.addEntity(SpaceKind::Model, ModelCircle{{(i % 25) * 10.0, (i / 25) * 10.0, 0}, 3.0 + i % 3});
        QTest::qWait(3 * DrawingView::kRefreshIntervalMs);  // the added entities' zoom to extents
        view.zoomAbout(QPointF(view.width() / 2.0, view.height() / 2.0), 3);
        QTest::qWait(DrawingView::kSettleMs + 100);
        const QImage before = view.grab().toImage();
        const QPoint from(200, 150), to(237, 128);
        const auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
            QMouseEvent e(type, at, view.mapToGlobal(at), Qt::MiddleButton, buttons, Qt::NoModifier);
            QApplication::sendEvent(&view, &e);
        };
        send(QEvent::MouseButtonPress, from, Qt::MiddleButton);
        send(QEvent::MouseMove, to, Qt::MiddleButton);
        send(QEvent::MouseButtonRelease, to, Qt::NoButton);
        const QImage moving = view.grab().toImage();
        const QPoint shift = to - from;
        const QRect kept = before.rect().intersected(before.rect().translated(shift)).adjusted(2, 2, -2, -2);
        const auto litIn = [](const QImage& image, QRect area, QRgb background) {
            int lit = 0;
            for (int y = area.top(); y <= area.bottom(); ++y)
                for (int x = area.left(); x <= area.right(); ++x) lit += image.pixel(x, y) != background;
            return lit;
        };
        for (int y = kept.top(); y <= kept.bottom(); ++y)
            for (int x = kept.left(); x <= kept.right(); ++x)
                QCOMPARE(moving.pixel(x, y), before.pixel(x - shift.x(), y - shift.y()));
        const QRgb background = moving.pixel(1, moving.height() - 2);  // uncovered by the drag
        const QRect uncovered(0, 0, shift.x() - 1, before.height());
        QVERIFY(litIn(before, kept, background) > 100);
        QCOMPARE(litIn(moving, uncovered, background), 0);
        QTest::qWait(DrawingView::kSettleMs + 100);
        const QImage settled = view.grab().toImage();
        QVERIFY(litIn(settled, uncovered, background) > 20);
        view.invalidateDrawing();
        QCOMPARE(settled, view.grab().toImage());
    }

    void promptLineShowsWhatSendCommandTypes()
    {
        CadSession session;
        PromptLine prompt(session);
        QCOMPARE(prompt.promptText(), QStringLiteral("命令:"));
        std::optional<std::optional<Point3>> answer;
        session.requestPoint(QStringLiteral("请输入第一点"), std::nullopt,
                             [&](std::optional<Point3> p) { answer = p; });
        QCOMPARE(prompt.promptText(), QStringLiteral("请输入第一点"));
        session.commandLine().type(QStringLiteral("12.5,"));
        QCOMPARE(prompt.inputText(), QStringLiteral("12.5,"));
        session.commandLine().type(QStringLiteral("-3\n"));
        QCOMPARE(prompt.inputText(), QString());
        QVERIFY(answer && *answer);
        QCOMPARE(**answer, (Point3{12.5, -3, 0}));
        QCOMPARE(prompt.promptText(), QStringLiteral("命令:"));
    }

    // The model and layout tabs: under the view and over the prompt line,
    // touching neither, from the left and no wider than their names need.
    void spaceTabsSitBetweenTheViewAndThePrompt()
    {
        CadSession session;
        CadMainWindow window(session);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* tabs = window.findChild<QTabBar*>(QStringLiteral("spaceTabs"));
        QVERIFY(tabs);
        const auto inWindow = [&](QWidget* w) { return QRect(w->mapTo(&window, QPoint(0, 0)), w->size()); };
        const QRect view = inWindow(window.view()), bar = inWindow(tabs), prompt = inWindow(window.promptLine());
        QVERIFY(view.bottom() < bar.top());
        QVERIFY(bar.bottom() < prompt.top());
        QCOMPARE(bar.left(), view.left());
        for (int i = 0; i < tabs->count(); ++i) {
            const QRect tab = tabs->tabRect(i);
            QVERIFY(tab.width() < view.width() / 4);
            QVERIFY(tab.width() > tabs->fontMetrics().horizontalAdvance(tabs->tabText(i)));
            QVERIFY(tab.height() >= tabs->fontMetrics().height());
        }
    }

    // With the layout tab clicked, what automation adds to paper space is
    // painted as it arrives, and erasing it repaints too; additions to model
    // space neither paint nor move that view, and show once the model tab is
    // back.
    void layoutTabFollowsPaperSpaceOnly()
    {
        CadSession session;
        CadMainWindow window(session);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        DrawingView& view = *window.view();
        auto* tabs = window.findChild<QTabBar*>(QStringLiteral("spaceTabs"));
        QVERIFY(tabs);
        // A model-space selection is not carried over to where Delete cannot show what it takes.
        session.select({session.addEntity(SpaceKind::Model, ModelLine{{0, 0, 0}, {10, 0, 0}})});
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
        QCOMPARE(view.shownSpace(), SpaceKind::Paper);
        QVERIFY(session.selection().empty());
        session.addEntity(SpaceKind::Paper, ModelPolyline{{{0, 0, 0}, {297, 0, 0}, {297, 210, 0}, {0, 210, 0}}, true, 0});
        QTRY_VERIFY(view.viewport().visibleWorld().contains(session.document()->paperSpace().extents()));
        QTest::qWait(3 * DrawingView::kRefreshIntervalMs);

        PaintCounter counter;
        view.installEventFilter(&counter);
        const QRgb ink = QColor(235, 235, 235).rgb();
        const auto row = [&](double y) {
            const QPoint a = view.viewport().toScreen(60, y).toPoint(), b = view.viewport().toScreen(240, y).toPoint();
            return QRect(a.x(), a.y() - 1, b.x() - a.x(), 3);
        };
        const Viewport before = view.viewport();
        session.addEntity(SpaceKind::Model, ModelLine{{60, 140, 0}, {240, 140, 0}});
        session.addEntity(SpaceKind::Model, ModelCircle{{1e5, 1e5, 0}, 10});  // far outside the sheet
        QTest::qWait(5 * DrawingView::kRefreshIntervalMs);
        QCOMPARE(counter.paints, 0);
        QCOMPARE(view.viewport().center(), before.center());
        QCOMPARE(view.viewport().scale(), before.scale());

        const int line = session.addEntity(SpaceKind::Paper, ModelLine{{60, 70, 0}, {240, 70, 0}});
        QTRY_VERIFY(counter.paints > 0);
        QImage shot = view.grab().toImage();
        QVERIFY(litPixels(shot, ink, row(70)) > 100);
        QCOMPARE(litPixels(shot, ink, row(140)), 0);

        counter.paints = 0;
        QCOMPARE(session.eraseEntities({{SpaceKind::Paper, line}}), 1);
        QTRY_VERIFY(counter.paints > 0);
        QCOMPARE(litPixels(view.grab().toImage(), ink, row(70)), 0);

        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
        QCOMPARE(view.shownSpace(), SpaceKind::Model);
        QVERIFY(view.viewport().visibleWorld().contains(session.document()->modelSpace().extents()));
    }

    // A drawing with several paper layouts has a tab for each, named as the
    // drawing names them, each showing its layout's entities; another
    // drawing takes them away and shows its model.
    void everyLayoutHasItsTab()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("layouts.dxf"));
        if (!makeLayouts(path)) return;
        CadSession session;
        CadMainWindow window(session);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* tabs = window.findChild<QTabBar*>(QStringLiteral("spaceTabs"));
        QVERIFY(tabs);
        QVERIFY(session.openDocument(path));
        QStringList names;
        for (int i = 0; i < tabs->count(); ++i) names << tabs->tabText(i);
        QCOMPARE(names, (QStringList{QStringLiteral("模型"), QStringLiteral("Layout1"), QStringLiteral("Second"), QStringLiteral("Third")}));
        DrawingView& view = *window.view();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
        const DrawingDocument& doc = *session.document();
        QVERIFY(view.shownSpace() != SpaceKind::Model && view.shownSpace() != SpaceKind::Paper);
        QCOMPARE(doc.layoutSpaces()[static_cast<std::size_t>(view.shownSpace()) - 2].block, std::string("*PAPER_SPACE0"));
        QCOMPARE(doc.space(view.shownSpace()).liveCount(), 4);
        QTRY_VERIFY(view.viewport().visibleWorld().contains(doc.extents(view.shownSpace())));
        session.newDocument();
        QCOMPARE(tabs->count(), 2);
        QCOMPARE(view.shownSpace(), SpaceKind::Model);
    }

    // On a layout's tab the mouse selects that layout's entities by the
    // model's rules; Delete, MOVE and undo act on them there. Its line
    // runs (1,1)-(20,1) over a 5 x 5 square, a block reference and a text.
    void aLayoutsEntitiesSelectEraseAndMoveOnItsTab()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("layouts.dxf"));
        if (!makeLayouts(path)) return;
        CadSession session;
        CadMainWindow window(session);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(session.openDocument(path));
        auto* tabs = window.findChild<QTabBar*>(QStringLiteral("spaceTabs"));
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
        DrawingView& view = *window.view();
        const SpaceKind kind = view.shownSpace();
        const CadSpace& space = session.document()->space(kind);
        QTRY_VERIFY(view.viewport().visibleWorld().contains(session.document()->extents(kind)));
        int line = -1;
        for (int i = 0; i < space.count(); ++i)
            if (std::holds_alternative<ModelLine>(space.at(i))) line = i;
        QVERIFY(line >= 0);
        const auto screen = [&](double x, double y) { return view.viewport().toScreen(x, y).toPoint(); };
        const auto drag = [&](QPoint from, QPoint to) {
            QTest::mousePress(&view, Qt::LeftButton, {}, from);
            QTest::mouseMove(&view, to);
            QTest::mouseRelease(&view, Qt::LeftButton, {}, to);
        };

        QTest::mouseClick(&view, Qt::LeftButton, {}, screen(15, 1));
        QCOMPARE(session.selection(), std::vector<int>{line});
        QCOMPARE(session.selectionSpace(), kind);
        drag(screen(14, 3), screen(12, -1));  // right to left: crosses the line only
        QCOMPARE(session.selection(), std::vector<int>{line});
        drag(screen(12, -1), screen(14, 3));  // left to right: holds nothing wholly
        QVERIFY(session.selection().empty());
        drag(QPoint(2, 2), QPoint(view.width() - 3, view.height() - 3));  // round the whole view
        QCOMPARE(int(session.selection().size()), space.liveCount());
        QTest::keyClick(&view, Qt::Key_Delete);
        QCOMPARE(space.liveCount(), 0);
        QVERIFY(session.undo());
        QCOMPARE(space.liveCount(), 4);

        // MOVE by two clicked points.
        QTest::mouseClick(&view, Qt::LeftButton, {}, screen(15, 1));
        session.commandLine().setText(QStringLiteral("m"));
        session.commandLine().submit();
        QVERIFY(session.picking());
        const QPoint from = screen(0, 0), to = screen(3, 2);
        QTest::mouseClick(&view, Qt::LeftButton, {}, from);
        QTest::mouseClick(&view, Qt::LeftButton, {}, to);
        QVERIFY(!session.picking());
        const QPointF by = view.viewport().toWorld(to) - view.viewport().toWorld(from);
        const auto& moved = std::get<ModelLine>(space.at(line));
        QCOMPARE(moved.start[0], 1 + by.x());
        QCOMPARE(moved.end[1], 1 + by.y());
        QVERIFY(session.undo());
        QCOMPARE(std::get<ModelLine>(space.at(line)).start[0], 1.0);

        // A MOVE still waiting for its second point ends with a switch of
        // tab, as with Esc: back on the tab, clicks select and move nothing.
        QStringList history;
        connect(&session, &CadSession::message, &window, [&history](const QString& m) { history << m; });
        QTest::mouseClick(&view, Qt::LeftButton, {}, screen(15, 1));
        session.commandLine().setText(QStringLiteral("m"));
        session.commandLine().submit();
        QTest::mouseClick(&view, Qt::LeftButton, {}, from);
        QVERIFY(session.picking());
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
        QVERIFY(!session.picking());
        QCOMPARE(history.last(), QStringLiteral("指定第二个点: *取消*"));
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
        QCOMPARE(view.shownSpace(), kind);
        QTest::mouseClick(&view, Qt::LeftButton, {}, to);
        QCOMPARE(std::get<ModelLine>(space.at(line)).start[0], 1.0);
    }

    void titleIsTheCaption()
    {
        CadSession session;
        CadMainWindow window(session);
        QCOMPARE(window.windowTitle(), QStringLiteral("Drawing1 - Tessik CAD"));
        // Marked unsaved from the first change until saved (or undone back to it).
        session.addEntity(SpaceKind::Model, ModelLine{{0, 0, 0}, {1, 1, 0}});
        QCOMPARE(window.windowTitle(), QStringLiteral("Drawing1* - Tessik CAD"));
        session.undo();
        QCOMPARE(window.windowTitle(), QStringLiteral("Drawing1 - Tessik CAD"));
        session.closeDocument();
        QCOMPARE(window.windowTitle(), QStringLiteral("Tessik CAD"));
    }

    // Beside the launcher's window: right where it fits, else left, else the
    // roomier side narrowed; never off the screen, never over the other window
    // when either side has room for a third of the screen.
    void opensBesideTheLaunchersWindow()
    {
        const QRect screen(0, 0, 1920, 1040);
        const QSize size(1000, 700);
        QCOMPARE(besidePlacement(QRect(0, 100, 800, 600), size, screen), QRect(800, 100, 1000, 700));
        QCOMPARE(besidePlacement(QRect(1000, 100, 800, 600), size, screen), QRect(0, 100, 1000, 700));
        const QRect middle(700, 500, 500, 400);
        const QRect placed = besidePlacement(middle, size, screen);
        QVERIFY(screen.contains(placed));
        QVERIFY(!placed.intersects(middle));
        QCOMPARE(placed.height(), 700);
        QCOMPARE(placed.width(), 720);
        QCOMPARE(parseBeside(QStringLiteral("10,20,300,400")), std::optional<QRect>(QRect(10, 20, 300, 400)));
        QCOMPARE(parseBeside(QStringLiteral("10,20,0,400")), std::nullopt);
        QCOMPARE(parseBeside(QStringLiteral("x,20,300,400")), std::nullopt);
    }

    void closingWithUnsavedChangesAsks()
    {
        CadSession session;
        CadMainWindow window(session);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // Unchanged: closes without a question.
        QVERIFY(window.close());
        window.show();
        session.addEntity(SpaceKind::Model, ModelLine{{0, 0, 0}, {1, 1, 0}});
        QString asked;
        answerNextMessageBox(QMessageBox::Cancel, &asked);
        QVERIFY(!window.close());
        QVERIFY(asked.contains(QStringLiteral("Drawing1")));
        QCOMPARE(session.document()->modelSpace().count(), 1);
        answerNextMessageBox(QMessageBox::Discard, nullptr);
        QVERIFY(window.close());
    }
};

QTEST_MAIN(CadWindowTest)
#include "CadWindowTest.moc"
