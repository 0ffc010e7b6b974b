#include "ComAutomation.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "BusyMessageFilter.h"
#include "CadErrors.h"
#include "WideText.h"

namespace tessik {

namespace {

bool busyRefusal(HRESULT hr) { return hr == RPC_E_CALL_REJECTED || hr == RPC_E_SERVERCALL_RETRYLATER; }

// The server process is gone, or the object was cut off from its stub.
bool disconnection(HRESULT hr)
{
    switch (hr) {
    case RPC_E_DISCONNECTED:
    case RPC_E_SERVER_DIED:
    case RPC_E_SERVER_DIED_DNE:
    case CO_E_OBJNOTCONNECTED:
    case HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE):
    case HRESULT_FROM_WIN32(RPC_S_CALL_FAILED):
    case HRESULT_FROM_WIN32(RPC_S_CALL_FAILED_DNE):
        return true;
    default:
        return false;
    }
}

std::string windowsText(HRESULT hr)
{
    wchar_t* buffer = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, DWORD(hr), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = n > 0 && buffer ? std::wstring(buffer, n) : std::wstring();
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) text.pop_back();
    if (!text.empty()) return os::narrow(text);
    char code[48];
    std::snprintf(code, sizeof code, "自动化错误 0x%08lX", static_cast<unsigned long>(hr));
    return code;
}

std::string bstrText(BSTR b) { return b ? os::narrow(std::wstring_view(b, SysStringLen(b))) : std::string(); }

// Waits `ms` milliseconds while dispatching the thread's messages, so the
// windows keep painting. False when the program is quitting (its WM_QUIT is
// left for the message loop): then there is nothing to wait for.
bool pumpFor(DWORD ms)
{
    const ULONGLONG until = GetTickCount64() + ms;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= until) return true;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(until - now), QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(int(msg.wParam));
                return false;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

// COM on this thread, the message filter and the clock of a busy CAD: kept
// alive by every object made through it.
class ComSession {
public:
    explicit ComSession(ComAutomationOptions options) : busy_(options.busyTimeoutMs, std::move(options.onBusy))
    {
        const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        initialised_ = SUCCEEDED(hr);
        // Only a single-threaded apartment takes a message filter; in another
        // apartment the refusals still come back from the calls and are
        // retried there.
        filterRegistered_ = SUCCEEDED(CoRegisterMessageFilter(&busy_, &previous_));
    }
    ~ComSession()
    {
        if (filterRegistered_) {
            IMessageFilter* ours = nullptr;
            CoRegisterMessageFilter(previous_, &ours);
        }
        if (previous_) previous_->Release();
        if (initialised_) CoUninitialize();
    }
    ComSession(const ComSession&) = delete;
    ComSession& operator=(const ComSession&) = delete;

    // Runs a COM call until it is not refused as busy, or the waiting is
    // given up (then the refusal is its result).
    template <class Call>
    HRESULT call(Call&& fn)
    {
        for (;;) {
            const HRESULT hr = fn();
            if (!busyRefusal(hr)) {
                busy_.answered();
                return hr;
            }
            const DWORD delay = busy_.refused();
            if (delay == BusyMessageFilter::kGiveUp) return hr;
            if (!pumpFor(delay)) {
                busy_.answered();
                return hr;
            }
        }
    }

private:
    BusyMessageFilter busy_;
    IMessageFilter* previous_ = nullptr;
    bool initialised_ = false;
    bool filterRegistered_ = false;
};

// An owned VARIANT.
struct Variant {
    VARIANT v;
    Variant() { VariantInit(&v); }
    ~Variant() { VariantClear(&v); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    Variant(Variant&& o) noexcept : v(o.v) { VariantInit(&o.v); }
};

Variant doubles(const double* values, std::size_t n)
{
    Variant out;
    SAFEARRAY* array = SafeArrayCreateVector(VT_R8, 0, ULONG(n));
    if (!array) return out;
    double* data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(array, reinterpret_cast<void**>(&data)))) {
        for (std::size_t i = 0; i < n; ++i) data[i] = values[i];
        SafeArrayUnaccessData(array);
    }
    V_VT(&out.v) = VT_ARRAY | VT_R8;
    V_ARRAY(&out.v) = array;
    return out;
}

Variant point(const CadPoint& p) { return doubles(p.data(), p.size()); }

Variant real(double value)
{
    Variant out;
    V_VT(&out.v) = VT_R8;
    V_R8(&out.v) = value;
    return out;
}

Variant integer(int value)
{
    Variant out;
    V_VT(&out.v) = VT_I4;
    V_I4(&out.v) = value;
    return out;
}

Variant boolean(bool value)
{
    Variant out;
    V_VT(&out.v) = VT_BOOL;
    V_BOOL(&out.v) = value ? VARIANT_TRUE : VARIANT_FALSE;
    return out;
}

Variant text(const std::string& utf8)
{
    Variant out;
    const std::wstring wide = os::widen(utf8);
    V_VT(&out.v) = VT_BSTR;
    V_BSTR(&out.v) = SysAllocStringLen(wide.data(), UINT(wide.size()));
    return out;
}

// An optional argument left out.
Variant omitted()
{
    Variant out;
    V_VT(&out.v) = VT_ERROR;
    V_ERROR(&out.v) = DISP_E_PARAMNOTFOUND;
    return out;
}

bool finite(const CadPoint& p) { return std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]); }

Error typeMismatch(const char* member) { return Error{errc::kTypeMismatch, "类型不匹配", member}; }

// The point a CAD returns: an array of three numbers, of doubles or of
// variants, possibly behind a reference.
Result<CadPoint> readPoint(const VARIANT& value, const char* member)
{
    const VARIANT* v = &value;
    if (V_VT(v) == (VT_BYREF | VT_VARIANT)) v = V_VARIANTREF(v);
    if (!(V_VT(v) & VT_ARRAY)) return typeMismatch(member);
    SAFEARRAY* array = (V_VT(v) & VT_BYREF) ? *V_ARRAYREF(v) : V_ARRAY(v);
    if (!array || SafeArrayGetDim(array) != 1) return typeMismatch(member);
    LONG low = 0, high = -1;
    SafeArrayGetLBound(array, 1, &low);
    SafeArrayGetUBound(array, 1, &high);
    if (high - low + 1 != 3) return typeMismatch(member);
    const VARTYPE element = VARTYPE(V_VT(v) & VT_TYPEMASK);
    CadPoint p{};
    for (LONG i = 0; i < 3; ++i) {
        LONG index = low + i;
        Variant item;
        if (element == VT_VARIANT) {
            if (FAILED(SafeArrayGetElement(array, &index, &item.v))) return typeMismatch(member);
        } else {
            V_VT(&item.v) = element;
            if (element != VT_R8 && element != VT_R4 && element != VT_I4 && element != VT_I2)
                return typeMismatch(member);
            if (FAILED(SafeArrayGetElement(array, &index, &V_R8(&item.v)))) return typeMismatch(member);
        }
        if (FAILED(VariantChangeType(&item.v, &item.v, 0, VT_R8))) return typeMismatch(member);
        p[std::size_t(i)] = V_R8(&item.v);
    }
    return p;
}

// One object on the CAD's side, reached through its IDispatch. Member ids
// are asked for by name the first time each member is used on the object.
class Dispatch : public std::enable_shared_from_this<Dispatch> {
public:
    Dispatch(std::shared_ptr<ComSession> session, IDispatch* object, std::shared_ptr<Dispatch> application)
        : session_(std::move(session)), object_(object), application_(std::move(application))
    {
    }
    ~Dispatch()
    {
        if (object_) object_->Release();
    }
    Dispatch(const Dispatch&) = delete;
    Dispatch& operator=(const Dispatch&) = delete;

    IDispatch* object() const { return object_; }

    // `args` in the order the member takes them.
    Result<Variant> invoke(const char* member, WORD flags, std::vector<Variant>& args)
    {
        Result<DISPID> id = dispid(member);
        if (!id) return id.error();
        std::vector<VARIANT> reversed;
        for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(it->v);
        DISPID put = DISPID_PROPERTYPUT;
        DISPPARAMS params{reversed.data(), nullptr, UINT(reversed.size()), 0};
        if (flags == DISPATCH_PROPERTYPUT) {
            params.rgdispidNamedArgs = &put;
            params.cNamedArgs = 1;
        }
        Variant result;
        EXCEPINFO info{};
        UINT badArgument = 0;
        const HRESULT hr = session_->call([&] {
            VariantClear(&result.v);
            clearExcepInfo(info);
            SetErrorInfo(0, nullptr);
            return object_->Invoke(*id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                   flags == DISPATCH_PROPERTYPUT ? nullptr : &result.v, &info, &badArgument);
        });
        if (FAILED(hr)) {
            Error e = failure(hr, hr == DISP_E_EXCEPTION ? &info : nullptr, member);
            clearExcepInfo(info);
            return e;
        }
        return result;
    }

    Result<Variant> get(const char* member)
    {
        std::vector<Variant> none;
        return invoke(member, DISPATCH_PROPERTYGET | DISPATCH_METHOD, none);
    }
    Status put(const char* member, Variant value)
    {
        std::vector<Variant> args;
        args.push_back(std::move(value));
        Result<Variant> r = invoke(member, DISPATCH_PROPERTYPUT, args);
        if (!r) return r.error();
        return success();
    }
    // A method whose result the caller uses or drops.
    Result<Variant> call(const char* member, std::vector<Variant> args)
    {
        return invoke(member, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args);
    }

    // The object a member returned, made from the same application.
    Result<std::shared_ptr<Dispatch>> objectFrom(Result<Variant> r, const char* member)
    {
        if (!r) return r.error();
        VARIANT& v = r.value().v;
        IDispatch* d = nullptr;
        if (V_VT(&v) == VT_DISPATCH) d = V_DISPATCH(&v);
        else if (V_VT(&v) == VT_UNKNOWN && V_UNKNOWN(&v)) {
            if (FAILED(V_UNKNOWN(&v)->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&d))) || !d)
                return typeMismatch(member);
            return std::make_shared<Dispatch>(session_, d, applicationOrSelf());
        }
        if (!d) return typeMismatch(member);
        d->AddRef();
        return std::make_shared<Dispatch>(session_, d, applicationOrSelf());
    }

private:
    // The application object hands itself to what it gives out; everything
    // else passes on the application it came from.
    std::shared_ptr<Dispatch> applicationOrSelf() { return application_ ? application_ : shared_from_this(); }

private:
    Result<DISPID> dispid(const char* member)
    {
        auto known = ids_.find(member);
        if (known != ids_.end()) return known->second;
        std::wstring name = os::widen(member);
        LPOLESTR names[] = {name.data()};
        DISPID id = DISPID_UNKNOWN;
        const HRESULT hr = session_->call(
            [&] { return object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id); });
        if (FAILED(hr)) return failure(hr, nullptr, member);
        ids_.emplace(member, id);
        return id;
    }

    static void clearExcepInfo(EXCEPINFO& info)
    {
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);
        info = EXCEPINFO{};
    }

    // The number and description the CAD gave, else those of Windows. A
    // disconnection is told apart: the CAD gone, or only this object's drawing.
    Error failure(HRESULT hr, EXCEPINFO* info, const char* member)
    {
        std::int32_t number = hr;
        std::string description;
        if (info) {
            if (info->pfnDeferredFillIn) info->pfnDeferredFillIn(info);
            if (info->scode) number = info->scode;
            else if (info->wCode) number = info->wCode;
            description = bstrText(info->bstrDescription);
        }
        if (description.empty()) {
            IErrorInfo* errorInfo = nullptr;
            if (GetErrorInfo(0, &errorInfo) == S_OK && errorInfo) {
                BSTR b = nullptr;
                if (SUCCEEDED(errorInfo->GetDescription(&b))) description = bstrText(b);
                SysFreeString(b);
                errorInfo->Release();
            }
        }
        if (disconnection(HRESULT(number))) {
            if (!applicationAnswers()) return caderr::serverUnavailable(windowsText(HRESULT(number)));
            number = caderr::kObjectDisconnected;
        }
        if (description.empty()) description = windowsText(HRESULT(number));
        return Error{number, description, member};
    }

    // Whether the application object still answers (one cheap round trip).
    bool applicationAnswers()
    {
        IDispatch* app = application_ ? application_->object() : object_;
        UINT count = 0;
        const HRESULT hr = app->GetTypeInfoCount(&count);
        return !disconnection(hr);
    }

    std::shared_ptr<ComSession> session_;
    IDispatch* object_;
    std::shared_ptr<Dispatch> application_;
    std::map<std::string, DISPID> ids_;
};

using DispatchRef = std::shared_ptr<Dispatch>;

Status done(Result<Variant> r)
{
    if (!r) return r.error();
    return success();
}

// Every object of the link: its IDispatch, and nothing left to settle.
template <class Interface>
class ComObject : public Interface {
public:
    explicit ComObject(DispatchRef d) : d_(std::move(d)) {}
    Status settle() override { return success(); }

protected:
    DispatchRef d_;
};

// Every entity's `Layer`; the layer must be in the drawing's table already.
template <class Interface>
class ComEntityOf : public ComObject<Interface> {
public:
    using ComObject<Interface>::ComObject;
    Status setLayer(const std::string& name) override { return this->d_->put("Layer", text(name)); }
};

using ComEntity = ComEntityOf<CadEntity>;

class ComEllipse : public ComEntityOf<CadEllipse> {
public:
    using ComEntityOf::ComEntityOf;
    Status setStartAngle(double a) override { return angle("startAngle", a); }
    Status setEndAngle(double a) override { return angle("endAngle", a); }

private:
    Status angle(const char* member, double a)
    {
        if (!std::isfinite(a)) return caderr::invalidArgument(member);
        return d_->put(member, real(a));
    }
};

class ComLWPolyline : public ComEntityOf<CadLWPolyline> {
public:
    using ComEntityOf::ComEntityOf;
    Status setClosed(bool closed) override { return d_->put("Closed", boolean(closed)); }
};

class ComLayer : public ComObject<CadLayer> {
public:
    using ComObject::ComObject;
    // A colour index (AcColor): 1 to 255 name colours; 0 (by block) and 256
    // (by layer) mean nothing for a layer itself.
    Status setcolor(int colorIndex) override
    {
        if (colorIndex < 1 || colorIndex > 255) return caderr::invalidArgument("color");
        return d_->put("color", integer(colorIndex));
    }
};

template <class Object, class Interface>
Result<std::shared_ptr<Interface>> wrap(Result<DispatchRef> r)
{
    if (!r) return r.error();
    return std::shared_ptr<Interface>(std::make_shared<Object>(std::move(r).value()));
}

std::vector<Variant> arguments(std::initializer_list<Variant*> list)
{
    std::vector<Variant> out;
    for (Variant* v : list) out.push_back(std::move(*v));
    return out;
}

class ComLayers : public ComObject<CadLayers> {
public:
    using ComObject::ComObject;
    Result<std::shared_ptr<CadLayer>> Add(const std::string& name) override
    {
        const char* m = "Add";
        Variant n = text(name);
        return wrap<ComLayer, CadLayer>(d_->objectFrom(d_->call(m, arguments({&n})), m));
    }
};

class ComModelSpace : public ComObject<CadModelSpace> {
public:
    using ComObject::ComObject;

    Result<std::shared_ptr<CadEntity>> addline(const CadPoint& start, const CadPoint& end) override
    {
        const char* m = "addline";
        if (!finite(start) || !finite(end)) return caderr::invalidArgument(m);
        Variant a = point(start), b = point(end);
        return wrap<ComEntity, CadEntity>(d_->objectFrom(d_->call(m, arguments({&a, &b})), m));
    }

    Result<std::shared_ptr<CadEntity>> addarc(const CadPoint& center, double radius, double startAngle,
                                              double endAngle) override
    {
        const char* m = "addarc";
        if (!finite(center) || !std::isfinite(radius) || !std::isfinite(startAngle) || !std::isfinite(endAngle))
            return caderr::invalidArgument(m);
        Variant c = point(center), r = real(radius), s = real(startAngle), e = real(endAngle);
        return wrap<ComEntity, CadEntity>(d_->objectFrom(d_->call(m, arguments({&c, &r, &s, &e})), m));
    }

    Result<std::shared_ptr<CadEllipse>> AddEllipse(const CadPoint& center, const CadPoint& majorAxis,
                                                   double ratio) override
    {
        const char* m = "AddEllipse";
        if (!finite(center) || !finite(majorAxis) || !std::isfinite(ratio)) return caderr::invalidArgument(m);
        Variant c = point(center), a = point(majorAxis), q = real(ratio);
        return wrap<ComEllipse, CadEllipse>(d_->objectFrom(d_->call(m, arguments({&c, &a, &q})), m));
    }

    Result<std::shared_ptr<CadLWPolyline>> AddLightWeightPolyline(const std::vector<double>& vertices) override
    {
        const char* m = "AddLightWeightPolyline";
        for (double x : vertices)
            if (!std::isfinite(x)) return caderr::invalidArgument(m);
        Variant list = doubles(vertices.data(), vertices.size());
        return wrap<ComLWPolyline, CadLWPolyline>(d_->objectFrom(d_->call(m, arguments({&list})), m));
    }

    Result<std::shared_ptr<CadEntity>> AddText(const std::string& s, const CadPoint& insertionPoint,
                                               double height) override
    {
        const char* m = "AddText";
        if (!finite(insertionPoint) || !std::isfinite(height)) return caderr::invalidArgument(m);
        Variant t = text(s), p = point(insertionPoint), h = real(height);
        return wrap<ComEntity, CadEntity>(d_->objectFrom(d_->call(m, arguments({&t, &p, &h})), m));
    }
};

class ComPaperSpace : public ComObject<CadPaperSpace> {
public:
    using ComObject::ComObject;
};

class ComUtility : public ComObject<CadUtility> {
public:
    using ComObject::ComObject;

    Result<CadPoint> getpoint(const std::string& prompt) override
    {
        const char* m = "getpoint";
        Variant base = omitted(), p = text(prompt);
        Result<Variant> r = d_->call(m, arguments({&base, &p}));
        if (!r) return r.error();
        return readPoint(r.value().v, m);
    }
};

class ComDocument : public ComObject<CadDocument> {
public:
    using ComObject::ComObject;

    Result<std::shared_ptr<CadModelSpace>> ModelSpace() override
    {
        return wrap<ComModelSpace, CadModelSpace>(d_->objectFrom(d_->get("ModelSpace"), "ModelSpace"));
    }
    Result<std::shared_ptr<CadPaperSpace>> paperspace() override
    {
        return wrap<ComPaperSpace, CadPaperSpace>(d_->objectFrom(d_->get("paperspace"), "paperspace"));
    }
    Result<std::shared_ptr<CadUtility>> utility() override
    {
        return wrap<ComUtility, CadUtility>(d_->objectFrom(d_->get("utility"), "utility"));
    }
    Result<std::shared_ptr<CadLayers>> Layers() override
    {
        return wrap<ComLayers, CadLayers>(d_->objectFrom(d_->get("Layers"), "Layers"));
    }
    Status StartUndoMark() override { return done(d_->call("StartUndoMark", {})); }
    Status EndUndoMark() override { return done(d_->call("EndUndoMark", {})); }
};

class ComApplication : public ComObject<CadApplication> {
public:
    using ComObject::ComObject;

    Status setVisible(bool visible) override { return d_->put("Visible", boolean(visible)); }

    Result<std::string> Caption() override
    {
        const char* m = "Caption";
        Result<Variant> r = d_->get(m);
        if (!r) return r.error();
        VARIANT& v = r.value().v;
        if (V_VT(&v) != VT_BSTR && FAILED(VariantChangeType(&v, &v, 0, VT_BSTR))) return typeMismatch(m);
        return bstrText(V_BSTR(&v));
    }

    Result<std::shared_ptr<CadDocument>> activedocument() override
    {
        return wrap<ComDocument, CadDocument>(d_->objectFrom(d_->get("activedocument"), "activedocument"));
    }

    // The CAD may take the foreground from us; showing its window is all
    // its object model offers besides.
    Status bringToFront() override
    {
        CoAllowSetForegroundWindow(d_->object(), nullptr);
        return setVisible(true);
    }
};

class ComAutomation : public CadAutomation {
public:
    explicit ComAutomation(ComAutomationOptions options)
        : session_(std::make_shared<ComSession>(std::move(options)))
    {
    }

    Result<std::shared_ptr<CadApplication>> getRunningInstance(const std::string& programId) override
    {
        Result<CLSID> clsid = classOf(programId);
        if (!clsid) return clsid.error();
        IUnknown* unknown = nullptr;
        HRESULT hr = GetActiveObject(*clsid, nullptr, &unknown);
        if (FAILED(hr) || !unknown)
            return caderr::cannotCreateObject(programId + " 没有在运行（" + windowsText(hr) + "）");
        IDispatch* dispatch = nullptr;
        hr = session_->call([&] { return unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)); });
        unknown->Release();
        if (FAILED(hr) || !dispatch)
            return caderr::cannotCreateObject(programId + " 不提供自动化接口（" + windowsText(hr) + "）");
        return application(dispatch);
    }

    Result<std::shared_ptr<CadApplication>> createInstance(const std::string& programId) override
    {
        Result<CLSID> clsid = classOf(programId);
        if (!clsid) return clsid.error();
        IDispatch* dispatch = nullptr;
        const HRESULT hr = session_->call([&] {
            return CoCreateInstance(*clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                    reinterpret_cast<void**>(&dispatch));
        });
        if (FAILED(hr) || !dispatch)
            return Error{caderr::kCannotCreateObject, "无法启动 " + programId + "：" + windowsText(hr), programId};
        return application(dispatch);
    }

private:
    Result<CLSID> classOf(const std::string& programId)
    {
        const std::wstring id = os::widen(programId);
        CLSID clsid{};
        const HRESULT hr = CLSIDFromProgID(id.c_str(), &clsid);
        if (FAILED(hr))
            return Error{caderr::kCannotCreateObject, "程序标识 " + programId + " 没有注册：" + windowsText(hr),
                         programId};
        return clsid;
    }

    Result<std::shared_ptr<CadApplication>> application(IDispatch* dispatch)
    {
        auto d = std::make_shared<Dispatch>(session_, dispatch, nullptr);
        return std::shared_ptr<CadApplication>(std::make_shared<ComApplication>(std::move(d)));
    }

    std::shared_ptr<ComSession> session_;
};

}  // namespace

std::unique_ptr<CadAutomation> makeComAutomation(ComAutomationOptions options)
{
    return std::make_unique<ComAutomation>(std::move(options));
}

}  // namespace tessik
