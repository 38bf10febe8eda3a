// Media types, allocator, pins, transform base and mapper.
#include <gtest/gtest.h>

#include <thread>

#include "harness.h"

using namespace mediatest;

TEST(MediaType, BitmapSizesPadRowsAndCountPlanes) {
    struct Case {
        GUID subtype;
        int w, h;
        DWORD bytes;
    } cases[] = {
        {MEDIASUBTYPE_RGB32, 320, 240, 320 * 240 * 4},
        {MEDIASUBTYPE_RGB24, 3, 2, 12 * 2},        // 9 bytes a row padded to 12
        {MEDIASUBTYPE_RGB565, 3, 1, 8},
        {MEDIASUBTYPE_YV12, 5, 3, 15 + 2 * 3 * 2},  // chroma rounds up
        {MEDIASUBTYPE_YUY2, 3, 2, 8 * 2},
        {MEDIASUBTYPE_RGB32, 16, -4, 16 * 4 * 4},   // top-down counts the same
    };
    for (const auto &c : cases) {
        CMediaType mt = MakeVideoType(c.subtype, c.w, c.h);
        const BITMAPINFOHEADER *h = GetBitmapHeader(&mt);
        ASSERT_NE(h, nullptr) << SubtypeName(c.subtype);
        EXPECT_EQ(GetBitmapSize(h), c.bytes) << SubtypeName(c.subtype) << " " << c.w << "x" << c.h;
        EXPECT_EQ(mt.GetSampleSize(), c.bytes);
    }
}

TEST(MediaType, CopiesOwnTheirFormatAndShortBlocksHaveNoHeader) {
    CMediaType a = MakeVideoType(MEDIASUBTYPE_RGB24, 64, 48);
    CMediaType b = a;
    ASSERT_NE(a.pbFormat, b.pbFormat);
    EXPECT_TRUE(a == b);
    GetBitmapHeader(&b)->biWidth = 65;
    EXPECT_FALSE(a == b);
    EXPECT_EQ(GetBitmapHeader(&a)->biWidth, 64);

    CMediaType shortBlock = a;
    shortBlock.ReallocFormatBuffer(40);   // less than a VIDEOINFOHEADER
    EXPECT_EQ(GetBitmapHeader(&shortBlock), nullptr);

    AM_MEDIA_TYPE *heap = CreateMediaType(&a);
    ASSERT_NE(heap, nullptr);
    EXPECT_EQ(heap->cbFormat, sizeof(VIDEOINFOHEADER));
    DeleteMediaType(heap);

    CMediaType pcm = MakePcmType(2, 44100);
    const auto *wf = reinterpret_cast<const WAVEFORMATEX *>(pcm.pbFormat);
    EXPECT_EQ(wf->nBlockAlign, 4);
    EXPECT_EQ(wf->nAvgBytesPerSec, 176400u);
    CMediaType partial(&MEDIATYPE_Audio);
    EXPECT_TRUE(pcm.MatchesPartial(&partial));
    EXPECT_FALSE(a.MatchesPartial(&partial));
}

TEST(Allocator, PoolIsBoundedAndDecommitWakesWaiters) {
    ComPtr<IMemAllocator> alloc;
    ASSERT_EQ(CMemAllocator::Create(alloc.PutAddr()), S_OK);
    ALLOCATOR_PROPERTIES want{2, 100, 16, 0}, got{};
    ASSERT_EQ(alloc->SetProperties(&want, &got), S_OK);
    IMediaSample *s = nullptr;
    EXPECT_EQ(alloc->GetBuffer(&s, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
    ASSERT_EQ(alloc->Commit(), S_OK);
    EXPECT_EQ(alloc->SetProperties(&want, &got), VFW_E_ALREADY_COMMITTED);

    IMediaSample *a = nullptr, *b = nullptr, *c = nullptr;
    ASSERT_EQ(alloc->GetBuffer(&a, nullptr, nullptr, 0), S_OK);
    ASSERT_EQ(alloc->GetBuffer(&b, nullptr, nullptr, 0), S_OK);
    BYTE *p = nullptr;
    a->GetPointer(&p);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 16, 0u);
    EXPECT_EQ(a->GetSize(), 100);
    EXPECT_EQ(a->SetActualDataLength(101), VFW_E_BUFFER_OVERFLOW);
    EXPECT_EQ(alloc->GetBuffer(&c, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_TIMEOUT);

    // A release hands the buffer to a blocked taker.
    std::thread taker([&] { EXPECT_EQ(alloc->GetBuffer(&c, nullptr, nullptr, 0), S_OK); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    a->Release();
    taker.join();
    ASSERT_NE(c, nullptr);

    // Decommit fails a blocked taker instead of leaving it hanging.
    HRESULT blocked = S_OK;
    std::thread waiter([&] {
        IMediaSample *d = nullptr;
        blocked = alloc->GetBuffer(&d, nullptr, nullptr, 0);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    alloc->Decommit();
    waiter.join();
    EXPECT_EQ(blocked, VFW_E_NOT_COMMITTED);
    // Outstanding samples survive the decommit and the last reference.
    b->Release();
    alloc = nullptr;
    c->Release();
}

TEST(Sample, TimesAndFlags) {
    ComPtr<IMemAllocator> alloc;
    CMemAllocator::Create(alloc.PutAddr());
    ALLOCATOR_PROPERTIES want{1, 8, 1, 0}, got{};
    alloc->SetProperties(&want, &got);
    alloc->Commit();
    IMediaSample *s = nullptr;
    ASSERT_EQ(alloc->GetBuffer(&s, nullptr, nullptr, 0), S_OK);
    REFERENCE_TIME t0 = 0, t1 = 0;
    EXPECT_EQ(s->GetTime(&t0, &t1), VFW_E_SAMPLE_TIME_NOT_SET);
    REFERENCE_TIME a = 5, b = 9;
    s->SetTime(&a, nullptr);
    EXPECT_EQ(s->GetTime(&t0, &t1), VFW_S_NO_STOP_TIME);
    EXPECT_EQ(t0, 5);
    s->SetTime(&a, &b);
    EXPECT_EQ(s->GetTime(&t0, &t1), S_OK);
    EXPECT_EQ(t1, 9);
    s->SetSyncPoint(TRUE);
    s->SetDiscontinuity(TRUE);
    s->Release();
    // Reused: properties start clean.
    ASSERT_EQ(alloc->GetBuffer(&s, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(s->IsSyncPoint(), S_FALSE);
    EXPECT_EQ(s->IsDiscontinuity(), S_FALSE);
    EXPECT_EQ(s->GetTime(&t0, &t1), VFW_E_SAMPLE_TIME_NOT_SET);
    s->Release();
}

TEST(Pins, ConnectAgreesOnATypeTheInputAccepts) {
    FakeSource src;
    FakeOutputPin *out = src.AddPin({MakeVideoType(MEDIASUBTYPE_YV12, 8, 8), MakeVideoType(MEDIASUBTYPE_RGB32, 8, 8)});
    FakeSink sink(AcceptSubtype(MEDIASUBTYPE_RGB32));
    ASSERT_EQ(out->Connect(sink.Input(), nullptr), S_OK);
    CMediaType mt;
    ASSERT_EQ(sink.Input()->ConnectionMediaType(&mt), S_OK);
    EXPECT_EQ(mt.subtype, MEDIASUBTYPE_RGB32);
    EXPECT_EQ(out->Connect(sink.Input(), nullptr), VFW_E_ALREADY_CONNECTED);
    ComPtr<IPin> peer;
    ASSERT_EQ(sink.Input()->ConnectedTo(peer.PutAddr()), S_OK);
    EXPECT_EQ(peer.Get(), static_cast<IPin *>(out));

    // Connections change only while stopped.
    src.Filter()->Pause();
    EXPECT_EQ(out->Disconnect(), VFW_E_NOT_STOPPED);
    src.Filter()->Stop();
    EXPECT_EQ(out->Disconnect(), S_OK);
    EXPECT_EQ(sink.Input()->Disconnect(), S_OK);
    EXPECT_EQ(out->Disconnect(), S_FALSE);

    FakeSink refuses(AcceptSubtype(MEDIASUBTYPE_YUY2));
    HRESULT hr = out->Connect(refuses.Input(), nullptr);
    EXPECT_TRUE(FAILED(hr)) << MediaResultName(hr);
    EXPECT_FALSE(out->IsConnected());
    EXPECT_FALSE(refuses.Input()->IsConnected());
    // Same direction is refused.
    FakeSource other;
    FakeOutputPin *out2 = other.AddPin({MakeVideoType(MEDIASUBTYPE_RGB32, 8, 8)});
    EXPECT_EQ(out->Connect(out2, nullptr), VFW_E_INVALID_DIRECTION);
}

TEST(Pins, StreamingResultsFollowStateAndFlush) {
    FakeSource src;
    FakeOutputPin *out = src.AddPin({MakeVideoType(MEDIASUBTYPE_RGB32, 2, 2)});
    FakeSink sink;
    Chain chain({src.Filter(), sink.Filter()});
    ASSERT_TRUE(chain.connected);
    std::vector<BYTE> px(16, 7);
    ASSERT_EQ(chain.Run(), S_OK);
    EXPECT_EQ(out->Push(px, 0, 10), S_OK);
    sink.Input()->BeginFlush();
    EXPECT_EQ(out->Push(px, 10, 20), S_FALSE);   // flushing: dropped quietly
    sink.Input()->EndFlush();
    EXPECT_EQ(out->Push(px, 20, 30), S_OK);
    chain.Stop();
    EXPECT_EQ(sink.Input()->Receive(nullptr), E_POINTER);
    auto got = sink.Input()->Samples();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].start, 20);
    EXPECT_EQ(got[1].data, px);
}

// A 1:1 transform that inverts bytes and turns YUY2 into RGB32 labels.
class Inverter final : public CTransformFilter {
public:
    Inverter() : CTransformFilter("inverter", nullptr, GUID_NULL) {}
    HRESULT CheckInputType(const CMediaType *mt) override { return mt->subtype == MEDIASUBTYPE_YUY2 ? S_OK : S_FALSE; }
    HRESULT CheckTransform(const CMediaType *in, const CMediaType *out) override {
        return in->subtype == MEDIASUBTYPE_YUY2 && out->subtype == MEDIASUBTYPE_RGB32 ? S_OK : S_FALSE;
    }
    HRESULT DecideBufferSize(IMemAllocator *a, ALLOCATOR_PROPERTIES *) override {
        ALLOCATOR_PROPERTIES want{2, 4096, 1, 0}, got{};
        return a->SetProperties(&want, &got);
    }
    HRESULT GetMediaType(int i, CMediaType *mt) override {
        if (i > 0) return VFW_S_NO_MORE_ITEMS;
        *mt = MakeVideoType(MEDIASUBTYPE_RGB32, 2, 2);
        return S_OK;
    }
    HRESULT Transform(IMediaSample *in, IMediaSample *out) override {
        BYTE *s = nullptr, *d = nullptr;
        in->GetPointer(&s);
        out->GetPointer(&d);
        const long n = in->GetActualDataLength();
        if (n > 0 && s[0] == 0xEE) return E_FAIL;   // "a stream the decoder rejects"
        for (long i = 0; i < n; ++i) d[i] = static_cast<BYTE>(~s[i]);
        out->SetActualDataLength(n);
        return S_OK;
    }
    static ComPtr<IBaseFilter> Make() {
        ComPtr<IBaseFilter> f;
        (new Inverter)->NonDelegatingQueryInterface(IID_IBaseFilter, f.PutVoid());
        return f;
    }
};

TEST(Transform, CarriesSamplesTimesEndAndFlushBetweenFakePins) {
    FakeSource src;
    FakeOutputPin *out = src.AddPin({MakeVideoType(MEDIASUBTYPE_YUY2, 2, 2)});
    ComPtr<IBaseFilter> inv = Inverter::Make();
    FakeSink sink(AcceptSubtype(MEDIASUBTYPE_RGB32));
    Chain chain({src.Filter(), inv.Get(), sink.Filter()});
    ASSERT_TRUE(chain.connected);
    ASSERT_EQ(chain.Run(), S_OK);
    ASSERT_EQ(out->Push({1, 2, 3}, 100, 200, true), S_OK);
    out->DeliverBeginFlush();
    out->DeliverEndFlush();
    out->DeliverNewSegment(5000, MAX_TIME, 1.0);
    ASSERT_EQ(out->Push({0}, 0, 100, false), S_OK);
    out->PushEndOfStream();
    ASSERT_TRUE(sink.Input()->WaitForEndOfStream());
    auto got = sink.Input()->Samples();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].data, (std::vector<BYTE>{0xFE, 0xFD, 0xFC}));
    EXPECT_EQ(got[0].start, 100);
    EXPECT_EQ(got[0].end, 200);
    EXPECT_TRUE(got[0].sync);
    EXPECT_FALSE(got[1].sync);
    EXPECT_EQ(sink.Input()->Flushes(), 1);
    EXPECT_EQ(sink.Input()->Segments(), 1);
    auto events = chain.DrainEvents(1000);
    EXPECT_EQ(std::count(events.begin(), events.end(), EC_COMPLETE), 1);
}

TEST(Transform, AFailingSampleAbortsOnceAndTheStreamStillEnds) {
    FakeSource src;
    FakeOutputPin *out = src.AddPin({MakeVideoType(MEDIASUBTYPE_YUY2, 2, 2)});
    ComPtr<IBaseFilter> inv = Inverter::Make();
    FakeSink sink(AcceptSubtype(MEDIASUBTYPE_RGB32));
    Chain chain({src.Filter(), inv.Get(), sink.Filter()});
    ASSERT_EQ(chain.Run(), S_OK);
    EXPECT_TRUE(FAILED(out->Push({0xEE}, 0, 1)));
    EXPECT_EQ(out->Push({1}, 1, 2), VFW_E_RUNTIME_ERROR);   // refused after the error
    out->PushEndOfStream();
    auto events = chain.DrainEvents(1000);
    EXPECT_EQ(std::count(events.begin(), events.end(), EC_ERRORABORT), 1);
    EXPECT_EQ(std::count(events.begin(), events.end(), EC_COMPLETE), 1);
    EXPECT_TRUE(sink.Input()->Samples().empty());
}

TEST(Mapper, NeverOffersDoNotUseAndOrdersByMerit) {
    const GUID major = FourccGuid(MakeFourcc('t', 's', 't', 'm'));
    const GUID sub = FourccGuid(MakeFourcc('t', 's', 't', 's'));
    struct Case {
        GUID clsid;
        DWORD merit;
    } cases[] = {
        {FourccGuid(0x7E570001), MERIT_DO_NOT_USE},
        {FourccGuid(0x7E570002), MERIT_DO_NOT_USE - 1},
        {FourccGuid(0x7E570003), MERIT_UNLIKELY},
        {FourccGuid(0x7E570004), MERIT_PREFERRED},
        {FourccGuid(0x7E570005), MERIT_DO_NOT_USE + 1},
    };
    for (const auto &c : cases) {
        RegisteredFilter f;
        f.clsid = c.clsid;
        f.merit = c.merit;
        f.pins.push_back(RegisteredPin{u"In", false, false, {{major, sub}}});
        f.pins.push_back(RegisteredPin{u"Out", true, false, {{major, GUID_NULL}}});
        FilterMapperRegister(f);
    }
    // Other filters of the process may match too: look at ours only.
    auto ours = [&](std::vector<RegisteredFilter> all) {
        std::vector<DWORD> merits;
        for (const auto &f : all)
            for (const auto &c : cases)
                if (f.clsid == c.clsid) merits.push_back(f.merit);
        return merits;
    };
    EXPECT_EQ(ours(FilterMapperMatch({{major, sub}}, true, false, 0)),
              (std::vector<DWORD>{MERIT_PREFERRED, MERIT_UNLIKELY, MERIT_DO_NOT_USE + 1}));
    EXPECT_TRUE(ours(FilterMapperMatch({{major, sub}}, false, true)).empty());   // all have outputs
    EXPECT_TRUE(ours(FilterMapperMatch({{MEDIATYPE_Video, sub}}, false, false)).empty());
    EXPECT_EQ(ours(FilterMapperMatch({{major, GUID_NULL}}, false, false)).size(), 3u);   // any subtype
    for (const auto &c : cases) EXPECT_EQ(FilterMapperUnregister(c.clsid), S_OK);
    EXPECT_EQ(FilterMapperUnregister(cases[0].clsid), S_FALSE);
}

TEST(Mapper, BuiltinsAreRegisteredWithTheirNames) {
    RegisteredFilter f;
    ASSERT_TRUE(FilterMapperLookup(CLSID_VideoRenderer, &f));
    EXPECT_NE(WideToUtf8(f.name).find("Video Renderer"), std::string::npos);
    ASSERT_TRUE(FilterMapperLookup(CLSID_DSoundRender, &f));
    EXPECT_NE(WideToUtf8(f.name).find("DirectSound"), std::string::npos);
    ASSERT_TRUE(FilterMapperLookup(CLSID_NullRenderer, &f));
    EXPECT_EQ(WideToUtf8(f.name), "Null Renderer");
    EXPECT_LE(f.merit, MERIT_DO_NOT_USE);   // only ever added by hand
    for (const CLSID &c : {CLSID_FilterGraph, CLSID_NullRenderer, CLSID_VideoRenderer, CLSID_DSoundRender, CLSID_SystemClock}) {
        ComPtr<IUnknown> obj;
        EXPECT_EQ(CoCreateInstance(c, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, obj.PutVoid()), S_OK) << GuidToString(c);
    }
}

TEST(Sync, EventsAutoAndManualAndWaitForAny) {
    CAMEvent autoEv, other;
    CAMManualEvent manual;
    EXPECT_FALSE(autoEv.Wait(0));
    autoEv.Set();
    EXPECT_TRUE(autoEv.Wait(0));
    EXPECT_FALSE(autoEv.Wait(0));   // consumed
    manual.Set();
    EXPECT_TRUE(manual.Wait(0));
    EXPECT_TRUE(manual.Wait(0));    // stays set
    manual.Reset();
    EXPECT_FALSE(manual.IsSet());
    CAMEvent *both[] = {&autoEv, &other};
    EXPECT_EQ(CAMEvent::WaitForAny(both, 2, 10), WAIT_TIMEOUT);
    std::thread t([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        other.Set();
    });
    EXPECT_EQ(CAMEvent::WaitForAny(both, 2, 5000), WAIT_OBJECT_0 + 1);
    t.join();
}

namespace {
const CLSID kModuleFilter = FourccGuid(0x0DD1E001);
const REGPINTYPES kModuleIn[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB32}};
const AMOVIESETUP_PIN kModulePins[] = {{u"Video Input Pin", FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, u"Output", 1, kModuleIn}};
const AMOVIESETUP_FILTER kModuleSetup = {&kModuleFilter, u"Module Filter", MERIT_DO_NOT_USE, 1, kModulePins};
CUnknown *NewModuleFilter(LPUNKNOWN outer, HRESULT *phr) {
    (void)outer;
    (void)phr;
    return new Inverter;
}
const CFactoryTemplate kTemplates[] = {{u"Module Filter", &kModuleFilter, NewModuleFilter, nullptr, &kModuleSetup}};
}  // namespace

TEST(Registration, RegistersTheModuleAndItsFilterAndUndoesIt) {
    ASSERT_EQ(MediaDllRegisterServer(kTemplates, 1, reinterpret_cast<const void *>(&NewModuleFilter), TRUE), S_OK);
    EXPECT_EQ(ComModulePathOf(kModuleFilter), ComModulePathOfAddress(reinterpret_cast<const void *>(&NewModuleFilter)));
    RegisteredFilter f;
    ASSERT_TRUE(FilterMapperLookup(kModuleFilter, &f));
    EXPECT_EQ(f.merit, MERIT_DO_NOT_USE);
    ASSERT_EQ(f.pins.size(), 1u);
    EXPECT_EQ(f.pins[0].name, u"Video Input Pin");
    EXPECT_FALSE(f.pins[0].output);
    ASSERT_EQ(f.pins[0].types.size(), 1u);
    EXPECT_EQ(f.pins[0].types[0].minor, MEDIASUBTYPE_RGB32);
    // Automatic building never offers it.
    for (const auto &m : FilterMapperMatch({{MEDIATYPE_Video, MEDIASUBTYPE_RGB32}}, false, false)) EXPECT_NE(m.clsid, kModuleFilter);

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(MediaDllGetClassObject(kTemplates, 1, kModuleFilter, IID_IClassFactory, factory.PutVoid()), S_OK);
    EXPECT_EQ(MediaDllGetClassObject(kTemplates, 1, CLSID_NullRenderer, IID_IClassFactory, factory.PutVoid()),
              CLASS_E_CLASSNOTAVAILABLE);
    ASSERT_EQ(MediaDllGetClassObject(kTemplates, 1, kModuleFilter, IID_IClassFactory, factory.PutVoid()), S_OK);
    ComPtr<IBaseFilter> made;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, made.PutVoid()), S_OK);
    EXPECT_EQ(MediaDllCanUnloadNow(), S_FALSE);   // objects alive
    made = nullptr;
    factory = nullptr;

    ASSERT_EQ(MediaDllRegisterServer(kTemplates, 1, reinterpret_cast<const void *>(&NewModuleFilter), FALSE), S_OK);
    EXPECT_FALSE(FilterMapperLookup(kModuleFilter, nullptr));
    EXPECT_EQ(ComModulePathOf(kModuleFilter), "");
}
