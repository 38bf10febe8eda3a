// A tiny in-process server used by the registry tests.
#include "com/com.h"

// Interfaces cross module boundaries: never in an anonymous namespace, or the
// optimiser may assume no implementation exists.
struct IValue : IUnknown {
    STDMETHOD_(int, Value)() = 0;
};

namespace {
constexpr CLSID kClsid{0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
constexpr IID kIidValue{0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x56}};


class Thing : public CUnknown, public IValue {
public:
    explicit Thing(IUnknown *outer) : CUnknown("Thing", outer) {}
    DECLARE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void **ppv) override {
        if (riid == kIidValue) return GetInterface(static_cast<IValue *>(this), ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }
    int STDMETHODCALLTYPE Value() override { return 42; }
};

HRESULT CreateThing(IUnknown *outer, REFIID riid, void **ppv) {
    return ComFinishCreate(new Thing(outer), S_OK, riid, ppv);
}
}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void **ppv) {
    if (clsid != kClsid) return CLASS_E_CLASSNOTAVAILABLE;
    auto *f = new CClassFactory(CreateThing);
    f->AddRef();
    HRESULT hr = f->QueryInterface(riid, ppv);
    f->Release();
    return hr;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow() {
    return ComLiveObjectCount() == 0 && CClassFactory::LockCount() == 0 ? S_OK : S_FALSE;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer() {
    return ComRegisterModuleClass(kClsid, ComModulePathOfAddress(reinterpret_cast<const void *>(&DllRegisterServer)), "Thing");
}

extern "C" __attribute__((visibility("default"))) HRESULT DllUnregisterServer() {
    return ComUnregisterModuleClass(kClsid);
}
