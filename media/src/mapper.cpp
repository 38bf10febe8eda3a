// The process-wide filter mapper, module registration helpers and the
// one-time registration of the built-in filters.
#include <algorithm>
#include <mutex>

#include "media/baseclasses.h"
#include "media/registration.h"

// The FFmpeg filters' registration, when media/ffmpeg/ provides it. Weak,
// so the library links and works (without those filters) before it exists.
void MediaFfmpegRegisterFilters() __attribute__((weak));
void MediaFfmpegRegisterBuiltins() __attribute__((weak));

namespace {

struct Mapper {
    std::mutex lock;
    std::vector<RegisteredFilter> filters;   // registration order
};

// Function-local so that static initialisers of other translation units
// (the FFmpeg filters) can register before ours has run.
Mapper &TheMapper() {
    static Mapper *m = new Mapper;   // never destroyed: used until process end
    return *m;
}

bool TypeMatches(const RegisteredPinType &registered, const RegisteredPinType &wanted) {
    if (registered.major != GUID_NULL && wanted.major != GUID_NULL && registered.major != wanted.major) return false;
    if (registered.minor != GUID_NULL && wanted.minor != GUID_NULL && registered.minor != wanted.minor) return false;
    return true;
}

}  // namespace

HRESULT FilterMapperRegister(const RegisteredFilter &filter) {
    Mapper &m = TheMapper();
    std::lock_guard<std::mutex> g(m.lock);
    for (auto &f : m.filters)
        if (f.clsid == filter.clsid) {
            f = filter;
            return S_OK;
        }
    m.filters.push_back(filter);
    return S_OK;
}

HRESULT FilterMapperRegister(const AMOVIESETUP_FILTER *setup) {
    if (!setup || !setup->clsID) return E_POINTER;
    RegisteredFilter f;
    f.clsid = *setup->clsID;
    f.name = setup->strName ? setup->strName : u"";
    f.merit = setup->dwMerit;
    for (UINT i = 0; i < setup->nPins && setup->lpPin; ++i) {
        const AMOVIESETUP_PIN &p = setup->lpPin[i];
        RegisteredPin pin;
        pin.name = p.strName ? p.strName : u"";
        pin.output = p.bOutput != FALSE;
        pin.rendered = p.bRendered != FALSE;
        for (UINT t = 0; t < p.nMediaTypes && p.lpMediaType; ++t) {
            RegisteredPinType type;
            type.major = p.lpMediaType[t].clsMajorType ? *p.lpMediaType[t].clsMajorType : GUID_NULL;
            type.minor = p.lpMediaType[t].clsMinorType ? *p.lpMediaType[t].clsMinorType : GUID_NULL;
            pin.types.push_back(type);
        }
        f.pins.push_back(std::move(pin));
    }
    return FilterMapperRegister(f);
}

HRESULT FilterMapperUnregister(REFCLSID clsid) {
    Mapper &m = TheMapper();
    std::lock_guard<std::mutex> g(m.lock);
    auto it = std::find_if(m.filters.begin(), m.filters.end(), [&](const RegisteredFilter &f) { return f.clsid == clsid; });
    if (it == m.filters.end()) return S_FALSE;
    m.filters.erase(it);
    return S_OK;
}

bool FilterMapperLookup(REFCLSID clsid, RegisteredFilter *out) {
    Mapper &m = TheMapper();
    std::lock_guard<std::mutex> g(m.lock);
    for (const auto &f : m.filters)
        if (f.clsid == clsid) {
            if (out) *out = f;
            return true;
        }
    return false;
}

std::vector<RegisteredFilter> FilterMapperAll() {
    Mapper &m = TheMapper();
    std::lock_guard<std::mutex> g(m.lock);
    return m.filters;
}

std::vector<RegisteredFilter> FilterMapperMatch(const std::vector<RegisteredPinType> &inputTypes, bool needOutput,
                                                bool needRenderer, DWORD minMerit) {
    // Whatever the caller asks, the do-not-use band is never offered.
    if (minMerit <= MERIT_DO_NOT_USE) minMerit = MERIT_DO_NOT_USE + 1;
    std::vector<RegisteredFilter> result;
    for (const auto &f : FilterMapperAll()) {
        if (f.merit < minMerit) continue;
        bool hasOutput = std::any_of(f.pins.begin(), f.pins.end(), [](const RegisteredPin &p) { return p.output; });
        if (needOutput && !hasOutput) continue;
        if (needRenderer && hasOutput) continue;
        if (!inputTypes.empty()) {
            bool accepts = false;
            for (const auto &p : f.pins) {
                if (p.output) continue;
                for (const auto &t : p.types)
                    for (const auto &w : inputTypes)
                        if (TypeMatches(t, w)) accepts = true;
            }
            if (!accepts) continue;
        }
        result.push_back(f);
    }
    std::stable_sort(result.begin(), result.end(),
                     [](const RegisteredFilter &a, const RegisteredFilter &b) { return a.merit > b.merit; });
    return result;
}

// ---- class factory over a template ------------------------------------------------
namespace {

std::atomic<long> g_factoryLocks{0};
std::atomic<long> g_factoriesAlive{0};

class TemplateFactory final : public IClassFactory {
public:
    explicit TemplateFactory(const CFactoryTemplate *t) : t_(t) { ++g_factoriesAlive; }
    ~TemplateFactory() { --g_factoriesAlive; }
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
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++ref_); }
    STDMETHODIMP_(ULONG) Release() override {
        long r = --ref_;
        if (r == 0) delete this;
        return static_cast<ULONG>(r);
    }
    STDMETHODIMP CreateInstance(IUnknown *outer, REFIID riid, void **ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer && riid != IID_IUnknown) return E_NOINTERFACE;
        if (!t_->m_lpfnNew) return E_UNEXPECTED;
        HRESULT hr = S_OK;
        CUnknown *obj = t_->m_lpfnNew(outer, &hr);
        return ComFinishCreate(obj, hr, riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) ++g_factoryLocks;
        else --g_factoryLocks;
        return S_OK;
    }
private:
    std::atomic<long> ref_{0};
    const CFactoryTemplate *t_;
};

}  // namespace

HRESULT MediaDllGetClassObject(const CFactoryTemplate *templates, int count, REFCLSID rClsID, REFIID riid, void **pv) {
    if (!pv) return E_POINTER;
    *pv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IClassFactory) return E_NOINTERFACE;
    for (int i = 0; templates && i < count; ++i) {
        if (templates[i].m_ClsID && *templates[i].m_ClsID == rClsID) {
            auto *f = new (std::nothrow) TemplateFactory(&templates[i]);
            if (!f) return E_OUTOFMEMORY;
            return f->QueryInterface(riid, pv);
        }
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT MediaDllCanUnloadNow() {
    return (g_factoryLocks == 0 && g_factoriesAlive == 0 && ComLiveObjectCount() == 0 && CClassFactory::LockCount() == 0)
               ? S_OK
               : S_FALSE;
}

HRESULT MediaDllRegisterServer(const CFactoryTemplate *templates, int count, const void *moduleAddress, BOOL bRegister) {
    if (!templates || count < 0) return E_POINTER;
    const std::string path = ComModulePathOfAddress(moduleAddress);
    if (bRegister && path.empty()) return E_FAIL;
    HRESULT result = S_OK;
    for (int i = 0; i < count; ++i) {
        const CFactoryTemplate &t = templates[i];
        if (!t.m_ClsID) continue;
        HRESULT hr;
        if (bRegister) {
            hr = ComRegisterModuleClass(*t.m_ClsID, path, WideToUtf8(t.m_Name ? t.m_Name : u""));
            if (SUCCEEDED(hr) && t.m_pAMovieSetup_Filter) hr = FilterMapperRegister(t.m_pAMovieSetup_Filter);
        } else {
            hr = ComUnregisterModuleClass(*t.m_ClsID);
            if (SUCCEEDED(hr) || hr == REGDB_E_CLASSNOTREG) hr = FilterMapperUnregister(*t.m_ClsID);
            if (hr == S_FALSE) hr = S_OK;
        }
        if (t.m_lpfnInit) t.m_lpfnInit(bRegister, t.m_ClsID);
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    return result;
}

HRESULT MediaRegisterBuiltinFilter(REFCLSID clsid, ComCreateFn create, const AMOVIESETUP_FILTER *setup, const char *name) {
    if (!create) return E_POINTER;
    ComRegisterBuiltinClass(clsid, create, name ? name : "");
    if (setup) return FilterMapperRegister(setup);
    return S_OK;
}

// Defined by the graph, the clock and the renderers.
void MediaRegisterGraphBuiltins();
void MediaRegisterRendererBuiltins();

void MediaRegisterBuiltins() {
    MediaRegisterGraphBuiltins();
    MediaRegisterRendererBuiltins();
    if (MediaFfmpegRegisterFilters) MediaFfmpegRegisterFilters();
    if (MediaFfmpegRegisterBuiltins) MediaFfmpegRegisterBuiltins();
}

namespace {
struct RegisterAtLoad {
    RegisterAtLoad() { MediaRegisterBuiltins(); }
} g_registerAtLoad;
}  // namespace
