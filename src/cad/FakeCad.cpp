#include "FakeCad.h"

#include <cmath>

#include "CadErrors.h"

namespace tessik {

namespace {

bool finite(const CadPoint& p) { return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]); }

// An unread call's outcome: immediate, or held back until settle().
class FakeObject {
public:
    explicit FakeObject(std::shared_ptr<FakeCad> cad) : cad_(std::move(cad)) {}

protected:
    Status outcome(Status s)
    {
        if (s.ok() || !cad_->deferErrors) return s;
        if (deferred_.ok()) deferred_ = s;
        return success();
    }
    Status settled() const { return deferred_; }
    std::shared_ptr<FakeCad> cad_;
    Status deferred_ = success();
};

class FakeEllipse : public CadEllipse, FakeObject {
public:
    FakeEllipse(std::shared_ptr<FakeCad> cad, std::size_t index) : FakeObject(std::move(cad)), index_(index) {}
    Status settle() override { return settled(); }
    Status setStartAngle(double a) override { return write("startAngle", a, true); }
    Status setEndAngle(double a) override { return write("endAngle", a, false); }

private:
    Status write(const char* member, double a, bool start)
    {
        const QString m = QString::fromLatin1(member);
        Status s = cad_->enter(QStringLiteral("set %1 %2").arg(m, FakeCad::text(a)), m);
        if (s.ok() && !std::isfinite(a)) s = caderr::invalidArgument(m);
        if (s.ok()) {
            std::vector<double>& v = cad_->entities[index_].values;
            if (v.size() == 7) v.insert(v.end(), {0.0, 2 * M_PI});
            v[start ? 7 : 8] = a;
        }
        return outcome(s);
    }
    std::size_t index_;
};

class FakeEntity : public CadEntity, FakeObject {
public:
    FakeEntity(std::shared_ptr<FakeCad> cad, Status s) : FakeObject(std::move(cad)) { deferred_ = s; }
    Status settle() override { return settled(); }
};

class FakeLWPolyline : public CadLWPolyline, FakeObject {
public:
    FakeLWPolyline(std::shared_ptr<FakeCad> cad, std::size_t index) : FakeObject(std::move(cad)), index_(index) {}
    Status settle() override { return settled(); }
    Status setClosed(bool closed) override
    {
        const QString m = QStringLiteral("Closed");
        Status s = cad_->enter(QStringLiteral("set Closed %1").arg(closed ? "true" : "false"), m);
        if (s.ok() && closed) cad_->entities[index_].values.push_back(1);
        return outcome(s);
    }

private:
    std::size_t index_;
};

class FakeModelSpace : public CadModelSpace, FakeObject {
public:
    using FakeObject::FakeObject;
    Status settle() override { return success(); }

    Result<std::shared_ptr<CadEntity>> addline(const CadPoint& a, const CadPoint& b) override
    {
        const QString m = QStringLiteral("addline");
        Status s = cad_->enter(QStringLiteral("addline %1 %2").arg(FakeCad::text(a), FakeCad::text(b)), m);
        if (s.ok() && !(finite(a) && finite(b))) s = caderr::invalidArgument(m);
        if (s.ok()) cad_->entities.push_back({QStringLiteral("line"), {a[0], a[1], a[2], b[0], b[1], b[2]}});
        return entity(s);
    }

    Result<std::shared_ptr<CadEntity>> addarc(const CadPoint& c, double r, double start, double end) override
    {
        const QString m = QStringLiteral("addarc");
        Status s = cad_->enter(QStringLiteral("addarc %1 %2 %3 %4")
                                   .arg(FakeCad::text(c), FakeCad::text(r), FakeCad::text(start), FakeCad::text(end)),
                               m);
        if (s.ok() && !(finite(c) && r > 0 && std::isfinite(start) && std::isfinite(end)))
            s = caderr::invalidArgument(m);
        if (s.ok()) cad_->entities.push_back({QStringLiteral("arc"), {c[0], c[1], c[2], r, start, end}});
        return entity(s);
    }

    Result<std::shared_ptr<CadEllipse>> AddEllipse(const CadPoint& c, const CadPoint& axis, double ratio) override
    {
        const QString m = QStringLiteral("AddEllipse");
        Status s = cad_->enter(
            QStringLiteral("AddEllipse %1 %2 %3").arg(FakeCad::text(c), FakeCad::text(axis), FakeCad::text(ratio)), m);
        // The ellipse's handle is read by the caller, so its failure is never deferred.
        if (s.ok() && !(finite(c) && finite(axis) && ratio > 0 && ratio <= 1)) s = caderr::invalidArgument(m);
        if (!s.ok()) return s.error();
        cad_->entities.push_back(
            {QStringLiteral("ellipse"), {c[0], c[1], c[2], axis[0], axis[1], axis[2], ratio}});
        return std::shared_ptr<CadEllipse>(std::make_shared<FakeEllipse>(cad_, cad_->entities.size() - 1));
    }

    Result<std::shared_ptr<CadLWPolyline>> AddLightWeightPolyline(const std::vector<double>& v) override
    {
        const QString m = QStringLiteral("AddLightWeightPolyline");
        Status s = cad_->enter(QStringLiteral("AddLightWeightPolyline %1").arg(v.size() / 2), m);
        bool usable = v.size() >= 4 && v.size() % 2 == 0;
        for (double x : v) usable = usable && std::isfinite(x);
        if (s.ok() && !usable) s = caderr::invalidArgument(m);
        if (!s.ok()) return s.error();
        cad_->entities.push_back({QStringLiteral("lwpolyline"), v});
        return std::shared_ptr<CadLWPolyline>(std::make_shared<FakeLWPolyline>(cad_, cad_->entities.size() - 1));
    }

    Result<std::shared_ptr<CadEntity>> AddText(const QString& text, const CadPoint& at, double height) override
    {
        const QString m = QStringLiteral("AddText");
        Status s = cad_->enter(QStringLiteral("AddText %1 %2 %3").arg(text, FakeCad::text(at), FakeCad::text(height)), m);
        if (s.ok() && !(finite(at) && height > 0 && std::isfinite(height))) s = caderr::invalidArgument(m);
        if (s.ok()) {
            cad_->entities.push_back({QStringLiteral("text"), {at[0], at[1], at[2], height}});
            cad_->texts << text;
        }
        return entity(s);
    }

private:
    Result<std::shared_ptr<CadEntity>> entity(const Status& s)
    {
        if (!s.ok() && !cad_->deferErrors) return s.error();
        return std::shared_ptr<CadEntity>(std::make_shared<FakeEntity>(cad_, s));
    }
};

class FakePaperSpace : public CadPaperSpace {
public:
    Status settle() override { return success(); }
};

class FakeUtility : public CadUtility, FakeObject {
public:
    using FakeObject::FakeObject;
    Status settle() override { return success(); }
    Result<CadPoint> getpoint(const QString& prompt) override
    {
        const QString m = QStringLiteral("getpoint");
        Status s = cad_->enter(QStringLiteral("getpoint %1").arg(prompt), m);
        if (!s.ok()) return s.error();
        return cad_->pick;
    }
};

class FakeDocument : public CadDocument, FakeObject {
public:
    using FakeObject::FakeObject;
    Status settle() override { return success(); }
    Result<std::shared_ptr<CadModelSpace>> ModelSpace() override { return get<CadModelSpace, FakeModelSpace>("ModelSpace"); }
    Result<std::shared_ptr<CadPaperSpace>> paperspace() override
    {
        Status s = cad_->enter(QStringLiteral("get paperspace"), QStringLiteral("paperspace"));
        if (!s.ok()) return s.error();
        return std::shared_ptr<CadPaperSpace>(std::make_shared<FakePaperSpace>());
    }
    Result<std::shared_ptr<CadUtility>> utility() override { return get<CadUtility, FakeUtility>("utility"); }

private:
    template <class I, class F>
    Result<std::shared_ptr<I>> get(const char* member)
    {
        const QString m = QString::fromLatin1(member);
        Status s = cad_->enter(QStringLiteral("get %1").arg(m), m);
        if (!s.ok()) return s.error();
        return std::shared_ptr<I>(std::make_shared<F>(cad_));
    }
};

class FakeApplication : public CadApplication, FakeObject {
public:
    using FakeObject::FakeObject;
    Status settle() override { return success(); }
    Status setVisible(bool v) override
    {
        return cad_->enter(QStringLiteral("set Visible %1").arg(v ? "true" : "false"), QStringLiteral("Visible"));
    }
    Result<QString> Caption() override
    {
        Status s = cad_->enter(QStringLiteral("get Caption"), QStringLiteral("Caption"));
        if (!s.ok()) return s.error();
        return cad_->caption;
    }
    Result<std::shared_ptr<CadDocument>> activedocument() override
    {
        const QString m = QStringLiteral("activedocument");
        Status s = cad_->enter(QStringLiteral("get activedocument"), m);
        if (s.ok() && !cad_->documentOpen)
            s = Error{caderr::kNoDrawing, "没有打开的图形", m.toStdString()};
        if (!s.ok()) return s.error();
        return std::shared_ptr<CadDocument>(std::make_shared<FakeDocument>(cad_));
    }
    Status bringToFront() override { return cad_->enter(QStringLiteral("bringToFront"), QStringLiteral("bringToFront")); }
};

}  // namespace

Result<std::shared_ptr<CadApplication>> FakeCad::getRunningInstance(const QString& programId)
{
    calls << QStringLiteral("getRunningInstance %1").arg(programId);
    if (!running || !alive) return caderr::cannotCreateObject(QStringLiteral("没有正在运行的实例"));
    ++applicationsHandedOut;
    return std::shared_ptr<CadApplication>(std::make_shared<FakeApplication>(shared_from_this()));
}

Result<std::shared_ptr<CadApplication>> FakeCad::createInstance(const QString& programId)
{
    calls << QStringLiteral("createInstance %1").arg(programId);
    if (!launchWorks) return caderr::launchFailed(QStringLiteral("找不到程序 tessik-cad"));
    running = alive = true;
    ++applicationsHandedOut;
    return std::shared_ptr<CadApplication>(std::make_shared<FakeApplication>(shared_from_this()));
}

Status FakeCad::enter(const QString& line, const QString& member)
{
    calls << line;
    if (!alive) return caderr::serverUnavailable(QStringLiteral("程序已退出"));
    const int n = ++counts_[member];
    if (failing_.value(member).contains(n))
        return Error{caderr::kInvalidArgument, "无效的参数", member.toStdString()};
    return success();
}

QString FakeCad::text(double v) { return QString::number(v, 'g', 10); }

QString FakeCad::text(const CadPoint& p)
{
    return QStringLiteral("(%1, %2, %3)").arg(text(p[0]), text(p[1]), text(p[2]));
}

}  // namespace tessik
