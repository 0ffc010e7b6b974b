// A small CAD automation server for the COM link's tests: a local-server
// .exe with the published object model's members and argument shapes
// (Application, Document, ModelSpace/PaperSpace, Utility, Layers and a
// layer's color, entities with their Layer), no drawing behind it. Every call it takes is written to a log, one line each,
// numbers with 17 significant digits, so a test reads back exactly what was
// drawn; Count/Item and the entities' properties answer as well.
//
//   fake-com-cad /regserver          registers "Tessik.FakeCad" and
//                                    "AutoCAD.Application" to this program
//   fake-com-cad [options]           serves, registered as the running object
//     --log FILE          append the call log to FILE
//     --pick X,Y,Z        GetPoint answers this point (default 0,0,0)
//     --cancel-pick       GetPoint fails as a pick cancelled by the user does
//     --pick-window       the CAD's window (titled as Caption says, shown when
//                         Visible is set): GetPoint waits there for a person
//                         to type x,y[,z] and Enter, Esc cancels
//     --busy-seconds N    refuse calls as busy for N seconds from the first one
//     --exit-after N      exit at once when the (N+1)th call arrives
//     --close-drawing-after N   after the Nth call the user closes the drawing
//                         and opens another: the objects of the first are cut off
//     --no-layers         a CAD without layers: no Layers, no entity Layer
//     --lifetime N        quit after N seconds (default 120)
//   fake-com-cad --stop PID TID      ends the server logged as "start PID TID"
//                                    cleanly, or at last by force
// Options may also come from the environment variable TESSIK_FAKECAD_ARGS,
// which is how a server that COM starts is told what to do. WM_QUIT posted
// to the main thread (its id is logged at start) ends it cleanly; a server
// killed instead leaves its class registered with wine's COM, and a later
// launch of the class fails.

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <shellapi.h>

#include <cmath>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// {6F1D6A52-3C1E-4B8E-9B7A-2E5D0C7A9F31}
const CLSID kClsid = {0x6f1d6a52, 0x3c1e, 0x4b8e, {0x9b, 0x7a, 0x2e, 0x5d, 0x0c, 0x7a, 0x9f, 0x31}};
const wchar_t kClsidText[] = L"{6F1D6A52-3C1E-4B8E-9B7A-2E5D0C7A9F31}";
const wchar_t* const kProgIds[] = {L"Tessik.FakeCad", L"AutoCAD.Application"};

constexpr HRESULT kInvalidArgument = HRESULT(0x80210015);
// Posted to the main thread: the drawing is closed once the call in progress
// has been answered.
constexpr UINT kCloseDrawing = WM_APP + 1;

struct Config {
    std::wstring log;
    double pick[3] = {0, 0, 0};
    bool cancelPick = false;
    bool pickWindow = false;
    int busySeconds = 0;
    long exitAfter = 0;
    long closeDrawingAfter = 0;
    bool noLayers = false;
    int lifetimeSeconds = 120;
} config;

FILE* logFile = nullptr;
long invokes = 0;
ULONGLONG busyStart = 0;

std::string utf8(const std::wstring& w)
{
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(std::size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::string num(double v)
{
    char b[40];
    std::snprintf(b, sizeof b, "%.17g", v);
    return b;
}

void log(const std::string& line)
{
    if (!logFile) return;
    std::fputs(line.c_str(), logFile);
    std::fputc('\n', logFile);
    std::fflush(logFile);
}

bool busyNow()
{
    if (config.busySeconds <= 0) return false;
    const ULONGLONG now = GetTickCount64();
    if (busyStart == 0) busyStart = now;
    return now - busyStart < ULONGLONG(config.busySeconds) * 1000;
}

// The arguments of one call, in the member's order, references followed.
class Args {
public:
    explicit Args(DISPPARAMS* p) : p_(p) {}
    unsigned count() const { return p_ ? p_->cArgs : 0; }
    // nullptr when absent or omitted.
    const VARIANT* at(unsigned i) const
    {
        if (i >= count()) return nullptr;
        const VARIANT* v = &p_->rgvarg[count() - 1 - i];
        if (V_VT(v) == (VT_BYREF | VT_VARIANT)) v = V_VARIANTREF(v);
        if (V_VT(v) == VT_ERROR && V_ERROR(v) == DISP_E_PARAMNOTFOUND) return nullptr;
        return v;
    }
    bool real(unsigned i, double& out) const
    {
        const VARIANT* v = at(i);
        if (!v) return false;
        VARIANT c;
        VariantInit(&c);
        if (FAILED(VariantChangeType(&c, const_cast<VARIANT*>(v), 0, VT_R8))) return false;
        out = V_R8(&c);
        return std::isfinite(out);
    }
    bool text(unsigned i, std::wstring& out) const
    {
        const VARIANT* v = at(i);
        if (!v) return false;
        VARIANT c;
        VariantInit(&c);
        if (FAILED(VariantChangeType(&c, const_cast<VARIANT*>(v), 0, VT_BSTR))) return false;
        out.assign(V_BSTR(&c), SysStringLen(V_BSTR(&c)));
        VariantClear(&c);
        return true;
    }
    // An array of doubles (or of variants holding numbers).
    bool doubles(unsigned i, std::vector<double>& out) const
    {
        const VARIANT* v = at(i);
        if (!v || !(V_VT(v) & VT_ARRAY)) return false;
        SAFEARRAY* a = (V_VT(v) & VT_BYREF) ? *V_ARRAYREF(v) : V_ARRAY(v);
        if (!a || SafeArrayGetDim(a) != 1) return false;
        LONG lo = 0, hi = -1;
        SafeArrayGetLBound(a, 1, &lo);
        SafeArrayGetUBound(a, 1, &hi);
        const VARTYPE t = VARTYPE(V_VT(v) & VT_TYPEMASK);
        out.clear();
        for (LONG k = lo; k <= hi; ++k) {
            VARIANT e;
            VariantInit(&e);
            if (t == VT_VARIANT) {
                if (FAILED(SafeArrayGetElement(a, &k, &e))) return false;
            } else if (t == VT_R8) {
                V_VT(&e) = VT_R8;
                if (FAILED(SafeArrayGetElement(a, &k, &V_R8(&e)))) return false;
            } else {
                return false;
            }
            if (FAILED(VariantChangeType(&e, &e, 0, VT_R8)) || !std::isfinite(V_R8(&e))) return false;
            out.push_back(V_R8(&e));
        }
        return true;
    }
    bool point(unsigned i, double p[3]) const
    {
        std::vector<double> v;
        if (!doubles(i, v) || v.size() != 3) return false;
        for (int k = 0; k < 3; ++k) p[k] = v[std::size_t(k)];
        return true;
    }

private:
    DISPPARAMS* p_;
};

HRESULT fail(EXCEPINFO* info, HRESULT code, const wchar_t* description)
{
    if (info) {
        *info = EXCEPINFO{};
        info->scode = code;
        info->bstrSource = SysAllocString(L"Tessik.FakeCad");
        info->bstrDescription = SysAllocString(description);
    }
    return DISP_E_EXCEPTION;
}

void setPoint(VARIANT* out, const double p[3], std::size_t n = 3)
{
    if (!out) return;
    SAFEARRAY* a = SafeArrayCreateVector(VT_R8, 0, ULONG(n));
    double* d = nullptr;
    SafeArrayAccessData(a, reinterpret_cast<void**>(&d));
    for (std::size_t k = 0; k < n; ++k) d[k] = p[k];
    SafeArrayUnaccessData(a);
    V_VT(out) = VT_ARRAY | VT_R8;
    V_ARRAY(out) = a;
}

void setReal(VARIANT* out, double v)
{
    if (!out) return;
    V_VT(out) = VT_R8;
    V_R8(out) = v;
}

void setText(VARIANT* out, const wchar_t* s)
{
    if (!out) return;
    V_VT(out) = VT_BSTR;
    V_BSTR(out) = SysAllocString(s);
}

constexpr wchar_t kCaption[] = L"Tessik FakeCAD - [Drawing1.dwg]";
constexpr DWORD kPickTimeoutMs = 90000;

// The CAD's main window with its command line: a prompt and a field where a
// point is typed, as a CAD takes a typed point at its prompt.
class PickWindow {
public:
    void create()
    {
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
        wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        wc.lpszClassName = L"TessikFakeCad";
        RegisterClassW(&wc);
        window_ = CreateWindowExW(0, wc.lpszClassName, kCaption, WS_OVERLAPPEDWINDOW, 700, 80, 420, 140, nullptr,
                                  nullptr, instance, nullptr);
        prompt_ = CreateWindowExW(0, L"Static", L"命令:", WS_CHILD | WS_VISIBLE, 10, 10, 380, 24, window_, nullptr,
                                  instance, nullptr);
        edit_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"Edit", L"", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 10, 40, 380,
                                26, window_, nullptr, instance, nullptr);
    }
    // Shown without taking the keyboard: the program that made it visible
    // keeps working; a pick brings it forward.
    void show(bool visible)
    {
        if (window_) ShowWindow(window_, visible ? SW_SHOWNOACTIVATE : SW_HIDE);
    }

    // The point typed at `prompt`; false when cancelled or nobody answers.
    bool ask(const std::wstring& prompt, double p[3])
    {
        if (!window_) return false;
        SetWindowTextW(prompt_, prompt.c_str());
        SetWindowTextW(edit_, L"");
        ShowWindow(window_, SW_SHOW);
        SetForegroundWindow(window_);
        SetFocus(edit_);
        log("pick window waiting");
        const ULONGLONG until = GetTickCount64() + kPickTimeoutMs;
        for (;;) {
            const ULONGLONG now = GetTickCount64();
            if (now >= until) {
                log("pick timed out");
                return false;
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(until - now), QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (msg.message == WM_QUIT) {
                    PostQuitMessage(int(msg.wParam));
                    return false;
                }
                if (msg.message == WM_KEYDOWN && msg.hwnd == edit_ && msg.wParam == VK_ESCAPE) return false;
                if (msg.message == WM_KEYDOWN && msg.hwnd == edit_ && msg.wParam == VK_RETURN) {
                    if (typedPoint(p)) return true;
                    SetWindowTextW(edit_, L"");
                    continue;
                }
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }

private:
    // x,y or x,y,z; anything else is refused and asked again.
    bool typedPoint(double p[3])
    {
        wchar_t text[256] = {};
        GetWindowTextW(edit_, text, 256);
        double v[3] = {0, 0, 0};
        wchar_t rest = 0;
        const int n = std::swscanf(text, L"%lf,%lf,%lf %lc", &v[0], &v[1], &v[2], &rest);
        if ((n != 2 && n != 3) || !std::isfinite(v[0]) || !std::isfinite(v[1]) || !std::isfinite(v[2])) {
            log("pick refused " + utf8(text));
            return false;
        }
        for (int k = 0; k < 3; ++k) p[k] = v[k];
        return true;
    }

    HWND window_ = nullptr;
    HWND prompt_ = nullptr;
    HWND edit_ = nullptr;
} pickWindow;

// An automation object with a fixed member table; dispids are 1-based
// indexes into it, names matched whatever their case.
class Object : public IDispatch {
public:
    explicit Object(std::vector<std::wstring> members) : members_(std::move(members)) {}
    virtual ~Object() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return ULONG(n);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override
    {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        if (busyNow()) {
            log("refused GetIDsOfNames");
            return RPC_E_SERVERCALL_RETRYLATER;
        }
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            for (std::size_t k = 0; k < members_.size(); ++k)
                if (_wcsicmp(names[i], members_[k].c_str()) == 0) ids[i] = DISPID(k + 1);
            if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                     EXCEPINFO* info, UINT*) override
    {
        if (busyNow()) {
            log("refused Invoke");
            return RPC_E_SERVERCALL_RETRYLATER;
        }
        ++invokes;
        if (config.exitAfter > 0 && invokes > config.exitAfter) {
            log("exit");
            ExitProcess(3);
        }
        if (invokes == config.closeDrawingAfter) PostThreadMessageW(GetCurrentThreadId(), kCloseDrawing, 0, 0);
        if (id < 1 || std::size_t(id) > members_.size()) return DISP_E_MEMBERNOTFOUND;
        if (result) VariantInit(result);
        const bool put = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
        return member(members_[std::size_t(id - 1)], put, Args(params), result, info);
    }

protected:
    // `name` as the table spells it.
    virtual HRESULT member(const std::wstring& name, bool put, const Args& args, VARIANT* result,
                           EXCEPINFO* info) = 0;

    static void handOut(VARIANT* result, IDispatch* object)
    {
        if (!result) return;
        object->AddRef();
        V_VT(result) = VT_DISPATCH;
        V_DISPATCH(result) = object;
    }

private:
    std::vector<std::wstring> members_;
    LONG refs_ = 1;
};

class Layer : public Object {
public:
    explicit Layer(std::wstring name) : Object({L"Name", L"color"}), name(std::move(name)) {}
    const std::wstring name;
    long color = 7;

protected:
    HRESULT member(const std::wstring& which, bool put, const Args& args, VARIANT* result, EXCEPINFO* info) override
    {
        if (which == L"Name") {
            if (put) return DISP_E_MEMBERNOTFOUND;
            setText(result, name.c_str());
            return S_OK;
        }
        if (!put) {
            if (result) {
                V_VT(result) = VT_I4;
                V_I4(result) = color;
            }
            return S_OK;
        }
        // A colour index is a whole number; a layer takes 1 to 255.
        const VARIANT* v = args.at(0);
        double c = 0;
        if (!v || !(V_VT(v) == VT_I4 || V_VT(v) == VT_I2 || V_VT(v) == VT_UI1) || !args.real(0, c) || c < 1 || c > 255)
            return fail(info, kInvalidArgument, L"Invalid argument");
        color = long(c);
        log("color " + utf8(name) + ' ' + std::to_string(color));
        return S_OK;
    }
};

// The drawing's layer table; it starts with layer "0". Names are matched
// whatever their case, as a CAD matches them.
class Layers : public Object {
public:
    Layers() : Object({L"Add", L"Count", L"Item"}) { layers_.push_back(new Layer(L"0")); }
    ~Layers() override
    {
        for (Layer* l : layers_) l->Release();
    }
    Layer* find(const std::wstring& name) const
    {
        for (Layer* l : layers_)
            if (_wcsicmp(l->name.c_str(), name.c_str()) == 0) return l;
        return nullptr;
    }

protected:
    HRESULT member(const std::wstring& name, bool, const Args& args, VARIANT* result, EXCEPINFO* info) override
    {
        if (name == L"Add") {
            std::wstring layer;
            if (!args.text(0, layer) || layer.empty()) return fail(info, kInvalidArgument, L"Invalid argument");
            log("Layers.Add " + utf8(layer));
            Layer* found = find(layer);
            if (!found) {
                found = new Layer(layer);
                layers_.push_back(found);
            }
            handOut(result, found);
            return S_OK;
        }
        if (name == L"Count") {
            if (result) {
                V_VT(result) = VT_I4;
                V_I4(result) = LONG(layers_.size());
            }
            return S_OK;
        }
        double index = -1;
        if (!args.real(0, index) || index < 0 || index >= double(layers_.size()))
            return fail(info, kInvalidArgument, L"Invalid argument");
        handOut(result, layers_[std::size_t(index)]);
        return S_OK;
    }

private:
    std::vector<Layer*> layers_;
};

std::vector<std::wstring> withLayers(std::vector<std::wstring> members, const wchar_t* layerMember)
{
    if (!config.noLayers) members.emplace_back(layerMember);
    return members;
}

constexpr HRESULT kKeyNotFound = HRESULT(0x80200014);

class FakeComEntity : public Object {
public:
    FakeComEntity(const wchar_t* objectName, long index, Layers* layers)
        : Object(withLayers({L"ObjectName", L"StartAngle", L"EndAngle", L"Closed", L"Handle"}, L"Layer")),
          objectName_(objectName),
          index_(index),
          layers_(layers),
          layer_(L"0")
    {
        layers_->AddRef();
    }
    ~FakeComEntity() override { layers_->Release(); }
    double startAngle = 0, endAngle = 2 * 3.14159265358979323846;
    bool closed = false;

protected:
    HRESULT member(const std::wstring& name, bool put, const Args& args, VARIANT* result, EXCEPINFO* info) override
    {
        if (name == L"ObjectName") {
            setText(result, objectName_);
            return S_OK;
        }
        if (name == L"Handle") {
            setText(result, std::to_wstring(index_ + 0x100).c_str());
            return S_OK;
        }
        if (name == L"Layer") {
            if (!put) {
                setText(result, layer_.c_str());
                return S_OK;
            }
            std::wstring layer;
            if (!args.text(0, layer)) return fail(info, kInvalidArgument, L"Invalid argument");
            const Layer* known = layers_->find(layer);
            if (!known) return fail(info, kKeyNotFound, L"Key not found");
            layer_ = known->name;
            log("Layer " + std::to_string(index_) + ' ' + utf8(layer_));
            return S_OK;
        }
        const bool angles = objectName_ == std::wstring(L"AcDbEllipse") || objectName_ == std::wstring(L"AcDbArc");
        if ((name == L"StartAngle" || name == L"EndAngle") && angles) {
            double& a = name == L"StartAngle" ? startAngle : endAngle;
            if (!put) {
                setReal(result, a);
                return S_OK;
            }
            double v = 0;
            if (!args.real(0, v)) return fail(info, kInvalidArgument, L"Invalid argument");
            a = v;
            log(utf8(name) + ' ' + std::to_string(index_) + ' ' + num(v));
            return S_OK;
        }
        if (name == L"Closed" && objectName_ == std::wstring(L"AcDbPolyline")) {
            if (!put) {
                V_VT(result) = VT_BOOL;
                V_BOOL(result) = closed ? VARIANT_TRUE : VARIANT_FALSE;
                return S_OK;
            }
            double v = 0;
            if (!args.real(0, v)) return fail(info, kInvalidArgument, L"Invalid argument");
            closed = v != 0;
            log("Closed " + std::to_string(index_) + ' ' + (closed ? "1" : "0"));
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    const wchar_t* objectName_;
    long index_;
    Layers* layers_;
    std::wstring layer_;
};

class FakeComSpace : public Object {
public:
    explicit FakeComSpace(Layers* layers)
        : Object({L"AddLine", L"AddArc", L"AddEllipse", L"AddLightWeightPolyline", L"AddText", L"Count", L"Item"}),
          layers_(layers)
    {
        layers_->AddRef();
    }
    ~FakeComSpace() override
    {
        for (FakeComEntity* e : entities_) e->Release();
        layers_->Release();
    }

protected:
    HRESULT member(const std::wstring& name, bool, const Args& args, VARIANT* result, EXCEPINFO* info) override
    {
        double a[3], b[3], r = 0, s = 0, e = 0;
        if (name == L"AddLine") {
            if (!args.point(0, a) || !args.point(1, b)) return invalid(info);
            log("AddLine " + pt(a) + ' ' + pt(b));
            return add(L"AcDbLine", result);
        }
        if (name == L"AddArc") {
            if (!args.point(0, a) || !args.real(1, r) || !args.real(2, s) || !args.real(3, e) || r <= 0)
                return invalid(info);
            log("AddArc " + pt(a) + ' ' + num(r) + ' ' + num(s) + ' ' + num(e));
            return add(L"AcDbArc", result, s, e);
        }
        if (name == L"AddEllipse") {
            if (!args.point(0, a) || !args.point(1, b) || !args.real(2, r) || r <= 0 || r > 1) return invalid(info);
            log("AddEllipse " + pt(a) + ' ' + pt(b) + ' ' + num(r));
            return add(L"AcDbEllipse", result);
        }
        if (name == L"AddLightWeightPolyline") {
            std::vector<double> v;
            if (!args.doubles(0, v) || v.size() < 4 || v.size() % 2 != 0) return invalid(info);
            std::string line = "AddLightWeightPolyline " + std::to_string(v.size() / 2);
            for (double x : v) line += ' ' + num(x);
            log(line);
            return add(L"AcDbPolyline", result);
        }
        if (name == L"AddText") {
            std::wstring text;
            if (!args.text(0, text) || !args.point(1, a) || !args.real(2, r) || r <= 0) return invalid(info);
            log("AddText " + num(r) + ' ' + pt(a) + ' ' + utf8(text));
            return add(L"AcDbText", result);
        }
        if (name == L"Count") {
            if (result) {
                V_VT(result) = VT_I4;
                V_I4(result) = LONG(entities_.size());
            }
            return S_OK;
        }
        if (name == L"Item") {
            double index = -1;
            if (!args.real(0, index) || index < 0 || index >= double(entities_.size())) return invalid(info);
            handOut(result, entities_[std::size_t(index)]);
            return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    static std::string pt(const double p[3]) { return num(p[0]) + ' ' + num(p[1]) + ' ' + num(p[2]); }
    static HRESULT invalid(EXCEPINFO* info) { return fail(info, kInvalidArgument, L"Invalid argument"); }
    HRESULT add(const wchar_t* objectName, VARIANT* result, double start = 0, double end = 0)
    {
        auto* e = new FakeComEntity(objectName, long(entities_.size()), layers_);
        if (objectName == std::wstring(L"AcDbArc")) {
            e->startAngle = start;
            e->endAngle = end;
        }
        entities_.push_back(e);
        handOut(result, e);
        return S_OK;
    }
    std::vector<FakeComEntity*> entities_;
    Layers* layers_;
};

class Utility : public Object {
public:
    Utility() : Object({L"GetPoint"}) {}

protected:
    HRESULT member(const std::wstring&, bool, const Args& args, VARIANT* result, EXCEPINFO* info) override
    {
        std::wstring prompt;
        args.text(1, prompt);
        log("GetPoint " + std::string(args.at(0) ? "base" : "nobase") + ' ' + utf8(prompt));
        if (config.cancelPick) return fail(info, DISP_E_EXCEPTION, L"*Cancel*");
        double p[3] = {config.pick[0], config.pick[1], config.pick[2]};
        if (config.pickWindow) {
            if (!pickWindow.ask(prompt, p)) {
                log("pick cancelled");
                return fail(info, DISP_E_EXCEPTION, L"*Cancel*");
            }
            log("picked " + num(p[0]) + ' ' + num(p[1]) + ' ' + num(p[2]));
        }
        setPoint(result, p);
        return S_OK;
    }
};

class FakeComDocument : public Object {
public:
    FakeComDocument()
        : Object(withLayers({L"ModelSpace", L"PaperSpace", L"Utility", L"StartUndoMark", L"EndUndoMark", L"Name"},
                            L"Layers")),
          layers_(new Layers), model_(new FakeComSpace(layers_)), paper_(new FakeComSpace(layers_)), utility_(new Utility)
    {
    }
    ~FakeComDocument() override
    {
        model_->Release();
        paper_->Release();
        utility_->Release();
        layers_->Release();
    }
    // Closed: whoever still holds its objects is answered that they are gone.
    void disconnect()
    {
        for (IUnknown* o : {static_cast<IUnknown*>(model_), static_cast<IUnknown*>(paper_),
                            static_cast<IUnknown*>(utility_), static_cast<IUnknown*>(layers_),
                            static_cast<IUnknown*>(this)})
            CoDisconnectObject(o, 0);
    }

protected:
    HRESULT member(const std::wstring& name, bool, const Args&, VARIANT* result, EXCEPINFO*) override
    {
        if (name == L"StartUndoMark" || name == L"EndUndoMark") {
            log(utf8(name));
            return S_OK;
        }
        log("get " + utf8(name));
        if (name == L"ModelSpace") handOut(result, model_);
        else if (name == L"PaperSpace") handOut(result, paper_);
        else if (name == L"Utility") handOut(result, utility_);
        else if (name == L"Layers") handOut(result, layers_);
        else setText(result, L"Drawing1.dwg");
        return S_OK;
    }

private:
    Layers* layers_;
    FakeComSpace* model_;
    FakeComSpace* paper_;
    Utility* utility_;
};

class Application : public Object {
public:
    Application() : Object({L"Visible", L"Caption", L"ActiveDocument", L"Quit", L"Name"}), document_(new FakeComDocument) {}
    ~Application() override { document_->Release(); }
    void closeDrawing()
    {
        log("close drawing");
        document_->disconnect();
        document_->Release();
        document_ = new FakeComDocument;
    }

protected:
    HRESULT member(const std::wstring& name, bool put, const Args& args, VARIANT* result, EXCEPINFO* info) override
    {
        if (name == L"Visible") {
            if (put) {
                double v = 0;
                if (!args.real(0, v)) return fail(info, kInvalidArgument, L"Invalid argument");
                visible_ = v != 0;
                pickWindow.show(visible_);
                log(std::string("put Visible ") + (visible_ ? "1" : "0"));
            } else if (result) {
                V_VT(result) = VT_BOOL;
                V_BOOL(result) = visible_ ? VARIANT_TRUE : VARIANT_FALSE;
            }
            return S_OK;
        }
        if (name == L"Quit") {
            log("Quit");
            PostQuitMessage(0);
            return S_OK;
        }
        log("get " + utf8(name));
        if (name == L"ActiveDocument") handOut(result, document_);
        else if (name == L"Caption") setText(result, kCaption);
        else setText(result, L"Tessik FakeCAD");
        return S_OK;
    }

private:
    FakeComDocument* document_;
    bool visible_ = false;
};

Application* application = nullptr;

class Factory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (outer) return CLASS_E_NOAGGREGATION;
        return application->QueryInterface(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
} factory;

// Refuses incoming calls as busy while the busy time lasts.
class BusyFilter : public IMessageFilter {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown || iid == IID_IMessageFilter) {
            *out = static_cast<IMessageFilter*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO call) override
    {
        if (call && call->iid == IID_IDispatch && busyNow()) {
            log("refused call");
            return SERVERCALL_RETRYLATER;
        }
        return SERVERCALL_ISHANDLED;
    }
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override { return DWORD(-1); }
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override { return PENDINGMSG_WAITDEFPROCESS; }
} busyFilter;

bool setValue(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value)
{
    HKEY k = nullptr;
    if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG r = RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                  DWORD((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(k);
    return r == ERROR_SUCCESS;
}

// Into the machine's classes where allowed (where wine looks), and the user's.
int registerServer()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    bool any = false;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        const std::wstring classes = L"Software\\Classes\\";
        bool ok = setValue(root, classes + L"CLSID\\" + kClsidText, nullptr, L"Tessik FakeCAD") &&
                  setValue(root, classes + L"CLSID\\" + kClsidText + L"\\LocalServer32", nullptr,
                           L"\"" + std::wstring(path) + L"\"") &&
                  setValue(root, classes + L"CLSID\\" + kClsidText + L"\\ProgID", nullptr, kProgIds[0]);
        for (const wchar_t* id : kProgIds)
            ok = ok && setValue(root, classes + id + L"\\CLSID", nullptr, kClsidText);
        any = any || ok;
    }
    return any ? 0 : 1;
}

void parse(const std::vector<std::wstring>& args)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        const bool more = i + 1 < args.size();
        if (a == L"--log" && more) config.log = args[++i];
        else if (a == L"--pick" && more)
            std::swscanf(args[++i].c_str(), L"%lf,%lf,%lf", &config.pick[0], &config.pick[1], &config.pick[2]);
        else if (a == L"--cancel-pick") config.cancelPick = true;
        else if (a == L"--pick-window") config.pickWindow = true;
        else if (a == L"--busy-seconds" && more) config.busySeconds = _wtoi(args[++i].c_str());
        else if (a == L"--exit-after" && more) config.exitAfter = _wtol(args[++i].c_str());
        else if (a == L"--close-drawing-after" && more) config.closeDrawingAfter = _wtol(args[++i].c_str());
        else if (a == L"--no-layers") config.noLayers = true;
        else if (a == L"--lifetime" && more) config.lifetimeSeconds = _wtoi(args[++i].c_str());
    }
}

std::vector<std::wstring> split(const wchar_t* line)
{
    std::vector<std::wstring> out;
    int n = 0;
    if (!line || !*line) return out;
    wchar_t** argv = CommandLineToArgvW(line, &n);
    for (int i = 0; argv && i < n; ++i) out.emplace_back(argv[i]);
    LocalFree(argv);
    return out;
}

}  // namespace

// 0 when the server ended by its own message loop.
int stopServer(DWORD process, DWORD thread)
{
    HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, process);
    if (!h) return 1;
    PostThreadMessageW(thread, WM_QUIT, 0, 0);
    int result = 0;
    if (WaitForSingleObject(h, 15000) != WAIT_OBJECT_0) {
        TerminateProcess(h, 9);
        result = 2;
    }
    CloseHandle(h);
    return result;
}

int main()
{
    std::vector<std::wstring> args = split(GetCommandLineW());
    for (const std::wstring& a : args)
        if (_wcsicmp(a.c_str(), L"/regserver") == 0 || _wcsicmp(a.c_str(), L"-regserver") == 0)
            return registerServer();
    if (args.size() == 4 && args[1] == L"--stop") return stopServer(DWORD(_wtol(args[2].c_str())), DWORD(_wtol(args[3].c_str())));
    if (!args.empty()) args.erase(args.begin());
    wchar_t env[4096];
    const DWORD n = GetEnvironmentVariableW(L"TESSIK_FAKECAD_ARGS", env, 4096);
    if (n > 0 && n < 4096) {
        // CommandLineToArgvW takes its first word as the program's name.
        std::vector<std::wstring> extra = split((std::wstring(L"x ") + env).c_str());
        args.insert(args.end(), extra.begin() + 1, extra.end());
    }
    parse(args);
    if (!config.log.empty()) logFile = _wfopen(config.log.c_str(), L"ab");
    log("start " + std::to_string(GetCurrentProcessId()) + ' ' + std::to_string(GetCurrentThreadId()));

    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    CoRegisterMessageFilter(&busyFilter, nullptr);
    if (config.pickWindow) pickWindow.create();
    application = new Application;
    DWORD classCookie = 0, rotCookie = 0;
    if (FAILED(CoRegisterClassObject(kClsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &classCookie)) ||
        FAILED(RegisterActiveObject(application, kClsid, ACTIVEOBJECT_STRONG, &rotCookie))) {
        log("cannot register");
        return 2;
    }
    log("ready");
    SetTimer(nullptr, 0, UINT(config.lifetimeSeconds) * 1000, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr) break;
        if (msg.message == kCloseDrawing && msg.hwnd == nullptr) {
            application->closeDrawing();
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    log("quit");
    RevokeActiveObject(rotCookie, nullptr);
    CoRevokeClassObject(classCookie);
    CoDisconnectObject(application, 0);
    application->Release();
    CoUninitialize();
    if (logFile) std::fclose(logFile);
    return 0;
}
