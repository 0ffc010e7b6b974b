#include "automation/AutomationDispatcher.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include <QDir>
#include <QFileInfo>
#include <QJsonObject>

#include "automation/AutomationDocuments.h"
#include "automation/AutomationEntities.h"
#include "automation/AutomationLayers.h"
#include "automation/AutomationLayouts.h"
#include "automation/AutomationMemberTypes.h"
#include "model/ModelNames.h"

namespace tessik::cadhost {

using namespace members;

namespace {

const char* kindName(Kind kind)
{
    switch (kind) {
    case Kind::Application: return "Application";
    case Kind::Document: return "Document";
    case Kind::ModelSpace: return "ModelSpace";
    case Kind::PaperSpace: return "PaperSpace";
    case Kind::Utility: return "Utility";
    case Kind::Entity: return "Entity";
    case Kind::Documents: return "Documents";
    case Kind::Layers: return "Layers";
    case Kind::Layer: return "Layer";
    case Kind::Layouts: return "Layouts";
    case Kind::Layout: return "Layout";
    case Kind::Block: return "Block";
    }
    return "";
}

// A client computes a circle seen edge-on as |y1 - y2| / diameter, which in
// doubles lands a few units in the last place above 1, more so far from the
// origin, where the coordinates carry fewer digits below the point. Such a
// ratio is 1 within what the client's arithmetic can tell apart, and is
// stored as 1; anything clearly above 1 is still refused.
std::optional<double> acceptedEllipseRatio(double ratio)
{
    constexpr double kRoundingAllowance = 1e-12;
    if (ratio > 0 && ratio <= 1) return ratio;
    if (ratio > 1 && ratio <= 1 + kRoundingAllowance) return 1.0;
    return std::nullopt;
}

Error unknownName(const QString& member)
{
    return error(kUnknownName, QStringLiteral("未知的名称“%1”。").arg(member));
}

Result<Point3> point(const QJsonValue& v, const char* what)
{
    const auto name = [what] { return QString::fromUtf8(what); };
    const QJsonArray a = v.toArray();
    if (!v.isArray() || a.size() != 3) return invalid(QStringLiteral("%1应为三个数的数组。").arg(name()));
    Point3 p{};
    for (int i = 0; i < 3; ++i) {
        const QJsonValue c = a.at(i);
        if (!c.isDouble() || !std::isfinite(c.toDouble()))
            return invalid(QStringLiteral("%1的坐标必须是有限的数。").arg(name()));
        p[static_cast<std::size_t>(i)] = c.toDouble();
    }
    return p;
}

Result<double> number(const QJsonValue& v, const char* what)
{
    if (!v.isDouble() || !std::isfinite(v.toDouble()))
        return invalid(QStringLiteral("%1必须是有限的数。").arg(QString::fromUtf8(what)));
    return v.toDouble();
}

// Argument i as a point or a number: read straight from the arguments when
// sound, else through its JSON value, which words the refusal.
Result<Point3> point(const AutomationArgs& args, qsizetype i, const char* what)
{
    Point3 p{};
    if (args.finiteNumbers(i, p.data(), qsizetype(p.size()))) return p;
    return point(args[i], what);
}

Result<double> number(const AutomationArgs& args, qsizetype i, const char* what)
{
    if (const std::optional<double> d = args.finiteNumber(i)) return *d;
    return number(args[i], what);
}

// Every point derived from a curve (its start and end at any angle, its
// extents) must be finite too: a centre and a radius that are each finite
// can still add up beyond the range of a double.
Status reachFinite(const Point3& center, double reach)
{
    for (int i = 0; i < 2; ++i)
        if (!std::isfinite(std::abs(center[static_cast<std::size_t>(i)]) + reach))
            return invalid(QStringLiteral("圆心与半径（或长轴）之和超出数值范围。"));
    return success();
}

QJsonValue pointValue(const Point3& p) { return QJsonArray{p[0], p[1], p[2]}; }

template <class T>
Result<QJsonValue> ok(T v)
{
    return QJsonValue(v);
}

// Application object -------------------------------------------------------

QHash<QString, Member> applicationMembers()
{
    QHash<QString, Member> m;
    m[memberKey(member::kVisible)].get = [](Context& c) { return ok(c.session.visible()); };
    m[memberKey(member::kVisible)].set = [](Context& c, const QJsonValue& v) -> Status {
        if (!v.isBool() && !v.isDouble()) return invalid(QStringLiteral("Visible 必须是布尔值。"));
        c.session.setVisible(v.isBool() ? v.toBool() : v.toDouble() != 0);
        return success();
    };
    m[memberKey(member::kCaption)].get = [](Context& c) { return ok(c.session.caption()); };
    m[memberKey(member::kName)].get = [](Context&) { return ok(CadSession::applicationName()); };
    m[memberKey(member::kDocuments)].get = [](Context& c) {
        return Result<QJsonValue>(c.handle(ObjectRef{Kind::Documents, 0, 0, 0}));
    };
    m[memberKey(member::kActiveDocument)].get = [](Context& c) -> Result<QJsonValue> {
        const DrawingDocument* doc = c.session.document();
        if (!doc) return error(kNoDocument, QStringLiteral("没有打开的图形。"));
        return c.handle(ObjectRef{Kind::Document, doc->serial(), 0, 0});
    };
    m[memberKey(member::kZoomExtents)].call = [](Context& c, const AutomationArgs& args) -> Result<QJsonValue> {
        if (Status s = argCount(args, 0, 0); !s) return s.error();
        c.session.requestZoomExtents();
        return QJsonValue();
    };
    return m;
}

// Document -----------------------------------------------------------------

Status saveAs(Context& c, const QJsonValue& arg)
{
    auto path = text(arg, "文件名");
    if (!path) return path.error();
    if (path->trimmed().isEmpty()) return invalid(QStringLiteral("文件名为空。"));
    const QString absolute = QFileInfo(*path).absoluteFilePath();
    if (QFileInfo(absolute).isDir()) return invalid(QStringLiteral("“%1”是文件夹。").arg(*path));
    return c.session.saveDocument(absolute);
}

QHash<QString, Member> documentMembers()
{
    QHash<QString, Member> m;
    m[memberKey(member::kName)].get = [](Context& c) { return ok(c.document->name()); };
    m[memberKey(member::kFullName)].get = [](Context& c) { return ok(c.document->path()); };
    m[memberKey(member::kSaved)].get = [](Context& c) { return ok(!c.document->modified()); };
    m[memberKey(member::kModelSpace)].get = [](Context& c) {
        return Result<QJsonValue>(c.handle(c.child(Kind::ModelSpace, 0)));
    };
    m[memberKey(member::kPaperSpace)].get = [](Context& c) {
        return Result<QJsonValue>(c.handle(c.child(Kind::PaperSpace, 1)));
    };
    m[memberKey(member::kUtility)].get = [](Context& c) { return Result<QJsonValue>(c.handle(c.child(Kind::Utility))); };
    m[memberKey(member::kSaveAs)].call = [](Context& c, const AutomationArgs& args) -> Result<QJsonValue> {
        if (Status s = argCount(args, 1, 2); !s) return s.error();  // (path[, version])
        if (Status s = saveAs(c, args[0]); !s) return s.error();
        return QJsonValue();
    };
    m[memberKey(member::kSave)].call = [](Context& c, const AutomationArgs& args) -> Result<QJsonValue> {
        if (Status s = argCount(args, 0, 0); !s) return s.error();
        if (c.document->path().isEmpty())
            return invalid(QStringLiteral("图形尚未命名，请用 SaveAs。"));
        if (Status s = c.session.saveDocument(c.document->path()); !s) return s.error();
        return QJsonValue();
    };
    m[memberKey(member::kClose)].call = [](Context& c, const AutomationArgs& args) -> Result<QJsonValue> {
        // Close([saveChanges[, fileName]]): with unsaved changes the caller
        // must say what to do with them; nothing is dropped silently.
        if (Status s = argCount(args, 0, 2); !s) return s.error();
        const bool told = !args.isEmpty() && !args[0].isNull();
        if (told && !args[0].isBool()) return invalid(QStringLiteral("SaveChanges 必须是布尔值。"));
        if (c.document->modified()) {
            if (!told)
                return error(kFailed, QStringLiteral("图形有未保存的修改：请说明是否保存。"));
            if (args[0].toBool()) {
                Status saved = args.size() > 1 ? saveAs(c, args[1])
                               : c.document->path().isEmpty()
                                   ? Status(invalid(QStringLiteral("图形尚未命名，请给出文件名。")))
                                   : c.session.saveDocument(c.document->path());
                if (!saved) return saved.error();
            }
        }
        c.session.closeDocument();
        return QJsonValue();
    };
    m[memberKey(member::kStartUndoMark)].call = [](Context& c, const AutomationArgs& args) -> Result<QJsonValue> {
        if (Status s = argCount(args, 0, 0); !s) return s.error();
        c.dispatcher.startUndoMark();
        return QJsonValue();
    };
    m[memberKey(member::kEndUndoMark)].call = [](Context& c, const AutomationArgs& args) -> Result<QJsonValue> {
        if (Status s = argCount(args, 0, 0); !s) return s.error();
        c.dispatcher.endUndoMark();
        return QJsonValue();
    };
    // A long text is typed a slice at a time (CommandTypist); the call
    // answers once all of it is typed.
    m[memberKey(member::kSendCommand)].deferredCall = [](Context& c, const AutomationArgs& args,
                                                         const AutomationDispatcher::Reply& reply) -> Pending {
        const auto answer = [&reply](const Result<QJsonValue>& result) {
            reply(result);
            return Pending{};
        };
        if (Status s = argCount(args, 1, 1); !s) return answer(s.error());
        auto t = text(args[0], "命令");
        if (!t) return answer(t.error());
        const Result<std::uint64_t> typing = c.dispatcher.typist().type(*t, [reply] { reply(QJsonValue()); });
        if (!typing) return answer(typing.error());
        if (*typing == 0) return answer(QJsonValue());
        return Pending{Pending::Kind::Typing, *typing};
    };
    return m;
}

// Model space and paper space ----------------------------------------------

ObjectRef addEntity(Context& c, ModelEntity entity)
{
    const int index = c.session.addEntity(c.space(), std::move(entity));
    return c.child(Kind::Entity, c.ref.space, index);
}

// Count and Item see the entities not erased: Item(n) is the n-th of them
// in the order they were added, and its handle names that entity for as
// long as the drawing is open, whatever is erased or restored meanwhile.
void addSpaceQueries(QHash<QString, Member>& m)
{
    m[memberKey(member::kCount)].get = [](Context& c) { return ok(c.document->space(c.space()).liveCount()); };
    m[memberKey(member::kItem)].call = [](Context& c, const AutomationArgs& args) -> Result<QJsonValue> {
        if (Status s = argCount(args, 1, 1); !s) return s.error();
        const QJsonValue v = args[0];
        const CadSpace& space = c.document->space(c.space());
        const int count = space.liveCount();
        if (!v.isDouble() || v.toDouble() != std::floor(v.toDouble()) || v.toDouble() < 0 ||
            v.toDouble() >= count)
            return invalid(QStringLiteral("索引超出范围（0 到 %1）。").arg(count - 1));
        return c.handle(c.child(Kind::Entity, c.ref.space, space.liveIndex(v.toInt())));
    };
}

void addStraightAdders(QHash<QString, Member>& m)
{
    m[memberKey(member::kAddLine)].add = [](Context& c, const AutomationArgs& args) -> Result<ObjectRef> {
        if (Status s = argCount(args, 2, 2); !s) return s.error();
        auto start = point(args, 0, "起点");
        if (!start) return start.error();
        auto end = point(args, 1, "终点");
        if (!end) return end.error();
        return addEntity(c, ModelLine{*start, *end});
    };
    m[memberKey(member::kAddLightWeightPolyline)].add = [](Context& c, const AutomationArgs& args) -> Result<ObjectRef> {
        // (vertices): the flat array x0, y0, x1, y1, ... of an open polyline in z = 0.
        if (Status s = argCount(args, 1, 1); !s) return s.error();
        const QJsonArray flat = args[0].toArray();
        if (!args[0].isArray() || flat.size() < 4 || flat.size() % 2 != 0)
            return invalid(QStringLiteral("顶点必须是 x0, y0, x1, y1, ... 的数组，至少两个点。"));
        ModelPolyline polyline;
        polyline.vertices.reserve(std::size_t(flat.size() / 2));
        for (qsizetype i = 0; i < flat.size(); i += 2) {
            auto x = number(flat[i], "顶点坐标");
            if (!x) return x.error();
            auto y = number(flat[i + 1], "顶点坐标");
            if (!y) return y.error();
            polyline.vertices.push_back({*x, *y, 0});
        }
        return addEntity(c, std::move(polyline));
    };
    m[memberKey(member::kAddText)].add = [](Context& c, const AutomationArgs& args) -> Result<ObjectRef> {
        // (textString, insertionPoint, height)
        if (Status s = argCount(args, 3, 3); !s) return s.error();
        auto string = text(args[0], "文字");
        if (!string) return string.error();
        if (string->contains(QLatin1Char('\n')) || string->contains(QLatin1Char('\r')))
            return invalid(QStringLiteral("单行文字不能含换行。"));
        auto at = point(args, 1, "插入点");
        if (!at) return at.error();
        auto height = number(args, 2, "字高");
        if (!height) return height.error();
        if (!(*height > 0)) return invalid(QStringLiteral("字高必须大于 0。"));
        return addEntity(c, ModelText{string->toStdString(), *at, *height, 0});
    };
}

// The centre and the radius a circle or an arc is added with (its first
// two arguments), checked.
Status centerAndRadius(const AutomationArgs& args, Point3& center, double& radius)
{
    auto c = point(args, 0, "圆心");
    if (!c) return c.error();
    auto r = number(args, 1, "半径");
    if (!r) return r.error();
    if (*r <= 0) return invalid(QStringLiteral("半径必须大于 0。"));
    if (Status s = reachFinite(*c, *r); !s) return s;
    center = *c;
    radius = *r;
    return success();
}

void addCurveAdders(QHash<QString, Member>& m)
{
    m[memberKey(member::kAddCircle)].add = [](Context& c, const AutomationArgs& args) -> Result<ObjectRef> {
        if (Status s = argCount(args, 2, 2); !s) return s.error();
        Point3 center{};
        double radius = 0;
        if (Status s = centerAndRadius(args, center, radius); !s) return s.error();
        return addEntity(c, ModelCircle{center, radius});
    };
    m[memberKey(member::kAddArc)].add = [](Context& c, const AutomationArgs& args) -> Result<ObjectRef> {
        if (Status s = argCount(args, 4, 4); !s) return s.error();
        Point3 center{};
        double radius = 0;
        if (Status s = centerAndRadius(args, center, radius); !s) return s.error();
        auto start = number(args, 2, "起始角度");
        if (!start) return start.error();
        auto end = number(args, 3, "终止角度");
        if (!end) return end.error();
        return addEntity(c, ModelArc{center, radius, normalizeAngle(*start), normalizeAngle(*end)});
    };
    m[memberKey(member::kAddEllipse)].add = [](Context& c, const AutomationArgs& args) -> Result<ObjectRef> {
        if (Status s = argCount(args, 3, 3); !s) return s.error();
        auto center = point(args, 0, "中心");
        if (!center) return center.error();
        auto major = point(args, 1, "长轴");
        if (!major) return major.error();
        if (std::hypot((*major)[0], (*major)[1]) == 0 || (*major)[2] != 0)
            return invalid(QStringLiteral("长轴必须是 x-y 平面内的非零向量。"));
        auto ratio = number(args, 2, "长短轴比");
        if (!ratio) return ratio.error();
        const auto accepted = acceptedEllipseRatio(*ratio);
        if (!accepted) return invalid(QStringLiteral("长短轴比必须在 (0, 1] 内。"));
        if (Status s = reachFinite(*center, std::abs((*major)[0]) + std::abs((*major)[1])); !s) return s.error();
        return addEntity(c, ModelEllipse{*center, *major, *accepted, 0, kTwoPi});
    };
}

QHash<QString, Member> spaceMembers()
{
    QHash<QString, Member> m;
    addSpaceQueries(m);
    addStraightAdders(m);
    addCurveAdders(m);
    return m;
}

// Utility ------------------------------------------------------------------

QHash<QString, Member> utilityMembers()
{
    QHash<QString, Member> m;
    m[memberKey(member::kGetPoint)].deferredCall = [](Context& c, const AutomationArgs& args,
                                    const AutomationDispatcher::Reply& reply) -> Pending {
        if (Status s = argCount(args, 0, 2); !s) {
            reply(s.error());
            return {};
        }
        std::optional<Point3> base;
        if (!args.isEmpty() && !args[0].isNull()) {
            auto b = point(args, 0, "基点");
            if (!b) {
                reply(b.error());
                return {};
            }
            base = *b;
        }
        QString prompt;
        if (args.size() > 1 && !args[1].isNull()) {
            auto p = text(args[1], "提示");
            if (!p) {
                reply(p.error());
                return {};
            }
            prompt = *p;
        }
        const std::uint64_t pick = c.session.requestPoint(prompt, base, [reply](std::optional<Point3> picked) {
            if (picked)
                reply(pointValue(*picked));
            else
                reply(error(kPickCancelled, QStringLiteral("用户取消了输入。")));
        });
        return Pending{Pending::Kind::Pick, pick};
    };
    return m;
}

// Entities -----------------------------------------------------------------

// Each entity property is a getter over the variant; a kind that has no such
// property answers "unknown name", as a late-bound call on the wrong object
// type does.
template <class F>
std::function<Result<QJsonValue>(Context&)> entityGetter(const char* member, F f)
{
    return [member, f](Context& c) -> Result<QJsonValue> {
        std::optional<QJsonValue> v = std::visit(f, c.entity());
        if (!v) return unknownName(QString::fromUtf8(member));
        return *v;
    };
}

// The kinds named answer "unknown name". Each getter names every kind that
// lacks its property, so a kind that is neither named nor given a value does
// not compile.
template <class Kind>
struct NoValueOf {
    std::optional<QJsonValue> operator()(const Kind&) const { return std::nullopt; }
};
template <class... Kinds>
struct NoValue : NoValueOf<Kinds>... {
    using NoValueOf<Kinds>::operator()...;
};

Status setAngle(Context& c, const QJsonValue& v, bool start)
{
    auto angle = number(v, start ? "起始角度" : "终止角度");
    if (!angle) return angle.error();
    ModelEntity e = c.entity();
    if (auto* ellipse = std::get_if<ModelEllipse>(&e)) {
        (start ? ellipse->startParam : ellipse->endParam) =
            ellipseParamFromAngle(*angle, ellipse->ratio);
    } else if (auto* arc = std::get_if<ModelArc>(&e)) {
        (start ? arc->startAngle : arc->endAngle) = normalizeAngle(*angle);
    } else {
        return unknownName(QString::fromLatin1(start ? member::kStartAngle : member::kEndAngle));
    }
    c.session.replaceEntity(c.space(), c.ref.index, std::move(e));
    return success();
}

// What every kind has. Delete() erases the entity as one undo step; its
// handle then answers "erased" (AutomationDispatcher::invoke) until an undo
// restores it.
void addEntityCommands(QHash<QString, Member>& m)
{
    m[memberKey(member::kDelete)].call = [](Context& c, const AutomationArgs& args) -> Result<QJsonValue> {
        if (Status s = argCount(args, 0, 0); !s) return s.error();
        c.session.eraseEntities({EntityRef{c.space(), c.ref.index}});
        return QJsonValue();
    };
}

// A property that only entities of kind T have (Others are the rest); f gives its value.
template <class T, class Others, class F>
std::function<Result<QJsonValue>(Context&)> kindGetter(const char* member, F f)
{
    return entityGetter(member, Overload{Others{}, [f](const T& e) -> std::optional<QJsonValue> { return f(e); }});
}
using NotEllipse = NoValue<ModelLine, ModelArc, ModelCircle, ModelPolyline, ModelText, ModelShape>;
using NotPolyline = NoValue<ModelLine, ModelArc, ModelCircle, ModelEllipse, ModelText, ModelShape>;
using NotText = NoValue<ModelLine, ModelArc, ModelCircle, ModelEllipse, ModelPolyline, ModelShape>;

// StartPoint or EndPoint: where a line, an arc or an ellipse begins or ends.
std::function<Result<QJsonValue>(Context&)> curveEndGetter(bool start)
{
    return entityGetter(
        start ? member::kStartPoint : member::kEndPoint,
        Overload{NoValue<ModelCircle, ModelPolyline, ModelText, ModelShape>{},
                 [start](const ModelLine& l) -> std::optional<QJsonValue> { return pointValue(start ? l.start : l.end); },
                 [start](const ModelArc& a) -> std::optional<QJsonValue> {
                     return pointValue(arcPoint(a.center, a.radius, start ? a.startAngle : a.endAngle));
                 },
                 [start](const ModelEllipse& e) -> std::optional<QJsonValue> {
                     return pointValue(ellipsePoint(e, start ? e.startParam : e.endParam));
                 }});
}

// Lines, arcs, circles and ellipses: their points and angles.
void addCurveMembers(QHash<QString, Member>& m)
{
    m[memberKey(member::kStartPoint)].get = curveEndGetter(true);
    m[memberKey(member::kEndPoint)].get = curveEndGetter(false);
    m[memberKey(member::kCenter)].get = entityGetter(
        member::kCenter, Overload{NoValue<ModelLine, ModelPolyline, ModelText, ModelShape>{}, [](const ModelArc& a) -> std::optional<QJsonValue> { return pointValue(a.center); },
                           [](const ModelCircle& ci) -> std::optional<QJsonValue> { return pointValue(ci.center); },
                           [](const ModelEllipse& e) -> std::optional<QJsonValue> { return pointValue(e.center); }});
    m[memberKey(member::kRadius)].get = entityGetter(
        member::kRadius, Overload{NoValue<ModelLine, ModelEllipse, ModelPolyline, ModelText, ModelShape>{}, [](const ModelArc& a) -> std::optional<QJsonValue> { return a.radius; },
                           [](const ModelCircle& ci) -> std::optional<QJsonValue> { return ci.radius; }});
    m[memberKey(member::kStartAngle)].get = entityGetter(
        member::kStartAngle,
        Overload{NoValue<ModelLine, ModelCircle, ModelPolyline, ModelText, ModelShape>{}, [](const ModelArc& a) -> std::optional<QJsonValue> { return a.startAngle; },
                 [](const ModelEllipse& e) -> std::optional<QJsonValue> {
                     return ellipseAngleFromParam(e.startParam, e.ratio);
                 }});
    m[memberKey(member::kEndAngle)].get = entityGetter(
        member::kEndAngle,
        Overload{NoValue<ModelLine, ModelCircle, ModelPolyline, ModelText, ModelShape>{}, [](const ModelArc& a) -> std::optional<QJsonValue> { return a.endAngle; },
                 [](const ModelEllipse& e) -> std::optional<QJsonValue> {
                     // A complete ellipse ends where it starts, a full turn on.
                     if (e.startParam == 0 && e.endParam == kTwoPi) return kTwoPi;
                     return ellipseAngleFromParam(e.endParam, e.ratio);
                 }});
    m[memberKey(member::kStartAngle)].set = [](Context& c, const QJsonValue& v) { return setAngle(c, v, true); };
    m[memberKey(member::kEndAngle)].set = [](Context& c, const QJsonValue& v) { return setAngle(c, v, false); };
    m[memberKey(member::kMajorAxis)].get = kindGetter<ModelEllipse, NotEllipse>(member::kMajorAxis, [](const ModelEllipse& e) { return pointValue(e.majorAxis); });
    m[memberKey(member::kMinorAxis)].get = kindGetter<ModelEllipse, NotEllipse>(member::kMinorAxis, [](const ModelEllipse& e) {
        return pointValue({-e.majorAxis[1] * e.ratio, e.majorAxis[0] * e.ratio, 0});
    });
    m[memberKey(member::kRadiusRatio)].get = kindGetter<ModelEllipse, NotEllipse>(member::kRadiusRatio, [](const ModelEllipse& e) { return e.ratio; });
    m[memberKey(member::kStartParameter)].get = kindGetter<ModelEllipse, NotEllipse>(member::kStartParameter, [](const ModelEllipse& e) { return e.startParam; });
    m[memberKey(member::kEndParameter)].get = kindGetter<ModelEllipse, NotEllipse>(member::kEndParameter, [](const ModelEllipse& e) { return e.endParam; });
}

void addPolylineAndTextMembers(QHash<QString, Member>& m)
{
    m[memberKey(member::kClosed)].get = kindGetter<ModelPolyline, NotPolyline>(member::kClosed, [](const ModelPolyline& p) { return p.closed; });
    m[memberKey(member::kClosed)].set = [](Context& c, const QJsonValue& v) -> Status {
        ModelEntity e = c.entity();
        auto* polyline = std::get_if<ModelPolyline>(&e);
        if (!polyline) return unknownName(QString::fromLatin1(member::kClosed));
        if (!v.isBool() && !v.isDouble()) return invalid(QStringLiteral("Closed 必须是布尔值。"));
        polyline->closed = v.isBool() ? v.toBool() : v.toDouble() != 0;
        c.session.replaceEntity(c.space(), c.ref.index, std::move(e));
        return success();
    };
    m[memberKey(member::kCoordinates)].get = kindGetter<ModelPolyline, NotPolyline>(member::kCoordinates, [](const ModelPolyline& p) {
        QJsonArray flat;
        for (const entities::PolylineVertex& v : p.vertices) flat << v.x << v.y;
        return flat;
    });
    m[memberKey(member::kTextString)].get = kindGetter<ModelText, NotText>(member::kTextString, [](const ModelText& t) { return QString::fromStdString(t.text); });
    m[memberKey(member::kInsertionPoint)].get = kindGetter<ModelText, NotText>(member::kInsertionPoint, [](const ModelText& t) { return pointValue(t.insertion); });
    m[memberKey(member::kHeight)].get = kindGetter<ModelText, NotText>(member::kHeight, [](const ModelText& t) { return t.height; });
    m[memberKey(member::kRotation)].get = kindGetter<ModelText, NotText>(member::kRotation, [](const ModelText& t) { return t.rotation; });
}

QHash<QString, Member> entityMembers()
{
    QHash<QString, Member> m;
    addEntityCommands(m);
    addCurveMembers(m);
    addPolylineAndTextMembers(m);
    return m;
}

}  // namespace

AutomationDispatcher::AutomationDispatcher(CadSession& session)
    : session_(session), typist_(session.commandLine())
{
    members_[int(Kind::Application)] = applicationMembers();
    members_[int(Kind::Document)] = documentMembers();
    members_[int(Kind::ModelSpace)] = spaceMembers();
    members_[int(Kind::PaperSpace)] = spaceMembers();
    members_[int(Kind::Utility)] = utilityMembers();
    members_[int(Kind::Entity)] = entityMembers();
    members_[int(Kind::Documents)] = AutomationDocuments::members();
    AutomationLayers::addDocumentMembers(members_[int(Kind::Document)]);
    AutomationLayers::addEntityMembers(members_[int(Kind::Entity)]);
    AutomationEntities::addEntityMembers(members_[int(Kind::Entity)]);
    members_[int(Kind::Layers)] = AutomationLayers::layersMembers();
    members_[int(Kind::Layer)] = AutomationLayers::layerMembers();
    members_[int(Kind::Layouts)] = AutomationLayouts::layoutsMembers();
    members_[int(Kind::Layout)] = AutomationLayouts::layoutMembers();
    addSpaceQueries(members_[int(Kind::Block)]);
    AutomationLayouts::addBlockMembers(members_[int(Kind::Block)]);
    AutomationLayouts::addDocumentMembers(members_[int(Kind::Document)]);
}

void AutomationDispatcher::startUndoMark()
{
    ++openMarks_[caller_];
    session_.beginUndoGroup();
}

void AutomationDispatcher::endUndoMark()
{
    const auto open = openMarks_.find(caller_);
    if (open == openMarks_.end()) return;
    if (--open->second == 0) openMarks_.erase(open);
    session_.endUndoGroup();
}

void AutomationDispatcher::callerGone(std::uintptr_t caller)
{
    const auto open = openMarks_.find(caller);
    if (open == openMarks_.end()) return;
    for (int n = open->second; n > 0; --n) session_.endUndoGroup();
    openMarks_.erase(open);
}

std::size_t AutomationDispatcher::RefHash::operator()(const ObjectRef& r) const noexcept
{
    std::size_t h = std::hash<std::uint64_t>{}(r.document);
    h = h * 31 + static_cast<std::size_t>(r.kind);
    h = h * 31 + static_cast<std::size_t>(r.space);
    h = h * 1000003 + static_cast<std::size_t>(r.index);
    return h;
}

std::int64_t AutomationDispatcher::handleFor(const ObjectRef& ref)
{
    if (ref.kind == Kind::Application) return 0;
    if (ref.kind == Kind::Entity && ref.index >= 0) {
        const SpaceKey space{ref.document, ref.space};
        if (!lastSpaceHandles_ || lastSpace_ != space) {
            lastSpaceHandles_ = &entityHandles_[space];
            lastSpace_ = space;
        }
        std::vector<std::int64_t>& handles = *lastSpaceHandles_;
        const auto index = static_cast<std::size_t>(ref.index);
        if (index >= handles.size()) handles.resize(std::max(index + 1, handles.size() * 2));
        if (handles[index] == 0) {
            handles_.push_back(ref);
            handles[index] = static_cast<std::int64_t>(handles_.size());
        }
        return handles[index];
    }
    auto [it, inserted] = handleOf_.try_emplace(ref, static_cast<std::int64_t>(handles_.size() + 1));
    if (inserted) handles_.push_back(ref);
    return it->second;
}

std::string_view AutomationDispatcher::typeName(const ObjectRef& ref) const
{
    if (ref.kind != Kind::Entity) return kindName(ref.kind);
    return automationName(session_.document()->space(static_cast<SpaceKind>(ref.space)).at(ref.index));
}

QJsonValue AutomationDispatcher::handleValue(const ObjectRef& ref)
{
    const std::string_view type = typeName(ref);
    // One object per type, copied and given the handle: cheaper than
    // building it key by key on every call that answers with a handle.
    auto [it, made] = handleObjects_.try_emplace(type);
    if (made)
        it->second = QJsonObject{{QLatin1String("handle"), 0},
                                 {QLatin1String("type"), QLatin1String(type.data(), qsizetype(type.size()))}};
    QJsonObject o = it->second;
    o[QLatin1String("handle")] = static_cast<qint64>(handleFor(ref));
    return o;
}

const AutomationDispatcher::Member* AutomationDispatcher::findMember(Kind kind, std::string_view name) const
{
    if (lastMember_ && lastKind_ == kind && lastName_ == name) return lastMember_;
    const QHash<QString, Member>& table = members_[static_cast<int>(kind)];
    // The names clients send are short ASCII: lowered into a buffer here
    // rather than into a new string.
    constexpr std::size_t kShort = 40;
    char16_t lowered[kShort];
    bool ascii = name.size() <= kShort;
    for (std::size_t i = 0; ascii && i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        ascii = c < 0x80;
        lowered[i] = c >= 'A' && c <= 'Z' ? char16_t(c + ('a' - 'A')) : char16_t(c);
    }
    const auto it = ascii ? table.constFind(QString::fromRawData(reinterpret_cast<const QChar*>(lowered),
                                                                 qsizetype(name.size())))
                          : table.constFind(QString::fromUtf8(name.data(), qsizetype(name.size())).toLower());
    if (it == table.cend()) return nullptr;
    // The tables are filled once, by the constructor: what they hold stays put.
    lastKind_ = kind;
    lastName_.assign(name);
    lastMember_ = &*it;
    return lastMember_;
}

Result<ObjectRef> AutomationDispatcher::resolve(std::int64_t target) const
{
    if (target == 0) return ObjectRef{};
    if (target < 0 || target > static_cast<std::int64_t>(handles_.size()))
        return error(kDisconnected, QStringLiteral("对象 %1 不存在。").arg(target));
    return handles_[static_cast<std::size_t>(target - 1)];
}

Result<DrawingDocument*> AutomationDispatcher::documentOf(const ObjectRef& ref) const
{
    if (ref.kind == Kind::Application || ref.kind == Kind::Documents) return static_cast<DrawingDocument*>(nullptr);
    DrawingDocument* doc = session_.document();
    if (!doc || doc->serial() != ref.document)
        return error(kDisconnected, QStringLiteral("对象所属的图形已关闭。"));
    return doc;
}

AutomationDispatcher::Pending AutomationDispatcher::invoke(const Invocation& inv, const Reply& reply, HandleAnswer* handle)
{
    auto ref = resolve(inv.target);
    if (!ref) {
        reply(ref.error());
        return {};
    }
    auto doc = documentOf(*ref);
    if (!doc) {
        reply(doc.error());
        return {};
    }
    if (ref->kind == Kind::Entity && (*doc)->space(static_cast<SpaceKind>(ref->space)).erased(ref->index)) {
        reply(error(kObjectErased, QStringLiteral("对象已被删除（撤销可恢复）。")));
        return {};
    }
    const Member* found = findMember(ref->kind, inv.member);
    const auto memberName = [&] { return QString::fromUtf8(inv.member.data(), qsizetype(inv.member.size())); };
    if (!found) {
        reply(unknownName(memberName()));
        return {};
    }
    const Member& member = *found;
    Context context{*this, session_, *ref, *doc};
    const auto notThisWay = [&] {
        return error(kMemberNotFound,
                     QStringLiteral("成员“%1”不支持这种访问。").arg(memberName()));
    };
    switch (inv.verb) {
    case Verb::Get:
        reply(member.get ? member.get(context) : Result<QJsonValue>(notThisWay()));
        return {};
    case Verb::Set:
        if (!member.set) {
            reply(notThisWay());
            return {};
        }
        if (Status s = member.set(context, inv.value); !s)
            reply(s.error());
        else
            reply(QJsonValue());
        return {};
    case Verb::Call:
        if (member.deferredCall) return member.deferredCall(context, inv.args, reply);
        if (member.add) {
            const Result<ObjectRef> made = member.add(context, inv.args);
            if (!made)
                reply(made.error());
            else if (handle)
                *handle = HandleAnswer{handleFor(*made), typeName(*made)};
            else
                reply(handleValue(*made));
        } else if (member.call) {
            reply(member.call(context, inv.args));
        } else if (member.get && inv.args.isEmpty()) {
            // A late-bound call of a property without arguments reads it.
            reply(member.get(context));
        } else {
            reply(notThisWay());
        }
        return {};
    }
    return {};
}

}  // namespace tessik::cadhost
