#include "core/VideoFileList.h"

#include <cmath>
#include <climits>
#include <cstdio>

#include "platform/paths.h"

namespace velorin {

bool TVideoFileList::RefreshView() {
    if (!view_) return false;
    try {
        view_->ClearRows();
        for (int i = 0; i <= LastIndex; ++i)
            view_->AppendRow(Jobs[i].SourceFile, Jobs[i].InfoText, Jobs[i].RangeText);
    } catch (...) {
        // A failing view stays partly filled; the list itself is unchanged.
    }
    return true;
}

std::int32_t TVideoFileList::AddJob(const std::string &sourcePath) {
    if (LastIndex + 1 >= kCapacity) return -1;
    ++LastIndex;
    Jobs[LastIndex] = FileInfo{};
    Jobs[LastIndex].SourceFile = sourcePath;
    RefreshView();
    return LastIndex;
}

bool TVideoFileList::DeleteJob(std::int32_t index) {
    if (index < 0 || index > LastIndex) return false;
    for (int i = index; i < LastIndex; ++i) Jobs[i] = std::move(Jobs[i + 1]);
    Jobs[LastIndex] = FileInfo{};
    --LastIndex;
    RefreshView();
    return true;
}

void TVideoFileList::ClearJobs() {
    for (auto &job : Jobs) job = FileInfo{};
    LastIndex = -1;
    RefreshView();
}

bool TVideoFileList::MoveJobUp(std::int32_t index) {
    if (index <= 0 || index > LastIndex) return false;
    std::swap(Jobs[index], Jobs[index - 1]);
    RefreshView();
    if (view_) {
        try {
            view_->SelectRow(index - 1);
        } catch (...) {
        }
    }
    return true;
}

bool TVideoFileList::MoveJobDown(std::int32_t index) {
    if (index < 0 || index >= LastIndex) return false;
    std::swap(Jobs[index], Jobs[index + 1]);
    RefreshView();
    if (view_) {
        try {
            view_->SelectRow(index + 1);
        } catch (...) {
        }
    }
    return true;
}

double TVideoFileList::GetStartTime(std::int32_t index) const {
    return (index >= 0 && index < kCapacity) ? Jobs[index].StartTime : 0.0;
}

double TVideoFileList::GetEndTime(std::int32_t index) const {
    return (index >= 0 && index < kCapacity) ? Jobs[index].EndTime : 0.0;
}

namespace {
std::string TwoDigits(long long v) {
    std::string s = std::to_string(v);
    return v <= 9 ? "0" + s : s;
}
}  // namespace

std::string FormatTimeText(std::int32_t seconds) {
    long long s = seconds < 0 ? 0 : seconds;
    return TwoDigits(s / 3600) + ":" + TwoDigits((s % 3600) / 60) + ":" + TwoDigits((s % 3600) % 60);
}

std::int32_t RoundSeconds(double seconds) { return RoundHalfEven(seconds); }

std::int32_t RoundHalfEven(double seconds) {
    if (std::isnan(seconds)) return 0;
    if (seconds >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (seconds <= static_cast<double>(INT_MIN)) return INT_MIN;
    // Halves go to the even neighbour whatever the thread's rounding mode.
    double down = std::floor(seconds);
    double frac = seconds - down;
    double r = down;
    if (frac > 0.5 || (frac == 0.5 && std::fmod(down, 2.0) != 0.0)) r = down + 1.0;
    return static_cast<std::int32_t>(r);
}

std::string MakeInfoText(std::int32_t width, std::int32_t height, double duration) {
    return "Video Size:" + std::to_string(width) + "x" + std::to_string(height) +
           " Video Length:" + FormatTimeText(RoundSeconds(duration));
}

std::string MakeRangeText(double startTime, double endTime) {
    return "Begin: " + FormatTimeText(RoundSeconds(startTime)) + " End: " +
           FormatTimeText(RoundSeconds(endTime));
}

std::string DefaultJobName(const std::string &sourcePath) {
    std::string name = platform::FileNamePart(sourcePath);
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) return name;
    std::string ext = name.substr(dot);
    auto lower = [](std::string s) {
        for (char &c : s)
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        return s;
    };
    std::string lowExt = lower(ext);
    std::string lowName = lower(name);
    std::string out;
    std::size_t pos = 0;
    while (pos < name.size()) {
        std::size_t hit = lowName.find(lowExt, pos);
        if (hit == std::string::npos) {
            out += name.substr(pos);
            break;
        }
        out += name.substr(pos, hit - pos);
        pos = hit + ext.size();
    }
    // ".avi" alone would leave no name at all; an empty output name makes
    // an unusable file name, so keep the whole name then.
    return out.empty() ? name : out;
}

}  // namespace velorin
