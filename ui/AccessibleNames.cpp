// Accessible names of the controls that have no fitting text of their own. The platform names
// a list or an edit box after the label before it, and a button after its text: the list has no
// label, the box's label ends in a colon, and the browse button says "...". Each of the three
// answers WM_GETOBJECT with the platform's own object for it, whose name alone is replaced, so
// the window looks the same and a reader hears the same name on every version of the platform,
// whatever its way of finding labels.
#include "AccessibleNames.h"

#include "app/ScopedHandle.h"
#include "res/resource.h"

#include <oleacc.h>

#include <new>

namespace {

struct ControlName {
    int id;
    const wchar_t* name;
};

const ControlName kControlNames[] = {
    {IDC_SOURCE_LIST, L"Source files"},
    {IDC_OUTPUT_FOLDER, L"Output Folder"},
    {IDC_BROWSE, L"Browse for the output folder"},
};

// Interface ids are taken with __uuidof: mingw's oleacc import library also has a symbol
// IID_IAccessible, an import stub and not the id, and which one the linker takes depends on the
// order of the libraries.

bool isSelf(const VARIANT& child) {
    return child.vt == VT_I4 && child.lVal == CHILDID_SELF;
}

// The platform's accessible object of a control with another name: everything else (role,
// state, value, place, the list's items) is the platform's answer.
class NamedAccessible final : public IAccessible {
public:
    NamedAccessible(IAccessible* standard, const wchar_t* name) : standard_(standard), name_(name) {}
    NamedAccessible(const NamedAccessible&) = delete;
    NamedAccessible& operator=(const NamedAccessible&) = delete;

    // IUnknown. The item enumeration and the window lookup are the platform object's.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IDispatch) || iid == __uuidof(IAccessible)) {
            *object = static_cast<IAccessible*>(this);
            AddRef();
            return S_OK;
        }
        if (iid == __uuidof(IEnumVARIANT) || iid == __uuidof(IOleWindow))
            return standard_.get()->QueryInterface(iid, object);
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG refs = InterlockedDecrement(&refs_);
        if (refs == 0)
            delete this;
        return static_cast<ULONG>(refs);
    }

    // IDispatch, over the platform's type description of IAccessible, so that a late-bound
    // caller reaches the name below too.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return standard_.get()->GetTypeInfoCount(count); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
        return standard_.get()->GetTypeInfo(index, locale, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override {
        return standard_.get()->GetIDsOfNames(iid, names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override {
        ITypeInfo* rawInfo = nullptr;
        if (FAILED(standard_.get()->GetTypeInfo(0, locale, &rawInfo)) || !rawInfo)
            return standard_.get()->Invoke(id, iid, locale, flags, parameters, result, exception, argumentError);
        ComRef<ITypeInfo> info(rawInfo);
        return DispInvoke(static_cast<IAccessible*>(this), info.get(), id, flags, parameters, result, exception,
                          argumentError);
    }

    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        if (!isSelf(child))
            return standard_.get()->get_accName(child, name);
        if (!name)
            return E_POINTER;
        *name = SysAllocString(name_);
        return *name ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return standard_.get()->get_accParent(parent); }
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override { return standard_.get()->get_accChildCount(count); }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override {
        return standard_.get()->get_accChild(child, object);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        return standard_.get()->get_accValue(child, value);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        return standard_.get()->get_accDescription(child, text);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        return standard_.get()->get_accRole(child, role);
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        return standard_.get()->get_accState(child, state);
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override {
        return standard_.get()->get_accHelp(child, help);
    }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override {
        return standard_.get()->get_accHelpTopic(file, child, topic);
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
        return standard_.get()->get_accKeyboardShortcut(child, shortcut);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override { return standard_.get()->get_accFocus(child); }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
        return standard_.get()->get_accSelection(children);
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        return standard_.get()->get_accDefaultAction(child, action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override {
        return standard_.get()->accSelect(flags, child);
    }
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override {
        return standard_.get()->accLocation(left, top, width, height, child);
    }
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override {
        return standard_.get()->accNavigate(direction, start, end);
    }
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override {
        return standard_.get()->accHitTest(x, y, child);
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override {
        return standard_.get()->accDoDefaultAction(child);
    }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override {
        return standard_.get()->put_accName(child, name);
    }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
        return standard_.get()->put_accValue(child, value);
    }

private:
    ~NamedAccessible() = default;

    LONG refs_ = 1;
    ComRef<IAccessible> standard_;
    const wchar_t* name_;
};

// The object handed to the asking process; 0 (the control's default answer) when it cannot be
// made, so a reader still hears the platform's name rather than nothing.
LRESULT namedObjectFor(HWND control, WPARAM flags, const wchar_t* name) {
    IAccessible* rawStandard = nullptr;
    if (FAILED(CreateStdAccessibleObject(control, OBJID_CLIENT, __uuidof(IAccessible),
                                         reinterpret_cast<void**>(&rawStandard))) ||
        !rawStandard)
        return 0;
    ComRef<IAccessible> standard(rawStandard);
    ComRef<IAccessible> named(new (std::nothrow) NamedAccessible(standard.get(), name));
    if (!named.valid())
        return 0;
    standard.release(); // now the named object's
    const LRESULT result = LresultFromObject(__uuidof(IAccessible), flags, named.get());
    return result > 0 ? result : 0;
}

// WM_GETOBJECT carries the object id in the low 32 bits of lParam, in either width.
bool asksForClient(LPARAM objectId) {
    return static_cast<LONG>(static_cast<DWORD>(objectId)) == OBJID_CLIENT;
}

const wchar_t* nameOfControl(int id) {
    for (const ControlName& control : kControlNames) {
        if (control.id == id)
            return control.name;
    }
    return nullptr;
}

// A named control's own procedure is kept in its user data, which no control of these classes
// uses. Not SetWindowSubclass: its chain lives in a window property, and Wine fetches a property
// from its server on each message, twice per message through the chain. A command that reads or
// selects thousands of list entries then waited on the server for every one of them.
WNDPROC ownProcedure(HWND control) {
    return reinterpret_cast<WNDPROC>(GetWindowLongPtrW(control, GWLP_USERDATA));
}

LRESULT passOn(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const WNDPROC own = ownProcedure(hwnd);
    return own ? CallWindowProcW(own, hwnd, message, wParam, lParam) : DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT onGetObject(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    const wchar_t* name = nameOfControl(GetDlgCtrlID(hwnd));
    const LRESULT object = name && asksForClient(lParam) ? namedObjectFor(hwnd, wParam, name) : 0;
    return object ? object : passOn(hwnd, WM_GETOBJECT, wParam, lParam);
}

LRESULT CALLBACK namedControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_GETOBJECT:
        return onGetObject(hwnd, wParam, lParam);
    default:
        return passOn(hwnd, message, wParam, lParam);
    }
}

void nameControl(HWND control) {
    // Named once: a second procedure swap would keep this procedure as the control's own.
    if (ownProcedure(control))
        return;
    const LONG_PTR own = GetWindowLongPtrW(control, GWLP_WNDPROC);
    if (!own)
        return;
    SetWindowLongPtrW(control, GWLP_USERDATA, own);
    SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(namedControlProc));
}

} // namespace

void nameControlsForScreenReaders(HWND mainDlg) {
    for (const ControlName& control : kControlNames) {
        HWND hwnd = GetDlgItem(mainDlg, control.id);
        if (hwnd && IsWindow(hwnd))
            nameControl(hwnd);
    }
}
