// ModelSpace.Count and Item against a plain model of what the list must be,
// through the automation object model in-process: random runs of AddLine,
// Delete, Move, undo, redo, save-and-reopen and Item, checked after every
// step; half the runs start from a file whose entities the model holds only
// as shapes (a block reference, a multi-line text, a multileader).

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>

#include "automation/AutomationDispatcher.h"
#include "model/CadSession.h"

using namespace tessik;
using namespace tessik::cadhost;
using Verb = AutomationDispatcher::Verb;

namespace {

// The automation side: one session, one dispatcher, blocking calls.
struct Cad {
    CadSession session;
    AutomationDispatcher dispatcher{session};

    Result<QJsonValue> invoke(Verb verb, std::int64_t target, const char* member, QJsonArray args = {})
    {
        Result<QJsonValue> answer = QJsonValue();
        AutomationDispatcher::Invocation inv{verb, target, member, {}, std::move(args)};
        dispatcher.invoke(inv, [&answer](const Result<QJsonValue>& r) { answer = r; });
        return answer;
    }
    static std::int64_t handle(const Result<QJsonValue>& r)
    {
        return r ? r->toObject().value(QStringLiteral("handle")).toInteger(-1) : -1;
    }
    std::int64_t model()
    {
        const std::int64_t doc = handle(invoke(Verb::Get, 0, "ActiveDocument"));
        return handle(invoke(Verb::Get, doc, "ModelSpace"));
    }
    std::int64_t addLine(std::int64_t space, double x)
    {
        return handle(invoke(Verb::Call, space, "AddLine", {QJsonArray{x, 0, 0}, QJsonArray{x, 1, 0}}));
    }
};

// What the list must be: every line added, in order, with whether it is
// there now, and the steps undo and redo walk through.
struct PlainModel {
    struct Line {
        std::int64_t handle;
        bool there = true;
    };
    struct Step {
        bool add;
        std::vector<int> lines;
    };
    std::vector<Line> lines;
    std::vector<bool> fixed;  // by line: Move must refuse it
    std::vector<Step> steps;
    std::size_t position = 0;

    void push(Step s)
    {
        steps.resize(position);
        steps.push_back(s);
        ++position;
    }
    void add(std::int64_t handle)
    {
        lines.push_back({handle});
        push({true, {int(lines.size()) - 1}});
    }
    // One step for all of them; false when none was there.
    bool erase(const std::vector<int>& some)
    {
        std::vector<int> erased;
        for (int line : some)
            if (lines[std::size_t(line)].there) {
                lines[std::size_t(line)].there = false;
                erased.push_back(line);
            }
        if (erased.empty()) return false;
        push({false, erased});
        return true;
    }
    void walk(bool back)
    {
        if (back ? position == 0 : position == steps.size()) return;
        const Step& s = steps[back ? --position : position++];
        for (int line : s.lines) lines[std::size_t(line)].there = s.add != back;
    }
    std::vector<std::int64_t> list() const
    {
        std::vector<std::int64_t> out;
        for (const Line& l : lines)
            if (l.there) out.push_back(l.handle);
        return out;
    }
};

// A block reference, a multi-line text and a multileader (which cannot be moved
// point by point) among lines.
const char kShapes[] =
    "0\nSECTION\n2\nENTITIES\n"
    "0\nINSERT\n5\n2A\n8\n0\n2\nNONE\n10\n1.0\n20\n2.0\n30\n0.0\n"
    "0\nLINE\n5\n2B\n8\n0\n10\n0.0\n20\n0.0\n30\n0.0\n11\n1.0\n21\n1.0\n31\n0.0\n"
    "0\nMTEXT\n5\n2C\n8\n0\n10\n3.0\n20\n4.0\n30\n0.0\n40\n2.5\n1\nabc\n"
    "0\nACAD_PROXY_ENTITY\n5\n2D\n8\n0\n10\n0.0\n20\n0.0\n30\n0.0\n"
    "0\nENDSEC\n0\nEOF\n";

std::vector<std::int64_t> listByItem(Cad& cad, std::int64_t space, int count)
{
    std::vector<std::int64_t> out;
    for (int i = 0; i < count; ++i) out.push_back(Cad::handle(cad.invoke(Verb::Call, space, "Item", {i})));
    return out;
}

}  // namespace

TEST(ModelSpaceItem, AdditionsAfterAnEraseAreListedAsThemselves)
{
    Cad cad;
    const std::int64_t space = cad.model();
    std::vector<std::int64_t> added;
    for (int i = 0; i < 3; ++i) added.push_back(cad.addLine(space, i));
    ASSERT_TRUE(cad.invoke(Verb::Call, added[1], "Delete"));
    EXPECT_EQ(listByItem(cad, space, 2), (std::vector<std::int64_t>{added[0], added[2]}));
    for (int i = 3; i < 6; ++i) added.push_back(cad.addLine(space, i));
    EXPECT_EQ(listByItem(cad, space, 5),
              (std::vector<std::int64_t>{added[0], added[2], added[3], added[4], added[5]}));
    EXPECT_FALSE(cad.invoke(Verb::Call, space, "Item", {5}));
}

TEST(ModelSpaceItem, RandomEditsAgreeWithAPlainModel)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("reopened.dxf"));
    constexpr int kRuns = 2000;
    for (int run = 0; run < kRuns; ++run) {
        std::mt19937 random{unsigned(run)};
        const auto roll = [&random](int n) { return int(random() % unsigned(n)); };
        Cad cad;
        PlainModel model;
        if (run % 2 == 1) {
            const QString shapes = dir.filePath(QStringLiteral("shapes.dxf"));
            QFile f(shapes);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(kShapes) > 0);
            f.close();
            ASSERT_TRUE(cad.session.openDocument(shapes));
            for (std::int64_t h : listByItem(cad, cad.model(), 4)) model.add(h);
            model.steps.clear();
            model.position = 0;
            model.fixed = {false, false, false, true};
        }
        std::int64_t space = cad.model();
        ASSERT_EQ(cad.invoke(Verb::Get, space, "Count")->toInt(), int(model.lines.size()));
        double x = 0;
        const int steps = 20 + roll(80);
        for (int step = 0; step < steps; ++step) {
            // Reopening writes a file: rare, to keep the runs quick.
            const bool reopen = roll(2000) == 0;
            const int what = roll(90);
            if (reopen) {
                // Reopened, the drawing holds what was there, under new handles
                // and with no history.
                ASSERT_TRUE(cad.session.saveDocument(file));
                ASSERT_TRUE(cad.session.openDocument(file));
                space = cad.model();
                const int count = int(model.list().size());
                std::vector<bool> fixed;
                for (std::size_t k = 0; k < model.lines.size(); ++k)
                    if (model.lines[k].there) fixed.push_back(k < model.fixed.size() && model.fixed[k]);
                model = PlainModel{};
                for (std::int64_t h : listByItem(cad, space, count)) model.add(h);
                model.fixed = fixed;
                model.steps.clear();
                model.position = 0;
            } else if (what < 35) {
                const std::int64_t h = cad.addLine(space, ++x);
                ASSERT_GT(h, 0);
                model.add(h);
            } else if (what < 55 && !model.lines.empty()) {
                // Any line ever added, there or not: one erased answers an error.
                const int line = roll(int(model.lines.size()));
                const bool there = model.lines[std::size_t(line)].there;
                ASSERT_EQ(bool(cad.invoke(Verb::Call, model.lines[std::size_t(line)].handle, "Delete")), there)
                    << "run " << run << " step " << step;
                if (there) model.erase({line});
            } else if (what < 60 && !model.lines.empty()) {
                // Several at once, as the window erases a selection (line i is slot i).
                std::vector<int> some;
                std::vector<EntityRef> refs;
                for (int k = roll(4); k >= 0; --k) {
                    some.push_back(roll(int(model.lines.size())));
                    refs.push_back(EntityRef{SpaceKind::Model, some.back()});
                }
                const bool any = model.erase(some);
                ASSERT_EQ(cad.session.eraseEntities(refs) > 0, any) << "run " << run << " step " << step;
            } else if (what < 72) {
                cad.session.undo();
                model.walk(true);
            } else if (what < 82) {
                cad.session.redo();
                model.walk(false);
            } else if (!model.lines.empty()) {
                // A move is a step that leaves the list as it is; a custom object refuses it.
                const int line = roll(int(model.lines.size()));
                const bool there = model.lines[std::size_t(line)].there;
                const bool fixed = std::size_t(line) < model.fixed.size() && model.fixed[std::size_t(line)];
                const auto moved = cad.invoke(Verb::Call, model.lines[std::size_t(line)].handle, "Move",
                                              {QJsonArray{0, 0, 0}, QJsonArray{1, 2, 0}});
                ASSERT_EQ(bool(moved), there && !fixed) << "run " << run << " step " << step;
                if (moved) model.push({true, {}});
            }
            const std::vector<std::int64_t> expected = model.list();
            const int count = int(expected.size());
            ASSERT_EQ(cad.invoke(Verb::Get, space, "Count")->toInt(), count) << "run " << run << " step " << step;
            // A few items, out of range ones included, and now and then all of them.
            for (int probe = 0; probe < 3; ++probe) {
                const int i = roll(count + 2) - 1;
                const auto item = cad.invoke(Verb::Call, space, "Item", {i});
                if (i < 0 || i >= count) {
                    ASSERT_FALSE(item) << "run " << run << " step " << step << " item " << i;
                } else {
                    ASSERT_EQ(Cad::handle(item), expected[std::size_t(i)])
                        << "run " << run << " step " << step << " item " << i;
                }
            }
            if (roll(10) == 0) {
                ASSERT_EQ(listByItem(cad, space, count), expected) << "run " << run << " step " << step;
            }
        }
    }
}
