#include <dlfcn.h>
#include <gtest/gtest.h>

#include <thread>

#include "com/com.h"

// Interfaces cross module boundaries: never in an anonymous namespace, or the
// optimiser may assume no implementation exists.
struct IValue : IUnknown {
    STDMETHOD_(int, Value)() = 0;
};

namespace {
constexpr CLSID kClsid{0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
constexpr IID kIidValue{0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x56}};
}  // namespace

TEST(Guid, FormatsAndParses) {
    const GUID g{0x5A275E05, 0x69D9, 0x11DA, {0xAD, 0x38, 0x00, 0x03, 0xFF, 0x5A, 0xE3, 0xB0}};
    EXPECT_EQ(GuidToString(g), "{5A275E05-69D9-11DA-AD38-0003FF5AE3B0}");
    struct Case { const char *text; bool ok; };
    for (Case c : {Case{"{5A275E05-69D9-11DA-AD38-0003FF5AE3B0}", true}, Case{"5a275e05-69d9-11da-ad38-0003ff5ae3b0", true},
                   Case{"{5A275E05-69D9-11DA-AD38-0003FF5AE3B}", false}, Case{"{5A275E05-69D9-11DA-AD38-0003FF5AE3BG}", false},
                   Case{"", false}, Case{"(5A275E05-69D9-11DA-AD38-0003FF5AE3B0)", false}}) {
        GUID out{};
        EXPECT_EQ(GuidFromString(c.text, &out), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(out, g) << c.text;
        }
    }
    EXPECT_NE(g, GUID_NULL);
}

TEST(CoInit, CountsPerThread) {
    int base = CoInitializeCount();
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), base == 0 ? S_OK : S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    std::thread([] {
        EXPECT_EQ(CoInitializeCount(), 0);
        EXPECT_EQ(CoInitializeEx(nullptr, 0), S_OK);
        CoUninitialize();
    }).join();
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(CoInitializeCount(), base);
    CoUninitialize();  // one too many is harmless
    EXPECT_GE(CoInitializeCount(), 0);
}

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        handle = dlopen(TEST_MODULE_PATH, RTLD_NOW);
        ASSERT_NE(handle, nullptr) << dlerror();
        auto reg = reinterpret_cast<DllRegisterServerFn>(dlsym(handle, "DllRegisterServer"));
        ASSERT_NE(reg, nullptr);
        ASSERT_EQ(reg(), S_OK);
    }
    void TearDown() override {
        ComUnregisterModuleClass(kClsid);
        if (handle) dlclose(handle);
    }
    void *handle = nullptr;
};

TEST_F(Registry, CreatesFromRegisteredModule) {
    EXPECT_TRUE(ComIsClassRegistered(kClsid));
    EXPECT_NE(ComModulePathOf(kClsid).find("com_test_module.so"), std::string::npos);
    ComPtr<IValue> v;
    ASSERT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, kIidValue, v.PutVoid()), S_OK);
    EXPECT_EQ(v->Value(), 42);
    ComPtr<IUnknown> unk;
    EXPECT_EQ(v->QueryInterface(IID_IUnknown, unk.PutVoid()), S_OK);
    ComPtr<IUnknown> none;
    EXPECT_EQ(v->QueryInterface(IID_IClassFactory, none.PutVoid()), E_NOINTERFACE);
    EXPECT_FALSE(none);
}

TEST_F(Registry, UnknownClassAndAggregationRules) {
    const CLSID other{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    void *p = reinterpret_cast<void *>(1);
    EXPECT_EQ(CoCreateInstance(other, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &p), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(p, nullptr);
    // Aggregation is only allowed when IUnknown is asked for.
    struct Outer : IUnknown {
        STDMETHODIMP QueryInterface(REFIID, void **) override { return E_NOINTERFACE; }
        STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
        STDMETHODIMP_(ULONG) Release() override { return --refs; }
        ULONG refs = 1;
    } outer;
    EXPECT_EQ(CoCreateInstance(kClsid, &outer, CLSCTX_INPROC_SERVER, kIidValue, &p), CLASS_E_NOAGGREGATION);
    // Aggregated: the inner's non-delegating unknown comes back; its
    // interfaces delegate AddRef/Release to the outer object.
    IUnknown *inner = nullptr;
    ASSERT_EQ(CoCreateInstance(kClsid, &outer, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void **>(&inner)), S_OK);
    IValue *value = nullptr;
    ASSERT_EQ(inner->QueryInterface(kIidValue, reinterpret_cast<void **>(&value)), S_OK);
    EXPECT_EQ(outer.refs, 2u);
    EXPECT_EQ(value->Value(), 42);
    value->Release();
    EXPECT_EQ(outer.refs, 1u);
    long live = ComLiveObjectCount();
    inner->Release();
    EXPECT_EQ(ComLiveObjectCount(), live - 1);
}

TEST(Builtin, WinsOverModuleAndFinishCreateFreesOnFailure) {
    const CLSID id{9, 9, 9, {9, 9, 9, 9, 9, 9, 9, 9}};
    static int created = 0;
    struct Obj : CUnknown {
        Obj() : CUnknown("Obj", nullptr) { ++created; }
        ~Obj() override { --created; }
    };
    ComRegisterBuiltinClass(id, [](IUnknown *, REFIID riid, void **ppv) -> HRESULT {
        return ComFinishCreate(new Obj, S_OK, riid, ppv);
    }, "Obj");
    ComPtr<IUnknown> u;
    ASSERT_EQ(CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, u.PutVoid()), S_OK);
    EXPECT_EQ(created, 1);
    u.Reset();
    EXPECT_EQ(created, 0);
    void *p = nullptr;
    EXPECT_EQ(CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, IID_IPersist, &p), E_NOINTERFACE);
    EXPECT_EQ(created, 0);
    ComRegisterBuiltinClass(id, nullptr, "");
    EXPECT_FALSE(ComIsClassRegistered(id));
}

TEST(RunningObjectTable, RegistersAndRevokesWithReference) {
    struct Obj : CUnknown {
        Obj() : CUnknown("RotObj", nullptr) {}
    };
    ComPtr<IUnknown> obj;
    ASSERT_EQ(ComFinishCreate(new Obj, S_OK, IID_IUnknown, obj.PutVoid()), S_OK);
    IRunningObjectTable *rot = nullptr;
    ASSERT_EQ(GetRunningObjectTable(0, &rot), S_OK);
    ComPtr<IMoniker> m;
    ASSERT_EQ(CreateItemMoniker(u"!", u"FilterGraph 0000abcd pid 00000042", m.PutAddr()), S_OK);
    LPWSTR name = nullptr;
    ASSERT_EQ(m->GetDisplayName(nullptr, nullptr, &name), S_OK);
    EXPECT_EQ(WideToUtf8(name), "!FilterGraph 0000abcd pid 00000042");
    CoTaskMemFree(name);
    int before = RunningObjectTableCount();
    DWORD cookie = 0;
    ASSERT_EQ(rot->Register(0, obj.Get(), m.Get(), &cookie), S_OK);
    EXPECT_NE(cookie, 0u);
    EXPECT_EQ(RunningObjectTableCount(), before + 1);
    EXPECT_EQ(rot->IsRunning(m.Get()), S_OK);
    ComPtr<IUnknown> found;
    EXPECT_EQ(rot->GetObject(m.Get(), found.PutAddr()), S_OK);
    EXPECT_EQ(found.Get(), obj.Get());
    found.Reset();
    EXPECT_EQ(rot->Revoke(cookie), S_OK);
    EXPECT_EQ(rot->Revoke(cookie), E_INVALIDARG);
    EXPECT_EQ(RunningObjectTableCount(), before);
    rot->Release();
}

TEST(Wide, RoundTripsUtf8) {
    const std::string s = "Clip \xC3\xA9t\xC3\xA9 \xF0\x9F\x8E\xAC";
    EXPECT_EQ(WideToUtf8(Utf8ToWide(s)), s);
    EXPECT_EQ(Utf8ToWide("\xC3").size(), 1u);  // truncated sequence becomes one replacement
}
