// The splitter: demuxes with libavformat over the byte stream of whatever
// source it is connected to (or of its own file), one output pin per video
// and audio stream.
//
// Threads. While the filter is active, one reading thread pulls packets
// from the demuxer into a LaneQueue (one bounded lane per output pin) and
// every connected output pin delivers its lane downstream on its own
// thread; downstream transforms decode on that thread. A consumer that
// holds one stream back therefore never stalls the other.
//
// Seeking is a flush of the whole filter, from the thread that seeks: mark
// flushing, close the queue (wakes every thread), BeginFlush downstream
// (makes blocked deliveries return), join the threads, EndFlush, seek the
// demuxer and start again with a new segment. Start, stop and seek are
// serialised by control_; streaming threads never take the filter lock.
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "media/baseclasses.h"
#include "mediaff/demuxer.h"
#include "mediaff/filters.h"
#include "mediaff/lanequeue.h"
#include "mediaff/mediatypes.h"
#include "packetsample.h"

namespace mediaff {

namespace {

constexpr std::size_t kLaneBound = 48;      // packets per stream
constexpr std::size_t kLaneHardFactor = 8;  // growth while a sibling starves

// Reads through the upstream pin's IAsyncReader.
class AsyncByteReader final : public ByteReader {
public:
    explicit AsyncByteReader(IAsyncReader *r) : reader_(r) {
        LONGLONG total = 0, avail = 0;
        if (SUCCEEDED(reader_->Length(&total, &avail))) size_ = total;
    }
    int Read(std::int64_t position, std::uint8_t *buffer, int size) override {
        if (position < 0 || size < 0) return -1;
        if (size_ >= 0) {
            if (position >= size_) return 0;
            size = static_cast<int>(std::min<std::int64_t>(size, size_ - position));
        }
        if (size == 0) return 0;
        HRESULT hr = reader_->SyncRead(position, size, buffer);
        if (FAILED(hr)) return -1;
        // Without a known size a short read tells no count: treat it as end.
        if (hr == S_FALSE && size_ < 0) return 0;
        return size;
    }
    std::int64_t Size() override { return size_; }
private:
    ComPtr<IAsyncReader> reader_;
    std::int64_t size_ = -1;
};

class Splitter;

class SplitterInputPin final : public CBasePin {
public:
    SplitterInputPin(Splitter *f, CCritSec *lock, HRESULT *phr);
    HRESULT CheckMediaType(const CMediaType *pmt) override {
        return pmt && *pmt->Type() == MEDIATYPE_Stream ? S_OK : S_FALSE;
    }
    HRESULT CheckConnect(IPin *pin) override;
    HRESULT CompleteConnect(IPin *pin) override;
    HRESULT BreakConnect() override;
    // The pull pin streams nothing itself.
    STDMETHODIMP BeginFlush() override { return S_OK; }
    STDMETHODIMP EndFlush() override { return S_OK; }
private:
    Splitter *splitter_;
};

class SplitterOutputPin final : public CBaseOutputPin, public IMediaSeeking {
public:
    SplitterOutputPin(Splitter *f, CCritSec *lock, HRESULT *phr, const std::u16string &name, std::size_t lane,
                      const DemuxStream &stream);

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override { return NonDelegatingQueryInterface(riid, ppv); }
    STDMETHODIMP_(ULONG) AddRef() override { return NonDelegatingAddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return NonDelegatingRelease(); }
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void **ppv) override {
        if (riid == IID_IMediaSeeking) return GetInterface(static_cast<IMediaSeeking *>(this), ppv);
        return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
    }

    HRESULT CheckMediaType(const CMediaType *pmt) override {
        return pmt && *pmt->Type() == *type_.Type() && *pmt->Subtype() == *type_.Subtype() &&
                       *pmt->FormatType() == *type_.FormatType() && pmt->FormatLength() == type_.FormatLength()
                   ? S_OK
                   : S_FALSE;
    }
    HRESULT GetMediaType(int i, CMediaType *pmt) override {
        if (i < 0) return E_INVALIDARG;
        if (i > 0) return VFW_S_NO_MORE_ITEMS;
        *pmt = type_;
        return S_OK;
    }
    // Packets travel in their own samples; the allocator is only a token.
    HRESULT DecideBufferSize(IMemAllocator *alloc, ALLOCATOR_PROPERTIES *req) override {
        ALLOCATOR_PROPERTIES want{1, 4096, 1, 0}, got{};
        (void)req;
        return alloc->SetProperties(&want, &got);
    }

    // IMediaSeeking: the whole filter seeks.
    STDMETHODIMP GetCapabilities(DWORD *caps) override;
    STDMETHODIMP CheckCapabilities(DWORD *caps) override;
    STDMETHODIMP IsFormatSupported(const GUID *f) override { return f && *f == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE; }
    STDMETHODIMP QueryPreferredFormat(GUID *f) override { if (!f) return E_POINTER; *f = TIME_FORMAT_MEDIA_TIME; return S_OK; }
    STDMETHODIMP GetTimeFormat(GUID *f) override { return QueryPreferredFormat(f); }
    STDMETHODIMP IsUsingTimeFormat(const GUID *f) override { return IsFormatSupported(f); }
    STDMETHODIMP SetTimeFormat(const GUID *f) override {
        if (!f) return E_POINTER;
        return *f == TIME_FORMAT_MEDIA_TIME || *f == TIME_FORMAT_NONE ? S_OK : E_INVALIDARG;
    }
    STDMETHODIMP GetDuration(LONGLONG *d) override;
    STDMETHODIMP GetStopPosition(LONGLONG *s) override;
    STDMETHODIMP GetCurrentPosition(LONGLONG *c) override;
    STDMETHODIMP ConvertTimeFormat(LONGLONG *target, const GUID *tf, LONGLONG source, const GUID *sf) override {
        if (!target) return E_POINTER;
        auto ok = [](const GUID *g) { return !g || *g == TIME_FORMAT_MEDIA_TIME; };
        if (!ok(tf) || !ok(sf)) return E_INVALIDARG;
        *target = source;
        return S_OK;
    }
    STDMETHODIMP SetPositions(LONGLONG *cur, DWORD curFlags, LONGLONG *stop, DWORD stopFlags) override;
    STDMETHODIMP GetPositions(LONGLONG *cur, LONGLONG *stop) override;
    STDMETHODIMP GetAvailable(LONGLONG *earliest, LONGLONG *latest) override;
    STDMETHODIMP SetRate(double rate) override { return rate == 1.0 ? S_OK : E_INVALIDARG; }
    STDMETHODIMP GetRate(double *rate) override { if (!rate) return E_POINTER; *rate = 1.0; return S_OK; }
    STDMETHODIMP GetPreroll(LONGLONG *p) override { if (!p) return E_POINTER; *p = 0; return S_OK; }

    std::size_t Lane() const { return lane_; }
    void StartThread(REFERENCE_TIME segStart, REFERENCE_TIME segStop);
    void JoinThread() {
        if (thread_.joinable()) thread_.join();
    }
    // Media time of the last sample delivered, relative to the segment.
    REFERENCE_TIME LastTime() const { return last_; }

private:
    void Stream(REFERENCE_TIME segStart, REFERENCE_TIME segStop);
    Splitter *splitter_;
    std::size_t lane_;
    CMediaType type_;
    std::thread thread_;
    std::atomic<REFERENCE_TIME> last_{0};
};

class Splitter final : public CBaseFilter, public IFileSourceFilter {
public:
    Splitter(LPUNKNOWN outer, HRESULT *phr, REFCLSID clsid, const char *name, bool ownFile)
        : CBaseFilter(name, outer, &lock_, clsid), ownFile_(ownFile) {
        if (!ownFile_) input_ = std::make_unique<SplitterInputPin>(this, &lock_, phr);
    }
    ~Splitter() override {
        StopStreaming();
        // Pins hold no references of their own on the filter; drop them
        // (and those retired by a reconnection) with the filter.
        outputs_.clear();
        retired_.clear();
    }

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void **ppv) override {
        if (ownFile_ && riid == IID_IFileSourceFilter) return GetInterface(static_cast<IFileSourceFilter *>(this), ppv);
        return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
    }

    int GetPinCount() override {
        CAutoLock l(&lock_);
        return (input_ ? 1 : 0) + static_cast<int>(outputs_.size());
    }
    CBasePin *GetPin(int n) override {
        CAutoLock l(&lock_);
        if (n < 0) return nullptr;
        if (input_) {
            if (n == 0) return input_.get();
            --n;
        }
        return static_cast<std::size_t>(n) < outputs_.size() ? outputs_[static_cast<std::size_t>(n)].get() : nullptr;
    }

    STDMETHODIMP Stop() override {
        std::lock_guard c(control_);
        StopStreaming();
        return CBaseFilter::Stop();
    }
    STDMETHODIMP Pause() override {
        std::lock_guard c(control_);
        bool wasStopped = IsStopped();
        HRESULT hr = CBaseFilter::Pause();
        if (SUCCEEDED(hr) && wasStopped) StartStreaming();
        return hr;
    }

    // IFileSourceFilter (own-file mode).
    STDMETHODIMP Load(LPCOLESTR name, const AM_MEDIA_TYPE *) override {
        if (!name) return E_POINTER;
        std::lock_guard c(control_);
        if (!IsStopped()) return VFW_E_NOT_STOPPED;
        if (demux_.IsOpen()) return E_UNEXPECTED;
        auto reader = std::make_unique<FileByteReader>();
        std::string path = WideToUtf8(name);
        if (!reader->Open(path)) return HRESULT_FILE_NOT_FOUND;
        HRESULT hr = Open(std::move(reader), path);
        if (SUCCEEDED(hr)) path_ = name;
        return hr;
    }
    STDMETHODIMP GetCurFile(LPOLESTR *name, AM_MEDIA_TYPE *pmt) override {
        if (!name) return E_POINTER;
        *name = nullptr;
        if (path_.empty()) return E_FAIL;
        *name = CoTaskWideDup(path_.c_str());
        if (pmt) {
            std::memset(pmt, 0, sizeof *pmt);
            pmt->majortype = MEDIATYPE_Stream;
            pmt->formattype = FORMAT_None;
        }
        return *name ? S_OK : E_OUTOFMEMORY;
    }

    // Opens the container and makes the output pins (stopped, under control_
    // or from the connection of the input pin).
    HRESULT Open(std::unique_ptr<ByteReader> reader, const std::string &nameHint) {
        CAutoLock l(&lock_);
        int err = demux_.Open(reader.get(), nameHint);
        if (err < 0) {
            demux_.Close();
            return err == AVERROR_STREAM_NOT_FOUND ? VFW_E_UNSUPPORTED_STREAM : VFW_E_INVALID_FILE_FORMAT;
        }
        reader_ = std::move(reader);
        const auto &streams = demux_.Streams();
        laneOf_.assign(static_cast<std::size_t>(streams.back().index) + 1, -1);
        timeBaseOf_.assign(laneOf_.size(), AVRational{1, 1});
        for (const DemuxStream &s : streams) timeBaseOf_[static_cast<std::size_t>(s.index)] = s.timeBase;
        int videos = 0, audios = 0;
        for (const DemuxStream &s : streams) {
            bool video = s.type == AVMEDIA_TYPE_VIDEO;
            int n = video ? videos++ : audios++;
            std::u16string name = video ? u"Video" : u"Audio";
            if (n > 0) name += u" " + WideFromUtf8(std::to_string(n + 1).c_str());
            HRESULT hr = S_OK;
            auto pin = std::make_unique<SplitterOutputPin>(this, &lock_, &hr, name, outputs_.size(), s);
            if (FAILED(hr)) continue;
            laneOf_[static_cast<std::size_t>(s.index)] = static_cast<int>(outputs_.size());
            outputs_.push_back(std::move(pin));
        }
        queue_ = std::make_unique<LaneQueue<PacketPtr>>(outputs_.size(), kLaneBound, kLaneHardFactor);
        start_ = 0;
        // No stop until one is set: a duration from the container may be an
        // estimate short of the real end.
        stop_ = MAX_TIME;
        userStop_ = false;
        needSeek_ = false;
        IncrementPinVersion();
        return S_OK;
    }

    // Drops the container and the output pins (input disconnected, so the
    // filter is stopped and no thread streams; the caller holds the filter
    // lock, which is why control_ is not taken here).
    void Close() {
        StopStreaming();
        CAutoLock l(&lock_);
        for (auto &pin : outputs_) {
            if (IPin *peer = pin->GetConnected()) {
                ComPtr<IPin> keep(peer);
                keep->Disconnect();
                pin->Disconnect();
            }
            retired_.push_back(std::move(pin));
        }
        outputs_.clear();
        queue_.reset();
        demux_.Close();
        reader_.reset();
        IncrementPinVersion();
    }

    bool Flushing() const { return flushing_; }
    LaneQueue<PacketPtr> *Queue() { return queue_.get(); }
    bool SeekToKeyFrame() const { return keySeek_; }

    // ---- seeking ----
    REFERENCE_TIME Duration() {
        CAutoLock l(&lock_);
        return demux_.Duration();
    }
    REFERENCE_TIME StopPosition() {
        if (userStop_ || stop_ != MAX_TIME) return stop_;
        REFERENCE_TIME d = Duration();
        return d > 0 ? d : MAX_TIME;
    }
    REFERENCE_TIME CurrentPosition() {
        REFERENCE_TIME latest = 0;
        CAutoLock l(&lock_);
        for (auto &p : outputs_)
            if (p->IsConnected()) latest = std::max(latest, p->LastTime());
        return base_ + latest;
    }
    HRESULT SetPositions(std::size_t lane, LONGLONG *cur, DWORD curFlags, LONGLONG *stop, DWORD stopFlags);

private:
    void StartStreaming();
    void StopStreaming();
    void ReadLoop();

    CCritSec lock_;
    std::mutex control_;  // start, stop, seek and load, one at a time
    bool ownFile_;
    std::unique_ptr<SplitterInputPin> input_;
    std::vector<std::unique_ptr<SplitterOutputPin>> outputs_;
    std::vector<std::unique_ptr<SplitterOutputPin>> retired_;
    std::unique_ptr<ByteReader> reader_;
    Demuxer demux_;
    std::vector<int> laneOf_;
    std::vector<AVRational> timeBaseOf_;
    std::unique_ptr<LaneQueue<PacketPtr>> queue_;
    std::thread reader_thread_;
    std::atomic<bool> streaming_{false};
    std::atomic<bool> flushing_{false};
    std::u16string path_;

    // Positions in media time (100 ns from the start of the file).
    std::atomic<REFERENCE_TIME> start_{0};
    std::atomic<REFERENCE_TIME> stop_{MAX_TIME};
    std::atomic<REFERENCE_TIME> base_{0};  // media time of sample time 0
    std::atomic<bool> userStop_{false};
    bool keySeek_ = false;
    bool needSeek_ = false;  // the demuxer is not at the start position
    // A request that reaches the filter through several pins is one seek.
    struct Request {
        LONGLONG cur, stop;
        DWORD curFlags, stopFlags;
        bool operator==(const Request &o) const {
            return cur == o.cur && stop == o.stop && curFlags == o.curFlags && stopFlags == o.stopFlags;
        }
    };
    Request lastRequest_{-1, -1, 0, 0};
    std::vector<bool> requestSeen_;
};

// ---- input pin ----

SplitterInputPin::SplitterInputPin(Splitter *f, CCritSec *lock, HRESULT *phr)
    : CBasePin("SplitterInput", f, lock, phr, u"Input", PINDIR_INPUT), splitter_(f) {}

HRESULT SplitterInputPin::CheckConnect(IPin *pin) {
    HRESULT hr = CBasePin::CheckConnect(pin);
    if (FAILED(hr)) return hr;
    ComPtr<IAsyncReader> reader;
    return pin->QueryInterface(IID_IAsyncReader, reader.PutVoid());
}

HRESULT SplitterInputPin::CompleteConnect(IPin *pin) {
    HRESULT hr = CBasePin::CompleteConnect(pin);
    if (FAILED(hr)) return hr;
    ComPtr<IAsyncReader> reader;
    hr = pin->QueryInterface(IID_IAsyncReader, reader.PutVoid());
    if (FAILED(hr)) return hr;
    // The file name, when the source has one, helps the probe.
    std::string hint;
    PIN_INFO info{};
    if (SUCCEEDED(pin->QueryPinInfo(&info)) && info.pFilter) {
        ComPtr<IBaseFilter> owner;
        owner.Attach(info.pFilter);
        ComPtr<IFileSourceFilter> fs;
        LPOLESTR name = nullptr;
        if (SUCCEEDED(owner->QueryInterface(IID_IFileSourceFilter, fs.PutVoid())) && SUCCEEDED(fs->GetCurFile(&name, nullptr)) && name) {
            hint = WideToUtf8(name);
            CoTaskMemFree(name);
        }
    }
    return splitter_->Open(std::make_unique<AsyncByteReader>(reader.Get()), hint);
}

HRESULT SplitterInputPin::BreakConnect() {
    splitter_->Close();
    return CBasePin::BreakConnect();
}

// ---- output pins ----

SplitterOutputPin::SplitterOutputPin(Splitter *f, CCritSec *lock, HRESULT *phr, const std::u16string &name, std::size_t lane,
                                     const DemuxStream &stream)
    : CBaseOutputPin("SplitterOutput", f, lock, phr, name.c_str()), splitter_(f), lane_(lane), type_(MakeCompressedType(stream)) {
    if (!type_.IsValid() && phr) *phr = E_OUTOFMEMORY;
}

void SplitterOutputPin::StartThread(REFERENCE_TIME segStart, REFERENCE_TIME segStop) {
    last_ = 0;
    thread_ = std::thread([this, segStart, segStop] { Stream(segStart, segStop); });
}

void SplitterOutputPin::Stream(REFERENCE_TIME segStart, REFERENCE_TIME segStop) {
    LaneQueue<PacketPtr> *q = splitter_->Queue();
    DeliverNewSegment(segStart, segStop, 1.0);
    bool first = true;
    for (;;) {
        PacketPtr pkt;
        auto r = q->Pop(lane_, &pkt);
        if (r == LaneQueue<PacketPtr>::PopResult::Closed) return;  // stop or seek: no end of stream
        if (r == LaneQueue<PacketPtr>::PopResult::Ended) {
            DeliverEndOfStream();
            return;
        }
        const AVPacket *p = pkt.get();
        REFERENCE_TIME start = p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
        const bool timed = start != AV_NOPTS_VALUE;
        const bool key = (p->flags & AV_PKT_FLAG_KEY) != 0;
        const int64_t duration = p->duration;
        auto *sample = new PacketSample(std::move(pkt));
        if (timed) {
            REFERENCE_TIME end = start + (duration > 0 ? duration : 1);
            sample->SetTime(&start, duration > 0 ? &end : nullptr);
            sample->SetPreroll(start < 0 ? TRUE : FALSE);
            last_ = std::max<REFERENCE_TIME>(0, start);
        }
        sample->SetSyncPoint(key ? TRUE : FALSE);
        sample->SetDiscontinuity(first ? TRUE : FALSE);
        first = false;
        HRESULT hr = Deliver(sample);
        sample->Release();
        if (hr == S_OK) continue;
        // Downstream takes no more: let the reader skip this lane.
        q->EndLane(lane_);
        // A stop or seek in progress (downstream already stopped or
        // flushing) is no error and has no end of stream.
        if (splitter_->Flushing() || q->Closed() || hr == VFW_E_WRONG_STATE || hr == VFW_E_NOT_COMMITTED) return;
        DeliverEndOfStream();
        if (FAILED(hr) && hr != VFW_E_NOT_CONNECTED && hr != VFW_E_RUNTIME_ERROR)
            splitter_->NotifyEvent(EC_ERRORABORT, hr, 0);
        return;
    }
}

HRESULT SplitterOutputPin::GetCapabilities(DWORD *caps) {
    if (!caps) return E_POINTER;
    *caps = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards | AM_SEEKING_CanSeekBackwards | AM_SEEKING_CanGetCurrentPos |
            AM_SEEKING_CanGetStopPos | AM_SEEKING_CanGetDuration | AM_SEEKING_Source;
    return S_OK;
}

HRESULT SplitterOutputPin::CheckCapabilities(DWORD *caps) {
    if (!caps) return E_POINTER;
    DWORD have = 0;
    GetCapabilities(&have);
    DWORD asked = *caps;
    *caps &= have;
    if (*caps == asked) return S_OK;
    return *caps ? S_FALSE : E_FAIL;
}

HRESULT SplitterOutputPin::GetDuration(LONGLONG *d) {
    if (!d) return E_POINTER;
    *d = splitter_->Duration();
    return *d > 0 ? S_OK : E_FAIL;
}

HRESULT SplitterOutputPin::GetStopPosition(LONGLONG *s) {
    if (!s) return E_POINTER;
    *s = splitter_->StopPosition();
    return S_OK;
}

HRESULT SplitterOutputPin::GetCurrentPosition(LONGLONG *c) {
    if (!c) return E_POINTER;
    *c = splitter_->CurrentPosition();
    return S_OK;
}

HRESULT SplitterOutputPin::SetPositions(LONGLONG *cur, DWORD curFlags, LONGLONG *stop, DWORD stopFlags) {
    return splitter_->SetPositions(lane_, cur, curFlags, stop, stopFlags);
}

HRESULT SplitterOutputPin::GetPositions(LONGLONG *cur, LONGLONG *stop) {
    if (cur) *cur = splitter_->CurrentPosition();
    if (stop) *stop = splitter_->StopPosition();
    return S_OK;
}

HRESULT SplitterOutputPin::GetAvailable(LONGLONG *earliest, LONGLONG *latest) {
    if (earliest) *earliest = 0;
    if (latest) *latest = splitter_->Duration();
    return S_OK;
}

// ---- streaming ----

void Splitter::StartStreaming() {
    if (streaming_ || !queue_) return;
    queue_->Reopen();
    demux_.ClearAbort();
    const REFERENCE_TIME start = start_;
    REFERENCE_TIME base = start;
    if (needSeek_ || start > 0) {
        if (demux_.SeekTo(start) >= 0) {
            // Sample times count from the key frame when the caller asked
            // to seek to one, else from the asked position (earlier frames
            // arrive as preroll).
            if (keySeek_) base = demux_.SeekLanding();
        } else {
            base = 0;  // not seekable: play from where the demuxer is
        }
    }
    base_ = base;
    needSeek_ = true;
    streaming_ = true;
    flushing_ = false;
    for (auto &pin : outputs_)
        if (!pin->IsConnected()) queue_->EndLane(pin->Lane());
    const REFERENCE_TIME segStop = stop_ == MAX_TIME ? MAX_TIME : stop_.load();
    for (auto &pin : outputs_)
        if (pin->IsConnected()) pin->StartThread(base, segStop);
    reader_thread_ = std::thread([this] { ReadLoop(); });
}

void Splitter::StopStreaming() {
    if (!streaming_) return;
    flushing_ = true;  // deliveries failing from here on are the stop's doing
    if (queue_) queue_->Close();
    demux_.Abort();
    if (reader_thread_.joinable()) reader_thread_.join();
    for (auto &pin : outputs_) pin->JoinThread();
    streaming_ = false;
    flushing_ = false;
}

void Splitter::ReadLoop() {
    PacketPtr pkt = MakePacket();
    while (pkt) {
        int err = demux_.ReadPacket(pkt.get());
        if (err < 0) break;  // end, a read error or abort: the streams end here
        const int idx = pkt->stream_index;
        const int lane = idx >= 0 && static_cast<std::size_t>(idx) < laneOf_.size() ? laneOf_[static_cast<std::size_t>(idx)] : -1;
        if (lane < 0 || queue_->LaneEnded(static_cast<std::size_t>(lane))) {
            av_packet_unref(pkt.get());
            if (queue_->AllEnded()) break;
            continue;
        }
        const REFERENCE_TIME base = base_;
        const REFERENCE_TIME pts = demux_.ToMediaTime(idx, pkt->pts);
        const REFERENCE_TIME dts = demux_.ToMediaTime(idx, pkt->dts);
        const REFERENCE_TIME decodeAt = dts != AV_NOPTS_VALUE ? dts : pts;
        if (decodeAt != AV_NOPTS_VALUE && decodeAt >= stop_) {
            queue_->EndLane(static_cast<std::size_t>(lane));
            av_packet_unref(pkt.get());
            if (queue_->AllEnded()) break;
            continue;
        }
        const AVRational tb = timeBaseOf_[static_cast<std::size_t>(idx)];
        pkt->pts = pts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : pts - base;
        pkt->dts = dts == AV_NOPTS_VALUE ? AV_NOPTS_VALUE : dts - base;
        pkt->duration = pkt->duration > 0 ? av_rescale_q(pkt->duration, tb, kRefTimeBase) : 0;
        pkt->time_base = kRefTimeBase;
        auto r = queue_->Push(static_cast<std::size_t>(lane), std::move(pkt));
        if (r == LaneQueue<PacketPtr>::PushResult::Closed) return;
        pkt = MakePacket();
    }
    for (std::size_t i = 0; i < queue_->LaneCount(); ++i) queue_->EndLane(i);
}

HRESULT Splitter::SetPositions(std::size_t lane, LONGLONG *cur, DWORD curFlags, LONGLONG *stop, DWORD stopFlags) {
    const DWORD curPos = curFlags & AM_SEEKING_PositioningBitsMask;
    const DWORD stopPos = stopFlags & AM_SEEKING_PositioningBitsMask;
    if ((curPos && !cur) || (stopPos && !stop)) return E_POINTER;
    std::lock_guard c(control_);
    if (!queue_) return E_UNEXPECTED;

    Request req{curPos ? *cur : -1, stopPos ? *stop : -1, curFlags, stopFlags};
    if (requestSeen_.size() != outputs_.size()) requestSeen_.assign(outputs_.size(), false);
    if (req == lastRequest_ && lane < requestSeen_.size() && !requestSeen_[lane]) {
        // The same request through another pin of this filter: done already.
        requestSeen_[lane] = true;
        if (curPos && (curFlags & AM_SEEKING_ReturnTime)) *cur = base_;
        if (stopPos && (stopFlags & AM_SEEKING_ReturnTime)) *stop = stop_;
        return S_OK;
    }
    lastRequest_ = req;
    requestSeen_.assign(outputs_.size(), false);
    if (lane < requestSeen_.size()) requestSeen_[lane] = true;

    const REFERENCE_TIME duration = Duration();
    auto resolve = [](DWORD pos, LONGLONG value, REFERENCE_TIME now) -> REFERENCE_TIME {
        switch (pos) {
        case AM_SEEKING_AbsolutePositioning: return value;
        case AM_SEEKING_RelativePositioning: return now + value;
        case AM_SEEKING_IncrementalPositioning: return now + value;
        default: return now;
        }
    };
    REFERENCE_TIME newStart = curPos ? resolve(curPos, *cur, start_) : start_.load();
    REFERENCE_TIME newStop = stopPos ? resolve(stopPos, *stop, StopPosition()) : stop_.load();
    if (newStart < 0) newStart = 0;
    if (duration > 0 && newStart > duration) newStart = duration;
    if (newStop < 0) newStop = 0;
    if (stopPos) userStop_ = true;

    if (!curPos) {
        // Only the stop moves: no flush, the reader ends the lanes there.
        stop_ = newStop;
        if (stopFlags & AM_SEEKING_ReturnTime) *stop = newStop;
        return S_OK;
    }

    start_ = newStart;
    stop_ = newStop;
    keySeek_ = (curFlags & AM_SEEKING_SeekToKeyFrame) != 0;
    needSeek_ = true;
    if (streaming_) {
        flushing_ = true;
        queue_->Close();
        demux_.Abort();
        std::vector<SplitterOutputPin *> connected;
        {
            CAutoLock l(&lock_);
            for (auto &pin : outputs_)
                if (pin->IsConnected()) connected.push_back(pin.get());
        }
        for (SplitterOutputPin *pin : connected) pin->DeliverBeginFlush();
        if (reader_thread_.joinable()) reader_thread_.join();
        for (SplitterOutputPin *pin : connected) pin->JoinThread();
        streaming_ = false;
        for (SplitterOutputPin *pin : connected) pin->DeliverEndFlush();
        StartStreaming();
    }
    if (curFlags & AM_SEEKING_ReturnTime) *cur = streaming_ ? base_.load() : newStart;
    if (stopPos && (stopFlags & AM_SEEKING_ReturnTime)) *stop = newStop;
    return S_OK;
}

}  // namespace

CUnknown *NewSplitter(LPUNKNOWN outer, HRESULT *phr, REFCLSID clsid, const char *name, bool ownFile) {
    return new Splitter(outer, phr, clsid, name, ownFile);
}

}  // namespace mediaff
