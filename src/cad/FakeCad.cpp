#include "FakeCad.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "AutomationNumbers.h"
#include "CadErrors.h"

namespace tessik {

namespace {

bool finite(const CadPoint& p) { return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]); }

// An object of one drawing (0: of none). An unread call's outcome is
// immediate, or held back until settle().
class FakeObject {
public:
    explicit FakeObject(std::shared_ptr<FakeCad> cad, int drawing = 0) : cad_(std::move(cad)), drawing_(drawing) {}

protected:
    Status enter(const std::string& line, const std::string& member) { return cad_->enter(line, member, drawing_); }
    Status outcome(Status s)
    {
        if (s.ok() || !cad_->deferErrors) return s;
        if (deferred_.ok()) deferred_ = s;
        return success();
    }
    Status settled() const { return deferred_; }
    std::shared_ptr<FakeCad> cad_;
    int drawing_;
    Status deferred_ = success();
};

class FakeEllipse : public CadEllipse, FakeObject {
public:
    FakeEllipse(std::shared_ptr<FakeCad> cad, int drawing, std::size_t index)
        : FakeObject(std::move(cad), drawing), index_(index)
    {
    }
    Status settle() override { return settled(); }
    Status setStartAngle(double a) override { return write("startAngle", a, true); }
    Status setEndAngle(double a) override { return write("endAngle", a, false); }

private:
    Status write(const std::string& member, double a, bool start)
    {
        Status s = enter("set " + member + ' ' + FakeCad::text(a), member);
        if (s.ok() && !std::isfinite(a)) s = caderr::invalidArgument(member);
        if (s.ok()) {
            std::vector<double>& v = cad_->entities[index_].values;
            if (v.size() == 7) v.insert(v.end(), {0.0, 2 * std::numbers::pi});
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
    FakeLWPolyline(std::shared_ptr<FakeCad> cad, int drawing, std::size_t index)
        : FakeObject(std::move(cad), drawing), index_(index)
    {
    }
    Status settle() override { return settled(); }
    Status setClosed(bool closed) override
    {
        Status s = enter(std::string("set Closed ") + (closed ? "true" : "false"), "Closed");
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
        const std::string m = "addline";
        Status s = enter(m + ' ' + FakeCad::text(a) + ' ' + FakeCad::text(b), m);
        if (s.ok() && !(finite(a) && finite(b))) s = caderr::invalidArgument(m);
        if (s.ok()) cad_->entities.push_back({"line", {a[0], a[1], a[2], b[0], b[1], b[2]}});
        return entity(s);
    }

    Result<std::shared_ptr<CadEntity>> addarc(const CadPoint& c, double r, double start, double end) override
    {
        const std::string m = "addarc";
        Status s = enter(m + ' ' + FakeCad::text(c) + ' ' + FakeCad::text(r) + ' ' + FakeCad::text(start) + ' ' +
                             FakeCad::text(end),
                         m);
        if (s.ok() && !(finite(c) && r > 0 && std::isfinite(start) && std::isfinite(end)))
            s = caderr::invalidArgument(m);
        if (s.ok()) cad_->entities.push_back({"arc", {c[0], c[1], c[2], r, start, end}});
        return entity(s);
    }

    Result<std::shared_ptr<CadEllipse>> AddEllipse(const CadPoint& c, const CadPoint& axis, double ratio) override
    {
        const std::string m = "AddEllipse";
        Status s = enter(m + ' ' + FakeCad::text(c) + ' ' + FakeCad::text(axis) + ' ' + FakeCad::text(ratio), m);
        // The ellipse's handle is read by the caller, so its failure is never deferred.
        if (s.ok() && !(finite(c) && finite(axis) && ratio > 0 && ratio <= 1)) s = caderr::invalidArgument(m);
        if (!s.ok()) return s.error();
        cad_->entities.push_back({"ellipse", {c[0], c[1], c[2], axis[0], axis[1], axis[2], ratio}});
        return std::shared_ptr<CadEllipse>(std::make_shared<FakeEllipse>(cad_, drawing_, cad_->entities.size() - 1));
    }

    Result<std::shared_ptr<CadLWPolyline>> AddLightWeightPolyline(const std::vector<double>& v) override
    {
        const std::string m = "AddLightWeightPolyline";
        Status s = enter(m + ' ' + std::to_string(v.size() / 2), m);
        bool usable = v.size() >= 4 && v.size() % 2 == 0;
        for (double x : v) usable = usable && std::isfinite(x);
        if (s.ok() && !usable) s = caderr::invalidArgument(m);
        if (!s.ok()) return s.error();
        cad_->entities.push_back({"lwpolyline", v});
        return std::shared_ptr<CadLWPolyline>(
            std::make_shared<FakeLWPolyline>(cad_, drawing_, cad_->entities.size() - 1));
    }

    Result<std::shared_ptr<CadEntity>> AddText(const std::string& text, const CadPoint& at, double height) override
    {
        const std::string m = "AddText";
        Status s = enter(m + ' ' + text + ' ' + FakeCad::text(at) + ' ' + FakeCad::text(height), m);
        if (s.ok() && !(finite(at) && height > 0 && std::isfinite(height))) s = caderr::invalidArgument(m);
        if (s.ok()) {
            cad_->entities.push_back({"text", {at[0], at[1], at[2], height}});
            cad_->texts.push_back(text);
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
    Result<CadPoint> getpoint(const std::string& prompt) override
    {
        Status s = enter("getpoint " + prompt, "getpoint");
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
        Status s = enter("get paperspace", "paperspace");
        if (!s.ok()) return s.error();
        return std::shared_ptr<CadPaperSpace>(std::make_shared<FakePaperSpace>());
    }
    Result<std::shared_ptr<CadUtility>> utility() override { return get<CadUtility, FakeUtility>("utility"); }
    Status StartUndoMark() override { return mark("StartUndoMark"); }
    Status EndUndoMark() override { return mark("EndUndoMark"); }

private:
    Status mark(const std::string& member)
    {
        Status s = enter(member, member);
        if (s.ok() && !cad_->undoMarks) s = Error{protocol::kUnknownName, "未知的名称", member};
        return s;
    }
    template <class I, class F>
    Result<std::shared_ptr<I>> get(const std::string& member)
    {
        Status s = enter("get " + member, member);
        if (!s.ok()) return s.error();
        return std::shared_ptr<I>(std::make_shared<F>(cad_, drawing_));
    }
};

class FakeApplication : public CadApplication, FakeObject {
public:
    using FakeObject::FakeObject;
    Status settle() override { return success(); }
    Status setVisible(bool v) override
    {
        return enter(std::string("set Visible ") + (v ? "true" : "false"), "Visible");
    }
    Result<std::string> Caption() override
    {
        Status s = enter("get Caption", "Caption");
        if (!s.ok()) return s.error();
        return cad_->caption;
    }
    Result<std::shared_ptr<CadDocument>> activedocument() override
    {
        const std::string m = "activedocument";
        Status s = enter("get activedocument", m);
        if (s.ok() && !cad_->documentOpen) s = Error{caderr::kNoDrawing, "没有打开的图形", m};
        if (!s.ok()) return s.error();
        return std::shared_ptr<CadDocument>(std::make_shared<FakeDocument>(cad_, cad_->drawing));
    }
    Status bringToFront() override { return enter("bringToFront", "bringToFront"); }
};

}  // namespace

Result<std::shared_ptr<CadApplication>> FakeCad::getRunningInstance(const std::string& programId)
{
    calls.push_back("getRunningInstance " + programId);
    if (!running || !alive) return caderr::cannotCreateObject("没有正在运行的实例");
    ++applicationsHandedOut;
    return std::shared_ptr<CadApplication>(std::make_shared<FakeApplication>(shared_from_this()));
}

Result<std::shared_ptr<CadApplication>> FakeCad::createInstance(const std::string& programId)
{
    calls.push_back("createInstance " + programId);
    if (!launchWorks) return caderr::launchFailed("找不到程序 tessik-cad");
    running = alive = true;
    ++applicationsHandedOut;
    return std::shared_ptr<CadApplication>(std::make_shared<FakeApplication>(shared_from_this()));
}

Status FakeCad::enter(const std::string& line, const std::string& member, int of)
{
    calls.push_back(line);
    if (!alive) return caderr::serverUnavailable("程序已退出");
    if (of != 0 && of != drawing) return Error{caderr::kObjectDisconnected, "对象所属的图形已关闭。", member};
    const int n = ++counts_[member];
    auto failing = failing_.find(member);
    if (failing != failing_.end() && std::count(failing->second.begin(), failing->second.end(), n) > 0)
        return Error{caderr::kInvalidArgument, "无效的参数", member};
    return success();
}

bool FakeCad::called(const std::string& line) const { return std::find(calls.begin(), calls.end(), line) != calls.end(); }

std::string FakeCad::text(double v)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.10g", v);
    return buffer;
}

std::string FakeCad::text(const CadPoint& p) { return '(' + text(p[0]) + ", " + text(p[1]) + ", " + text(p[2]) + ')'; }

}  // namespace tessik
