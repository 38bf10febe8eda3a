// Process-wide COM state: the class registry, module handles, per-thread
// initialisation counts and the running object table.
#include "com/com.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

namespace {

struct ClassEntry {
    std::string modulePath;  // empty for built-ins
    ComCreateFn builtin = nullptr;
    std::string name;
};

struct LoadedModule {
    void *handle = nullptr;
    DllGetClassObjectFn getClassObject = nullptr;
    DllCanUnloadNowFn canUnloadNow = nullptr;
};

struct Registry {
    std::mutex mutex;
    std::unordered_map<GUID, ClassEntry, GuidHash> builtins;
    std::unordered_map<GUID, ClassEntry, GuidHash> modules;
    std::map<std::string, LoadedModule> loaded;
};

Registry &registry() {
    static Registry *r = new Registry;  // never destroyed: modules may call in during exit
    return *r;
}

std::atomic<long> g_liveObjects{0};
std::atomic<long> g_serverLocks{0};
thread_local int t_initCount = 0;

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

// ---- HRESULT names -------------------------------------------------------
std::string HResultName(HRESULT hr) {
    switch (hr) {
    case S_OK: return "S_OK";
    case S_FALSE: return "S_FALSE";
    case E_NOTIMPL: return "E_NOTIMPL";
    case E_NOINTERFACE: return "E_NOINTERFACE";
    case E_POINTER: return "E_POINTER";
    case E_ABORT: return "E_ABORT";
    case E_FAIL: return "E_FAIL";
    case E_UNEXPECTED: return "E_UNEXPECTED";
    case E_OUTOFMEMORY: return "E_OUTOFMEMORY";
    case E_INVALIDARG: return "E_INVALIDARG";
    case CLASS_E_NOAGGREGATION: return "CLASS_E_NOAGGREGATION";
    case CLASS_E_CLASSNOTAVAILABLE: return "CLASS_E_CLASSNOTAVAILABLE";
    case REGDB_E_CLASSNOTREG: return "REGDB_E_CLASSNOTREG";
    case CO_E_DLLNOTFOUND: return "CO_E_DLLNOTFOUND";
    case CO_E_ERRORINDLL: return "CO_E_ERRORINDLL";
    default: break;
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
    return buf;
}

// ---- GUID ------------------------------------------------------------------
std::string GuidToString(const GUID &g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

bool GuidFromString(const std::string &text, GUID *out) {
    std::string s = text;
    if (s.size() == 38) {
        if (s.front() != '{' || s.back() != '}') return false;
        s = s.substr(1, 36);
    }
    if (s.size() != 36 || s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-') return false;
    std::string hex;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) continue;
        if (hexValue(s[i]) < 0) return false;
        hex += s[i];
    }
    auto read = [&](std::size_t pos, std::size_t digits) {
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < digits; ++i) v = (v << 4) | static_cast<unsigned>(hexValue(hex[pos + i]));
        return v;
    };
    GUID g{};
    g.Data1 = static_cast<std::uint32_t>(read(0, 8));
    g.Data2 = static_cast<std::uint16_t>(read(8, 4));
    g.Data3 = static_cast<std::uint16_t>(read(12, 4));
    for (int i = 0; i < 8; ++i) g.Data4[i] = static_cast<std::uint8_t>(read(16 + 2 * i, 2));
    if (out) *out = g;
    return true;
}

// ---- CUnknown ----------------------------------------------------------------
namespace {
// Adapts the non-delegating side to IUnknown for a CUnknown that is its own owner.
}

CUnknown::CUnknown(const char *name, IUnknown *outer)
    : name_(name ? name : ""),
      owner_(outer ? outer : reinterpret_cast<IUnknown *>(static_cast<INonDelegatingUnknown *>(this))) {
    ++g_liveObjects;
}

CUnknown::~CUnknown() { --g_liveObjects; }

HRESULT STDMETHODCALLTYPE CUnknown::NonDelegatingQueryInterface(REFIID riid, void **ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown) {
        // The non-delegating unknown has IUnknown's slot layout.
        *ppv = static_cast<INonDelegatingUnknown *>(this);
        NonDelegatingAddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingAddRef() { return static_cast<ULONG>(++ref_); }

ULONG STDMETHODCALLTYPE CUnknown::NonDelegatingRelease() {
    long r = --ref_;
    if (r == 0) {
        // Guard against re-entrant releases during destruction.
        ref_ = 1;
        delete this;
        return 0;
    }
    return static_cast<ULONG>(r);
}

long ComLiveObjectCount() { return g_liveObjects.load(); }

HRESULT GetInterface(IUnknown *obj, void **ppv) {
    if (!ppv) return E_POINTER;
    *ppv = obj;
    if (obj) obj->AddRef();
    return S_OK;
}

// ---- initialisation ------------------------------------------------------------
HRESULT CoInitializeEx(void *, DWORD) { return t_initCount++ == 0 ? S_OK : S_FALSE; }
HRESULT CoInitialize(void *r) { return CoInitializeEx(r, COINIT_APARTMENTTHREADED); }
void CoUninitialize() {
    if (t_initCount > 0) --t_initCount;
}
int CoInitializeCount() { return t_initCount; }

void *CoTaskMemAlloc(std::size_t size) { return std::malloc(size ? size : 1); }
void CoTaskMemFree(void *p) { std::free(p); }

// ---- class registry ------------------------------------------------------------
HRESULT ComRegisterModuleClass(REFCLSID clsid, const std::string &modulePath, const std::string &name) {
    if (modulePath.empty()) return E_INVALIDARG;
    auto &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.modules[clsid] = ClassEntry{modulePath, nullptr, name};
    return S_OK;
}

HRESULT ComUnregisterModuleClass(REFCLSID clsid) {
    auto &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.modules.erase(clsid) ? S_OK : S_FALSE;
}

void ComRegisterBuiltinClass(REFCLSID clsid, ComCreateFn create, const std::string &name) {
    auto &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (create)
        r.builtins[clsid] = ClassEntry{"", create, name};
    else
        r.builtins.erase(clsid);
}

std::string ComModulePathOf(REFCLSID clsid) {
    auto &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.modules.find(clsid);
    return it == r.modules.end() ? std::string() : it->second.modulePath;
}

bool ComIsClassRegistered(REFCLSID clsid) {
    auto &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.builtins.count(clsid) || r.modules.count(clsid);
}

std::string ComModulePathOfAddress(const void *address) {
    Dl_info info{};
    if (dladdr(address, &info) && info.dli_fname) {
        char resolved[4096];
        if (realpath(info.dli_fname, resolved)) return resolved;
        return info.dli_fname;
    }
    return {};
}

namespace {

// Loads (once) the module at `path`; the handle stays open while in the table.
HRESULT LoadModuleLocked(Registry &r, const std::string &path, LoadedModule **out) {
    auto it = r.loaded.find(path);
    if (it == r.loaded.end()) {
        void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!h) {
            std::fprintf(stderr, "com: cannot load %s: %s\n", path.c_str(), dlerror());
            return CO_E_DLLNOTFOUND;
        }
        LoadedModule m;
        m.handle = h;
        m.getClassObject = reinterpret_cast<DllGetClassObjectFn>(dlsym(h, "DllGetClassObject"));
        m.canUnloadNow = reinterpret_cast<DllCanUnloadNowFn>(dlsym(h, "DllCanUnloadNow"));
        if (!m.getClassObject) {
            dlclose(h);
            return CO_E_ERRORINDLL;
        }
        it = r.loaded.emplace(path, m).first;
    }
    *out = &it->second;
    return S_OK;
}

// Class factory over a built-in creation function.
class BuiltinFactory final : public IClassFactory {
public:
    explicit BuiltinFactory(ComCreateFn f) : create_(f) {}
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory *>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++ref_; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG r = --ref_;
        if (!r) delete this;
        return r;
    }
    STDMETHODIMP CreateInstance(IUnknown *outer, REFIID riid, void **ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
        return create_(outer, riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
private:
    std::atomic<ULONG> ref_{0};
    ComCreateFn create_;
};

}  // namespace

HRESULT CoGetClassObject(REFCLSID clsid, DWORD, void *, REFIID riid, void **ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    auto &r = registry();
    DllGetClassObjectFn getClassObject = nullptr;
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        auto b = r.builtins.find(clsid);
        if (b != r.builtins.end()) {
            auto *f = new (std::nothrow) BuiltinFactory(b->second.builtin);
            if (!f) return E_OUTOFMEMORY;
            f->AddRef();
            HRESULT hr = f->QueryInterface(riid, ppv);
            f->Release();
            return hr;
        }
        auto m = r.modules.find(clsid);
        if (m == r.modules.end()) return REGDB_E_CLASSNOTREG;
        LoadedModule *mod = nullptr;
        HRESULT hr = LoadModuleLocked(r, m->second.modulePath, &mod);
        if (FAILED(hr)) return hr;
        getClassObject = mod->getClassObject;
    }
    // Called without the registry lock: the module may create objects that
    // themselves call into the registry.
    return getClassObject(clsid, riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown *outer, DWORD clsctx, REFIID riid, void **ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    ComPtr<IClassFactory> factory;
    HRESULT hr = CoGetClassObject(clsid, clsctx, nullptr, IID_IClassFactory, factory.PutVoid());
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(outer, riid, ppv);
}

void CoFreeUnusedLibraries() {
    auto &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    for (auto it = r.loaded.begin(); it != r.loaded.end();) {
        if (it->second.canUnloadNow && it->second.canUnloadNow() == S_OK) {
            dlclose(it->second.handle);
            it = r.loaded.erase(it);
        } else {
            ++it;
        }
    }
}

// ---- CClassFactory ---------------------------------------------------------------
CClassFactory::CClassFactory(ComCreateFn create) : create_(create) {}

STDMETHODIMP CClassFactory::QueryInterface(REFIID riid, void **ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
        *ppv = static_cast<IClassFactory *>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}
STDMETHODIMP_(ULONG) CClassFactory::AddRef() { return static_cast<ULONG>(++ref_); }
STDMETHODIMP_(ULONG) CClassFactory::Release() {
    long r = --ref_;
    if (r == 0) delete this;
    return static_cast<ULONG>(r);
}
STDMETHODIMP CClassFactory::CreateInstance(IUnknown *outer, REFIID riid, void **ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    if (!create_) return E_UNEXPECTED;
    return create_(outer, riid, ppv);
}
STDMETHODIMP CClassFactory::LockServer(BOOL lock) {
    if (lock)
        ++g_serverLocks;
    else
        --g_serverLocks;
    return S_OK;
}
long CClassFactory::LockCount() { return g_serverLocks.load(); }

HRESULT ComFinishCreate(CUnknown *obj, HRESULT constructResult, REFIID riid, void **ppv) {
    if (!ppv) {
        delete obj;
        return E_POINTER;
    }
    *ppv = nullptr;
    if (!obj) return E_OUTOFMEMORY;
    if (FAILED(constructResult)) {
        delete obj;
        return constructResult;
    }
    // Hold a reference while querying so a failed query frees the object.
    obj->NonDelegatingAddRef();
    HRESULT hr = obj->NonDelegatingQueryInterface(riid, ppv);
    obj->NonDelegatingRelease();
    return hr;
}

// ---- UTF-16 ------------------------------------------------------------------------
std::u16string Utf8ToWide(const std::string &s) {
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        std::uint32_t cp;
        int len;
        if (c < 0x80) { cp = c; len = 1; }
        else if ((c >> 5) == 6) { cp = c & 0x1F; len = 2; }
        else if ((c >> 4) == 14) { cp = c & 0x0F; len = 3; }
        else if ((c >> 3) == 30) { cp = c & 0x07; len = 4; }
        else { out.push_back(0xFFFD); ++i; continue; }
        if (i + len > s.size()) { out.push_back(0xFFFD); break; }
        bool ok = true;
        for (int k = 1; k < len; ++k) {
            unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc >> 6) != 2) { ok = false; break; }
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (!ok) { out.push_back(0xFFFD); ++i; continue; }
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string WideToUtf8(const std::u16string &s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        std::uint32_t cp = s[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) out += static_cast<char>(cp);
        else if (cp < 0x800) { out += static_cast<char>(0xC0 | (cp >> 6)); out += static_cast<char>(0x80 | (cp & 0x3F)); }
        else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::string WideToUtf8(LPCWSTR s) {
    if (!s) return {};
    std::u16string w;
    while (*s) w.push_back(*s++);
    return WideToUtf8(w);
}
