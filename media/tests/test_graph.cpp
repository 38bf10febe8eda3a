// The Filter Graph Manager with fake filters and the stock renderers.
#include <gtest/gtest.h>

#include <dirent.h>
#include <thread>

#include "harness.h"

using namespace mediatest;

namespace {

ComPtr<IGraphBuilder> NewGraph() {
    ComPtr<IGraphBuilder> g;
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, g.PutVoid()), S_OK);
    return g;
}

ComPtr<IBaseFilter> NewFilter(REFCLSID clsid) {
    ComPtr<IBaseFilter> f;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, f.PutVoid()), S_OK);
    return f;
}

std::vector<std::u16string> FilterNames(IGraphBuilder *g) {
    std::vector<std::u16string> names;
    ComPtr<IEnumFilters> e;
    g->EnumFilters(e.PutAddr());
    IBaseFilter *f = nullptr;
    ULONG n = 0;
    while (e->Next(1, &f, &n) == S_OK && n == 1) {
        FILTER_INFO info{};
        f->QueryFilterInfo(&info);
        if (info.pGraph) info.pGraph->Release();
        names.push_back(info.achName);
        f->Release();
    }
    return names;
}

int ThreadCount() {
    int n = 0;
    if (DIR *d = opendir("/proc/self/task")) {
        while (dirent *e = readdir(d))
            if (e->d_name[0] != '.') ++n;
        closedir(d);
    }
    return n;
}

long CountEvents(const std::vector<long> &codes, long code) { return std::count(codes.begin(), codes.end(), code); }

const HWND kNotifyWindow = reinterpret_cast<HWND>(0x4140);
constexpr long kNotifyMessage = WM_USER + 20;

}  // namespace

TEST(Graph, AddFindEnumAndRemoveFilters) {
    auto g = NewGraph();
    FakeSource a, b;
    FakeSink sink;
    EXPECT_EQ(g->AddFilter(a.Filter(), u"Source"), S_OK);
    EXPECT_EQ(g->AddFilter(b.Filter(), u"Source"), VFW_S_DUPLICATE_NAME);   // renamed
    EXPECT_EQ(g->AddFilter(a.Filter(), u"Again"), VFW_E_DUPLICATE_NAME);   // already in
    EXPECT_EQ(g->AddFilter(sink.Filter(), nullptr), S_OK);
    EXPECT_EQ(g->AddFilter(nullptr, u"x"), E_POINTER);
    auto names = FilterNames(g.Get());
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0], u"Source");
    EXPECT_EQ(names[1], u"Source 0001");

    ComPtr<IBaseFilter> found;
    ASSERT_EQ(g->FindFilterByName(u"Source 0001", found.PutAddr()), S_OK);
    EXPECT_EQ(found.Get(), b.Filter());
    EXPECT_EQ(g->FindFilterByName(u"nobody", found.PutAddr()), VFW_E_NOT_FOUND);
    FILTER_INFO info{};
    b.Filter()->QueryFilterInfo(&info);
    EXPECT_NE(info.pGraph, nullptr);
    if (info.pGraph) info.pGraph->Release();

    // Removing while enumerating puts the enumerator out of sync until Reset.
    ComPtr<IEnumFilters> e;
    g->EnumFilters(e.PutAddr());
    IBaseFilter *first = nullptr;
    ULONG n = 0;
    ASSERT_EQ(e->Next(1, &first, &n), S_OK);
    EXPECT_EQ(g->RemoveFilter(first), S_OK);
    first->Release();
    IBaseFilter *next = nullptr;
    EXPECT_EQ(e->Next(1, &next, &n), VFW_E_ENUM_OUT_OF_SYNC);
    e->Reset();
    ASSERT_EQ(e->Next(1, &next, &n), S_OK);
    next->Release();
    EXPECT_EQ(g->RemoveFilter(a.Filter()), VFW_E_NOT_FOUND);
    EXPECT_EQ(FilterNames(g.Get()).size(), 2u);
    a.Filter()->QueryFilterInfo(&info);
    EXPECT_EQ(info.pGraph, nullptr);
}

TEST(Graph, RemoveFilterDisconnectsBothSides) {
    FakeSource src;
    FakeOutputPin *out = src.AddPin({MakeVideoType(MEDIASUBTYPE_RGB32, 4, 4)});
    FakeSink sink;
    Chain chain({src.Filter(), sink.Filter()});
    ASSERT_TRUE(chain.connected);
    ASSERT_EQ(chain.Pause(), S_OK);
    // Removing from a paused graph stops it first.
    EXPECT_EQ(chain.graph->RemoveFilter(sink.Filter()), S_OK);
    EXPECT_FALSE(out->IsConnected());
    EXPECT_FALSE(sink.Input()->IsConnected());
    OAFilterState s;
    chain.control->GetState(0, &s);
    EXPECT_EQ(s, State_Stopped);
}

TEST(Graph, StateChangesGoDownstreamFirstAndRunPassesThroughPause) {
    CallLog log;
    FakeSource src(GUID_NULL, &log);
    src.AddPin({MakeVideoType(MEDIASUBTYPE_RGB32, 4, 4)});
    FakeSink sink(AcceptAll(), GUID_NULL, &log);
    // Added source first so list order alone would be wrong.
    Chain chain({src.Filter(), sink.Filter()});
    ASSERT_TRUE(chain.connected);
    ASSERT_EQ(chain.Run(), S_OK);
    EXPECT_EQ(chain.Run(), S_OK);   // already running: nothing again
    ASSERT_EQ(chain.Stop(), S_OK);
    EXPECT_EQ(log.Calls(), (std::vector<std::string>{"sink:pause", "source:pause", "sink:run", "source:run", "sink:stop",
                                                      "source:stop"}));
    OAFilterState s = -1;
    EXPECT_EQ(chain.control->GetState(10, &s), S_OK);
    EXPECT_EQ(s, State_Stopped);
}

TEST(Graph, PauseIsIntermediateUntilTheRendererHoldsAPicture) {
    FakeSource src;
    FakeOutputPin *out = src.AddPin({MakeVideoType(MEDIASUBTYPE_RGB32, 4, 2)});
    ComPtr<IBaseFilter> vr = NewFilter(CLSID_VideoRenderer);
    Chain chain({src.Filter(), vr.Get()});
    ASSERT_TRUE(chain.connected);
    EXPECT_EQ(chain.Pause(), S_FALSE);
    OAFilterState s = -1;
    EXPECT_EQ(chain.control->GetState(10, &s), VFW_S_STATE_INTERMEDIATE);
    EXPECT_EQ(s, State_Paused);
    ComPtr<IBasicVideo> bv;
    chain.graph.As(IID_IBasicVideo, &bv);
    long size = 0;
    EXPECT_TRUE(FAILED(bv->GetCurrentImage(&size, nullptr)));   // nothing shown yet

    // Top-down rows 0..1: the DIB comes back bottom-up, at native size.
    std::vector<BYTE> px(4 * 2 * 4);
    for (int i = 0; i < 8; ++i) px[static_cast<std::size_t>(i) * 4] = static_cast<BYTE>(i < 4 ? 10 : 20);
    CMediaType topDown = MakeVideoType(MEDIASUBTYPE_RGB32, 4, -2);
    // Reconnect with a top-down type.
    chain.Stop();
    chain.graph->Disconnect(out);
    chain.graph->Disconnect(FirstPin(vr.Get(), PINDIR_INPUT).Get());
    ASSERT_EQ(chain.graph->ConnectDirect(out, FirstPin(vr.Get(), PINDIR_INPUT).Get(), &topDown), S_OK);
    EXPECT_EQ(chain.Pause(), S_FALSE);
    std::thread pusher([&] { out->Push(px, 0, 400000); });   // a paused renderer holds the thread
    EXPECT_EQ(chain.control->GetState(5000, &s), S_OK);
    ASSERT_EQ(bv->GetCurrentImage(&size, nullptr), S_OK);
    ASSERT_EQ(size, 40 + 32);
    std::vector<long> dib((static_cast<std::size_t>(size) + 3) / 4);
    ASSERT_EQ(bv->GetCurrentImage(&size, dib.data()), S_OK);
    const auto *bytes = reinterpret_cast<const BYTE *>(dib.data());
    BITMAPINFOHEADER h;
    std::memcpy(&h, bytes, sizeof h);
    EXPECT_EQ(h.biWidth, 4);
    EXPECT_EQ(h.biHeight, 2);
    EXPECT_EQ(h.biBitCount, 32);
    EXPECT_EQ(bytes[40], 20);        // first stored row is the bottom one
    EXPECT_EQ(bytes[40 + 16], 10);
    long w = 0, hh = 0;
    EXPECT_EQ(bv->GetVideoSize(&w, &hh), S_OK);
    EXPECT_EQ(w, 4);
    EXPECT_EQ(hh, 2);
    chain.Stop();   // releases the held thread
    pusher.join();
}

TEST(Graph, VideoWindowGoesToTheRendererAndFailsWithoutOne) {
    auto g = NewGraph();
    ComPtr<IVideoWindow> vw;
    ASSERT_EQ(g.As(IID_IVideoWindow, &vw), S_OK);
    EXPECT_EQ(vw->put_Visible(OATRUE), E_NOINTERFACE);
    ComPtr<IBasicVideo> bv;
    g.As(IID_IBasicVideo, &bv);
    long w, h;
    EXPECT_EQ(bv->GetVideoSize(&w, &h), E_NOINTERFACE);

    ComPtr<IBaseFilter> vr = NewFilter(CLSID_VideoRenderer);
    g->AddFilter(vr.Get(), u"Video Renderer");
    EXPECT_EQ(vw->put_Owner(ToOAHWND(kNotifyWindow)), S_OK);
    EXPECT_EQ(vw->put_WindowStyle(static_cast<long>(WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN)), S_OK);
    EXPECT_EQ(vw->SetWindowPosition(1, 2, 30, 40), S_OK);
    EXPECT_EQ(vw->put_Visible(OATRUE), S_OK);
    EXPECT_EQ(vw->put_MessageDrain(ToOAHWND(kNotifyWindow)), S_OK);
    long l, t, vis;
    OAHWND owner;
    EXPECT_EQ(vw->GetWindowPosition(&l, &t, &w, &h), S_OK);
    EXPECT_EQ((std::vector<long>{l, t, w, h}), (std::vector<long>{1, 2, 30, 40}));
    vw->get_Visible(&vis);
    EXPECT_EQ(vis, OATRUE);
    vw->get_Owner(&owner);
    EXPECT_EQ(FromOAHWND(owner), kNotifyWindow);
    EXPECT_EQ(vw->NotifyOwnerMessage(ToOAHWND(kNotifyWindow), 3, 0, 0), S_OK);
    EXPECT_EQ(bv->GetVideoSize(&w, &h), VFW_E_NOT_CONNECTED);
}

TEST(Graph, CompleteIsQueuedOnceWhenEveryRendererHasEnded) {
    FakeSource src;
    FakeOutputPin *video = src.AddPin({MakeVideoType(MEDIASUBTYPE_RGB32, 2, 2)}, u"Video");
    FakeOutputPin *audio = src.AddPin({MakePcmType(2, 44100)}, u"Audio");
    auto g = NewGraph();
    ComPtr<IBaseFilter> r1 = NewFilter(CLSID_NullRenderer), r2 = NewFilter(CLSID_NullRenderer);
    g->AddFilter(src.Filter(), u"src");
    g->AddFilter(r1.Get(), u"r1");
    g->AddFilter(r2.Get(), u"r2");
    ASSERT_EQ(g->ConnectDirect(video, FirstPin(r1.Get(), PINDIR_INPUT).Get(), nullptr), S_OK);
    ASSERT_EQ(g->ConnectDirect(audio, FirstPin(r2.Get(), PINDIR_INPUT).Get(), nullptr), S_OK);
    ComPtr<IMediaFilter> mf;
    g.As(IID_IMediaFilter, &mf);
    mf->SetSyncSource(nullptr);
    ComPtr<IMediaControl> mc;
    ComPtr<IMediaEventEx> me;
    g.As(IID_IMediaControl, &mc);
    g.As(IID_IMediaEventEx, &me);
    me->SetNotifyWindow(ToOAHWND(kNotifyWindow), kNotifyMessage, 0);
    platform::TakeHeadlessPostedMessages();

    ASSERT_EQ(mc->Run(), S_OK);
    ASSERT_EQ(video->Push({1}, 0, 10), S_OK);
    video->PushEndOfStream();
    long code;
    LONG_PTR p1, p2;
    EXPECT_EQ(me->GetEvent(&code, &p1, &p2, 50), E_ABORT);   // one stream still going
    EXPECT_TRUE(platform::TakeHeadlessPostedMessages().empty());
    audio->PushEndOfStream();
    ASSERT_EQ(me->GetEvent(&code, &p1, &p2, 2000), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    me->FreeEventParams(code, p1, p2);
    EXPECT_EQ(me->GetEvent(&code, &p1, &p2, 50), E_ABORT);   // exactly once

    auto posted = platform::TakeHeadlessPostedMessages();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].window, kNotifyWindow);
    EXPECT_EQ(posted[0].message, static_cast<UINT>(kNotifyMessage));
    EXPECT_EQ(posted[0].wparam, static_cast<WPARAM>(EC_COMPLETE));
    EXPECT_EQ(posted[0].lparam, 0);

    // A null window stops the posting; events are still queued.
    me->SetNotifyWindow(0, 0, 0);
    ComPtr<IMediaEventSink> sink;
    g.As(IID_IMediaEventSink, &sink);
    sink->Notify(EC_USERABORT, 0, 0);
    EXPECT_TRUE(platform::TakeHeadlessPostedMessages().empty());
    EXPECT_EQ(me->GetEvent(&code, &p1, &p2, 0), S_OK);
    EXPECT_EQ(code, EC_USERABORT);
    mc->Stop();
}

TEST(Graph, AnEndWhilePausedIsReportedAtRun) {
    FakeSource src;
    FakeOutputPin *out = src.AddPin({MakeVideoType(MEDIASUBTYPE_RGB32, 2, 2)});
    ComPtr<IBaseFilter> r = NewFilter(CLSID_NullRenderer);
    Chain chain({src.Filter(), r.Get()});
    ASSERT_TRUE(chain.connected);
    chain.Pause();
    out->PushEndOfStream();
    EXPECT_TRUE(chain.DrainEvents(50).empty());
    OAFilterState s;
    EXPECT_EQ(chain.control->GetState(100, &s), S_OK);   // an ended stream completes the pause
    ASSERT_EQ(chain.Run(), S_OK);
    auto events = chain.DrainEvents(2000);
    EXPECT_EQ(CountEvents(events, EC_COMPLETE), 1);
    // Stop and run again: a fresh run can complete again.
    chain.Stop();
    chain.Run();
    out->PushEndOfStream();
    EXPECT_EQ(CountEvents(chain.DrainEvents(2000), EC_COMPLETE), 1);
}

TEST(Graph, WaitForCompletionReturnsTheEndEvent) {
    FakeSource src;
    FakeOutputPin *out = src.AddPin({MakeVideoType(MEDIASUBTYPE_RGB32, 2, 2)});
    out->AutoStream(50, 400000);
    ComPtr<IBaseFilter> r = NewFilter(CLSID_NullRenderer);
    Chain chain({src.Filter(), r.Get()});
    long code = 0;
    EXPECT_EQ(chain.events->WaitForCompletion(0, &code), VFW_E_WRONG_STATE);
    ASSERT_EQ(chain.Run(), S_OK);
    // No clock: 20 s of samples play as fast as they can.
    EXPECT_EQ(chain.events->WaitForCompletion(10000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    chain.Stop();
}

TEST(Graph, WithAClockSamplesArePacedToTheirTimes) {
    FakeSource src;
    FakeOutputPin *out = src.AddPin({MakeVideoType(MEDIASUBTYPE_RGB32, 2, 2)});
    out->AutoStream(5, 400000);   // 5 x 40 ms
    ComPtr<IBaseFilter> r = NewFilter(CLSID_NullRenderer);
    Chain chain({src.Filter(), r.Get()}, /*clock=*/true);
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(chain.Run(), S_OK);
    long code = 0;
    ASSERT_EQ(chain.events->WaitForCompletion(10000, &code), S_OK);
    auto elapsed = std::chrono::steady_clock::now() - t0;
    // The last sample starts at 160 ms of stream time.
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 150);
    ComPtr<IReferenceClock> clock;
    ComPtr<IMediaFilter> mf;
    chain.graph.As(IID_IMediaFilter, &mf);
    mf->GetSyncSource(clock.PutAddr());
    EXPECT_TRUE(clock);   // a default clock was chosen at the first pause
    chain.Stop();
}

TEST(Graph, SeekingReachesTheSourceOncePerSourceThroughTheRenderers) {
    FakeSource src;
    FakeOutputPin *video = src.AddPin({MakeVideoType(MEDIASUBTYPE_RGB32, 2, 2)}, u"Video");
    FakeOutputPin *audio = src.AddPin({MakePcmType(2, 44100)}, u"Audio");
    video->SetSeekable(true, 90 * UNITS);
    audio->SetSeekable(true, 90 * UNITS);
    FakeSink v, a;
    auto g = NewGraph();
    g->AddFilter(src.Filter(), u"src");
    g->AddFilter(v.Filter(), u"v");
    g->AddFilter(a.Filter(), u"a");
    ASSERT_EQ(g->ConnectDirect(video, v.Input(), nullptr), S_OK);
    ASSERT_EQ(g->ConnectDirect(audio, a.Input(), nullptr), S_OK);
    ComPtr<IMediaSeeking> ms;
    ASSERT_EQ(g.As(IID_IMediaSeeking, &ms), S_OK);
    EXPECT_EQ(ms->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME), S_OK);
    EXPECT_EQ(ms->SetTimeFormat(&TIME_FORMAT_FRAME), E_INVALIDARG);
    LONGLONG d = 0;
    ASSERT_EQ(ms->GetDuration(&d), S_OK);
    EXPECT_EQ(d, 90 * UNITS);
    LONGLONG pos = 125000000, stop = 300000000;
    ASSERT_EQ(ms->SetPositions(&pos, AM_SEEKING_AbsolutePositioning | AM_SEEKING_SeekToKeyFrame, &stop,
                               AM_SEEKING_AbsolutePositioning | AM_SEEKING_SeekToKeyFrame), S_OK);
    EXPECT_EQ(video->SeekCalls() + audio->SeekCalls(), 1);
    EXPECT_EQ(video->SeekCalls() ? video->LastSeekPosition() : audio->LastSeekPosition(), 125000000);
    EXPECT_TRUE((video->SeekCalls() ? video->LastSeekFlags() : audio->LastSeekFlags()) & AM_SEEKING_SeekToKeyFrame);
    LONGLONG cur = 0;
    EXPECT_EQ(ms->GetCurrentPosition(&cur), S_OK);
    EXPECT_EQ(cur, 125000000);
    // The seconds view says the same.
    ComPtr<IMediaPosition> mp;
    ASSERT_EQ(g.As(IID_IMediaPosition, &mp), S_OK);
    REFTIME secs = 0;
    EXPECT_EQ(mp->get_Duration(&secs), S_OK);
    EXPECT_DOUBLE_EQ(secs, 90.0);
    EXPECT_EQ(mp->put_CurrentPosition(-0.5), S_OK);
    EXPECT_EQ(video->SeekCalls() ? video->LastSeekPosition() : audio->LastSeekPosition(), -5000000);

    // A graph without renderers has nothing to seek.
    auto empty = NewGraph();
    ComPtr<IMediaSeeking> none;
    empty.As(IID_IMediaSeeking, &none);
    EXPECT_TRUE(FAILED(none->GetDuration(&d)));
}

TEST(Graph, ASeekWhileRunningFlushesAndPlaysToTheEndAgain) {
    FakeSource src;
    FakeOutputPin *out = src.AddPin({MakeVideoType(MEDIASUBTYPE_RGB32, 2, 2)});
    out->SetSeekable(true, 10 * UNITS);
    out->AutoStream(40, 250000);
    FakeSink sink;
    Chain chain({src.Filter(), sink.Filter()});
    ASSERT_EQ(chain.Run(), S_OK);
    ASSERT_TRUE(sink.Input()->WaitForEndOfStream());
    EXPECT_EQ(CountEvents(chain.DrainEvents(2000), EC_COMPLETE), 1);
    ComPtr<IMediaSeeking> ms;
    chain.graph.As(IID_IMediaSeeking, &ms);
    LONGLONG pos = 2 * UNITS;
    ASSERT_EQ(ms->SetPositions(&pos, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
    EXPECT_EQ(sink.Input()->Flushes(), 1);
    EXPECT_EQ(CountEvents(chain.DrainEvents(3000), EC_COMPLETE), 1);   // the new segment ends too
    OAFilterState s;
    chain.control->GetState(0, &s);
    EXPECT_EQ(s, State_Running);
    chain.Stop();
}

// A converter from a private subtype to RGB32, registered in the mapper.
const GUID kOddSubtype = FourccGuid(MakeFourcc('O', 'D', 'D', '1'));
const CLSID kGoodConverter = FourccGuid(0x0C0DE001);
const CLSID kBannedConverter = FourccGuid(0x0C0DE002);

class OddToRgb final : public CTransformFilter {
public:
    explicit OddToRgb(REFCLSID clsid) : CTransformFilter("odd to rgb", nullptr, clsid) {}
    HRESULT CheckInputType(const CMediaType *mt) override { return mt->subtype == kOddSubtype ? S_OK : S_FALSE; }
    HRESULT CheckTransform(const CMediaType *, const CMediaType *out) override {
        return out->subtype == MEDIASUBTYPE_RGB32 ? S_OK : S_FALSE;
    }
    HRESULT DecideBufferSize(IMemAllocator *a, ALLOCATOR_PROPERTIES *) override {
        ALLOCATOR_PROPERTIES want{2, 64, 1, 0}, got{};
        return a->SetProperties(&want, &got);
    }
    HRESULT GetMediaType(int i, CMediaType *mt) override {
        if (i > 0) return VFW_S_NO_MORE_ITEMS;
        *mt = MakeVideoType(MEDIASUBTYPE_RGB32, 2, 2);
        return S_OK;
    }
    HRESULT Transform(IMediaSample *, IMediaSample *out) override {
        out->SetActualDataLength(16);
        return S_OK;
    }
    static CUnknown *Good(LPUNKNOWN, HRESULT *) { return new OddToRgb(kGoodConverter); }
    static CUnknown *Banned(LPUNKNOWN, HRESULT *) { return new OddToRgb(kBannedConverter); }
};

class ConverterRegistration {
public:
    ConverterRegistration() {
        static const REGPINTYPES in[] = {{&MEDIATYPE_Video, &kOddSubtype}};
        static const REGPINTYPES out[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB32}};
        static const AMOVIESETUP_PIN pins[] = {{u"In", FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, in},
                                               {u"Out", FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, out}};
        static const AMOVIESETUP_FILTER banned = {&kBannedConverter, u"Banned converter", MERIT_DO_NOT_USE, 2, pins};
        static const AMOVIESETUP_FILTER good = {&kGoodConverter, u"Good converter", MERIT_NORMAL, 2, pins};
        MediaRegisterBuiltinFilter(kBannedConverter, &MediaCreateVia<&OddToRgb::Banned>, &banned, "banned");
        MediaRegisterBuiltinFilter(kGoodConverter, &MediaCreateVia<&OddToRgb::Good>, &good, "good");
    }
    ~ConverterRegistration() {
        FilterMapperUnregister(kGoodConverter);
        FilterMapperUnregister(kBannedConverter);
    }
};

TEST(Graph, ConnectInsertsARegisteredConverterButNeverADoNotUseOne) {
    ConverterRegistration reg;
    FakeSource src;
    FakeOutputPin *out = src.AddPin({MakeVideoType(kOddSubtype, 2, 2)});
    FakeSink sink(AcceptSubtype(MEDIASUBTYPE_RGB32));
    auto g = NewGraph();
    g->AddFilter(src.Filter(), u"src");
    g->AddFilter(sink.Filter(), u"sink");
    EXPECT_TRUE(FAILED(g->ConnectDirect(out, sink.Input(), nullptr)));
    ASSERT_EQ(g->Connect(out, sink.Input()), S_OK);
    auto names = FilterNames(g.Get());
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[2], u"Good converter");

    // Without the good one, only the banned one could help: nothing is inserted.
    auto g2 = NewGraph();
    FakeSource src2;
    FakeOutputPin *out2 = src2.AddPin({MakeVideoType(kOddSubtype, 2, 2)});
    FakeSink sink2(AcceptSubtype(MEDIASUBTYPE_RGB32));
    g2->AddFilter(src2.Filter(), u"src");
    g2->AddFilter(sink2.Filter(), u"sink");
    FilterMapperUnregister(kGoodConverter);
    EXPECT_TRUE(FAILED(g2->Connect(out2, sink2.Input())));
    EXPECT_EQ(FilterNames(g2.Get()).size(), 2u);   // nothing left behind
}

TEST(Graph, RenderBuildsDownToAStockRendererUsingFiltersInTheGraphFirst) {
    ConverterRegistration reg;
    FakeSource src;
    FakeOutputPin *out = src.AddPin({MakeVideoType(kOddSubtype, 2, 2)});
    auto g = NewGraph();
    g->AddFilter(src.Filter(), u"src");
    // Pre-added by hand under its own name: it must be the one used.
    ComPtr<IBaseFilter> mine;
    ASSERT_EQ(CoCreateInstance(kGoodConverter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, mine.PutVoid()), S_OK);
    g->AddFilter(mine.Get(), u"Mine");
    ASSERT_EQ(g->Render(out), S_OK);
    auto names = FilterNames(g.Get());
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[1], u"Mine");
    EXPECT_NE(WideToUtf8(names[2]).find("Video Renderer"), std::string::npos);
    EXPECT_EQ(g->Render(out), VFW_E_ALREADY_CONNECTED);

    FakeSource lonely;
    FakeOutputPin *nothing = lonely.AddPin({MakeVideoType(FourccGuid(MakeFourcc('N', 'O', 'P', 'E')), 2, 2)});
    g->AddFilter(lonely.Filter(), u"lonely");
    EXPECT_EQ(g->Render(nothing), VFW_E_CANNOT_RENDER);
    EXPECT_EQ(FilterNames(g.Get()).size(), 4u);
}

TEST(Graph, RenderFileRefusesMissingAndBrokenFilesAndLeavesTheGraphEmpty) {
    char dir[] = "/tmp/mediatestXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string empty = std::string(dir) + "/empty.avi";
    const std::string noise = std::string(dir) + "/noise.mp4";
    if (FILE *f = fopen(empty.c_str(), "wb")) fclose(f);
    if (FILE *f = fopen(noise.c_str(), "wb")) {
        for (int i = 0; i < 4096; ++i) fputc((i * 7919) & 0xFF, f);
        fclose(f);
    }
    for (const std::string &path : {std::string(dir) + "/missing.avi", empty, noise}) {
        auto g = NewGraph();
        HRESULT hr = g->RenderFile(Utf8ToWide(path).c_str(), nullptr);
        EXPECT_TRUE(FAILED(hr)) << path << " " << MediaResultName(hr);
        EXPECT_TRUE(FilterNames(g.Get()).empty()) << path;
    }
    std::remove(empty.c_str());
    std::remove(noise.c_str());
    rmdir(dir);
}

TEST(Graph, ReleasingARunningGraphLeavesNoThreadBehind) {
    const int before = ThreadCount();
    {
        FakeSource src;
        FakeOutputPin *out = src.AddPin({MakeVideoType(MEDIASUBTYPE_RGB32, 2, 2)});
        out->AutoStream(1000000, 400000);
        ComPtr<IBaseFilter> r = NewFilter(CLSID_NullRenderer);
        Chain chain({src.Filter(), r.Get()}, /*clock=*/true);
        ASSERT_EQ(chain.Run(), S_OK);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }   // graph released while its stream runs and waits on the clock
    EXPECT_EQ(ThreadCount(), before);
}

TEST(Graph, StopWhilePausedReleasesAHeldStream) {
    FakeSource src;
    FakeOutputPin *out = src.AddPin({MakeVideoType(MEDIASUBTYPE_RGB32, 2, 2)});
    out->AutoStream(100, 400000);
    ComPtr<IBaseFilter> vr = NewFilter(CLSID_VideoRenderer);
    Chain chain({src.Filter(), vr.Get()});
    chain.Pause();
    OAFilterState s;
    EXPECT_EQ(chain.control->GetState(5000, &s), S_OK);   // first picture arrived
    EXPECT_EQ(chain.Stop(), S_OK);                          // joins the source thread
    chain.Run();
    EXPECT_EQ(CountEvents(chain.DrainEvents(10000), EC_COMPLETE), 1);
    chain.Stop();
}
