// The job list: one FileInfo per source file, in batch order, in a fixed
// table of 500 slots owned by TVideoFileList. The list knows nothing of
// media; the main window fills the measured fields, the trim controls the
// times. A bound JobListView mirrors the list row for row and is rebuilt
// after every change. GUI thread only; no locking.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/window.h"

namespace velorin {

// The job's 160x120 thumbnail: packed BGRA rows (platform::VideoPicture).
using JobThumbnail = platform::VideoPicture;

struct FileInfo {
    std::string SourceFile;
    std::string InfoText;    // "Video Size:640x480 Video Length:00:01:35"
    std::string RangeText;   // "Begin: 00:00:00 End: 00:01:35"
    double Duration = 0;     // seconds
    double StartTime = 0;    // seconds from the start of the source
    double EndTime = 0;
    std::int32_t VideoHeight = 0;
    std::int32_t VideoWidth = 0;
    std::string Title;       // PSP title; default: DefaultJobName(SourceFile)
    std::optional<JobThumbnail> Thumbnail;  // owned by the job; may be absent
    std::string OutputName;  // default: DefaultJobName(SourceFile)
};

// What the list view of the main window offers the list. Implemented by
// the GUI; exceptions it throws are swallowed by RefreshView.
class JobListView {
public:
    virtual ~JobListView() = default;
    virtual void ClearRows() = 0;
    virtual void AppendRow(const std::string &sourceFile, const std::string &infoText,
                           const std::string &rangeText) = 0;
    virtual void SelectRow(int row) = 0;
};

class TVideoFileList {
public:
    static constexpr int kCapacity = 500;

    TVideoFileList() = default;

    // Remembers the view (not owned; null unbinds). Nothing is redrawn.
    void BindView(JobListView *view) { view_ = view; }
    JobListView *View() const { return view_; }
    // Rebuilds the view's rows; false when no view is bound.
    bool RefreshView();

    // Appends a job with only SourceFile set and returns its index, or -1
    // (nothing changed) when all 500 slots are taken.
    std::int32_t AddJob(const std::string &sourcePath);
    // Removes job i and closes the gap; false (nothing changed) when i is
    // not a job index.
    bool DeleteJob(std::int32_t index);
    void ClearJobs();
    // Swap with the previous / next job and select the moved row; false when
    // there is no such neighbour.
    bool MoveJobUp(std::int32_t index);
    bool MoveJobDown(std::int32_t index);
    // 0 for an index that is not a job.
    double GetStartTime(std::int32_t index) const;
    double GetEndTime(std::int32_t index) const;

    int Count() const { return LastIndex + 1; }

    std::array<FileInfo, kCapacity> Jobs;
    std::int32_t LastIndex = -1;

private:
    JobListView *view_ = nullptr;
};

// Whole seconds to "HH:MM:SS"; hours grow past two digits ("100:00:00").
// Negative input is shown as "00:00:00".
std::string FormatTimeText(std::int32_t seconds);
// Seconds rounded to the nearest whole second, halves to the even
// neighbour (2.5 -> 2, 3.5 -> 4); NaN and out-of-range values clamp into
// the int32 range (NaN gives 0).
std::int32_t RoundSeconds(double seconds);
// The same rounding for any value (picture placement and the like).
std::int32_t RoundHalfEven(double value);
// "Video Size:<w>x<h> Video Length:<time of duration>"
std::string MakeInfoText(std::int32_t width, std::int32_t height, double duration);
// "Begin: <time> End: <time>"
std::string MakeRangeText(double startTime, double endTime);
// File name of the path with every occurrence of its extension (from the
// last "." on, compared case-insensitively) removed: "a.avi.AVI" -> "a".
std::string DefaultJobName(const std::string &sourcePath);

}  // namespace velorin
