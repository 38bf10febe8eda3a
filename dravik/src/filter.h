// The "Dravik" encoder filter: a sink with a video and an audio input that
// encodes both into one output file through the Engine.
//
// Object shape: EncoderObject is the COM object the class factory makes; it
// aggregates an EncoderFilter (the CBaseFilter), the two rendered input pins
// and, on first demand, the position pass-through, and implements
// IFFEncoderSettings, IFFEncoderInfo and ISpecifyPropertyPages itself.
//
// Threads and locks. The application thread changes state and calls the
// interfaces; each upstream decoder calls Receive/EndOfStream/NewSegment on
// its pin from its own streaming thread. FilterLock guards state changes,
// queries and the settings accessors; ReceiveLock guards the engine and the
// file, and is taken after FilterLock, never before. No lock of ours is held
// while calling upstream.
//
// Turn taking. The inputs are kept in step by end time with two
// manual-reset events: each Receive first waits for its own event without
// any lock, and the stream that gets ahead hands the turn to the other. An
// input that reaches its end of stream drops out of the comparison and
// signals the other input's event, so the remaining input never waits for a
// turn that cannot come. Pause resets both events (samples block until
// Run); Run, Stop and a flush signal them.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

#include "contract/mpeg2parameter.h"
#include "engine.h"
#include "media/media.h"
#include "settings.h"

namespace dravik {

class EncoderObject;

class EncoderFilter final : public CBaseFilter {
public:
    EncoderFilter(EncoderObject *owner, LPUNKNOWN outer, CCritSec *lock);
    int GetPinCount() override { return 2; }
    CBasePin *GetPin(int n) override;
    STDMETHODIMP Stop() override;
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME tStart) override;

private:
    EncoderObject *owner_;
};

class VideoInputPin final : public CRenderedInputPin {
public:
    VideoInputPin(EncoderObject *owner, CBaseFilter *filter, CCritSec *lock, HRESULT *phr);
    HRESULT CheckMediaType(const CMediaType *pmt) override;
    HRESULT SetMediaType(const CMediaType *pmt) override;
    HRESULT Active() override;
    HRESULT Inactive() override;
    STDMETHODIMP Receive(IMediaSample *sample) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

    std::optional<VideoInput> Input() const { return input_; }

private:
    EncoderObject *owner_;
    std::optional<VideoInput> input_;
    REFERENCE_TIME frameTime_ = 333667;   // from the format, for untimed samples
    REFERENCE_TIME lastEnd_ = 0;
};

class AudioInputPin final : public CRenderedInputPin {
public:
    AudioInputPin(EncoderObject *owner, CBaseFilter *filter, CCritSec *lock, HRESULT *phr);
    HRESULT CheckMediaType(const CMediaType *pmt) override;
    HRESULT SetMediaType(const CMediaType *pmt) override;
    HRESULT Active() override;
    HRESULT Inactive() override;
    STDMETHODIMP Receive(IMediaSample *sample) override;
    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

    std::optional<AudioInput> Input() const { return input_; }

private:
    EncoderObject *owner_;
    std::optional<AudioInput> input_;
    REFERENCE_TIME lastEnd_ = 0;
};

class EncoderObject final : public CUnknown,
                            public IFFEncoderSettings,
                            public IFFEncoderInfo,
                            public ISpecifyPropertyPages {
public:
    static CUnknown *CreateInstance(LPUNKNOWN outer, HRESULT *phr);
    EncoderObject(LPUNKNOWN outer, HRESULT *phr);
    ~EncoderObject() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void **ppv) override;

    // IFFEncoderSettings
    STDMETHODIMP SetOutputType(LONG v) override;
    STDMETHODIMP GetOutputType(LONG *v) override;
    STDMETHODIMP SetOutputPath(const char *t) override;
    STDMETHODIMP GetOutputPath(char *b) override;
    STDMETHODIMP SetMaxFileSize(LONG v) override;
    STDMETHODIMP GetMaxFileSize(LONG *v) override;
    STDMETHODIMP SetFrameRate(LONG v) override;
    STDMETHODIMP GetFrameRate(LONG *v) override;
    STDMETHODIMP SetFrameRateBase(LONG v) override;
    STDMETHODIMP GetFrameRateBase(LONG *v) override;
    STDMETHODIMP SetFrameRateMode(LONG v) override;
    STDMETHODIMP GetFrameRateMode(LONG *v) override;
    STDMETHODIMP SetAspectRatio(LONG v) override;
    STDMETHODIMP GetAspectRatio(LONG *v) override;
    STDMETHODIMP SetVbrType(LONG v) override;
    STDMETHODIMP GetVbrType(LONG *v) override;
    STDMETHODIMP SetVideoBitsPerSec(LONG v) override;
    STDMETHODIMP GetVideoBitsPerSec(LONG *v) override;
    STDMETHODIMP SetChannelMode(LONG v) override;
    STDMETHODIMP GetChannelMode(LONG *v) override;
    STDMETHODIMP SetAudioBitsPerSec(LONG v) override;
    STDMETHODIMP GetAudioBitsPerSec(LONG *v) override;
    STDMETHODIMP SetSampleRate(LONG v) override;
    STDMETHODIMP GetSampleRate(LONG *v) override;
    STDMETHODIMP SetVolumeScale(LONG v) override;
    STDMETHODIMP GetVolumeScale(LONG *v) override;
    STDMETHODIMP SetFrameWidth(LONG v) override;
    STDMETHODIMP GetFrameWidth(LONG *v) override;
    STDMETHODIMP SetFrameHeight(LONG v) override;
    STDMETHODIMP GetFrameHeight(LONG *v) override;
    STDMETHODIMP SetKeepInputRatio(LONG v) override;
    STDMETHODIMP GetKeepInputRatio(LONG *v) override;
    STDMETHODIMP SetReversal(LONG v) override;
    STDMETHODIMP GetReversal(LONG *v) override;
    STDMETHODIMP SetReserved4(LONG v) override;
    STDMETHODIMP GetReserved4(LONG *v) override;
    STDMETHODIMP SetOutputQuality(LONG v) override;
    STDMETHODIMP GetOutputQuality(LONG *v) override;
    STDMETHODIMP SetReserved1(const char *t) override;
    STDMETHODIMP GetReserved1(char *b) override;
    STDMETHODIMP SetTitle(const char *t) override;
    STDMETHODIMP GetTitle(char *b) override;
    STDMETHODIMP SetReserved2(const char *t) override;
    STDMETHODIMP GetReserved2(char *b) override;
    STDMETHODIMP SetThreeGpSize(LONG v) override;
    STDMETHODIMP GetThreeGpSize(LONG *v) override;

    // IFFEncoderInfo
    STDMETHODIMP GetEncodedPosition(LONGLONG *position) override;
    STDMETHODIMP GetSourceDuration(LONGLONG *duration) override;
    STDMETHODIMP GetVersionText(char *buffer) override;

    // ISpecifyPropertyPages
    STDMETHODIMP GetPages(CAUUID *pages) override;

private:
    friend class EncoderFilter;
    friend class VideoInputPin;
    friend class AudioInputPin;

    template <class Fn>
    HRESULT Set(Fn &&fn) {
        CAutoLock lock(&filterLock_);
        settings_.With(fn);
        return S_OK;
    }
    // Builds the encoders for the connected pins (under both locks).
    HRESULT BuildForPins();
    void QueryDuration();

    CCritSec filterLock_;
    CCritSec receiveLock_;
    CAMManualEvent videoTurn_;
    CAMManualEvent audioTurn_;
    SettingsBlock settings_;
    Engine engine_;
    std::unique_ptr<EncoderFilter> filter_;
    std::unique_ptr<VideoInputPin> videoPin_;
    std::unique_ptr<AudioInputPin> audioPin_;
    std::vector<std::unique_ptr<CPosPassThru>> passThrus_;   // the last one answers
    CPosPassThru *passThru_ = nullptr;
    IPin *passThruPin_ = nullptr;

    std::atomic<bool> stopping_{true};
    std::atomic<bool> videoEnded_{false};
    std::atomic<bool> audioEnded_{false};
    std::atomic<REFERENCE_TIME> videoTime_{0};
    std::atomic<REFERENCE_TIME> audioTime_{0};
    std::atomic<REFERENCE_TIME> currentTime_{0};
    std::atomic<REFERENCE_TIME> sourceDuration_{-1};
};

}  // namespace dravik
