// The job list, the time texts and the default names.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "core/VideoFileList.h"

using namespace velorin;

namespace {

struct FakeView : JobListView {
    std::vector<std::vector<std::string>> rows;
    int selected = -1;
    int throwAfter = -1;  // throw on this row number
    void ClearRows() override {
        rows.clear();
        selected = -1;
    }
    void AppendRow(const std::string &a, const std::string &b, const std::string &c) override {
        if (throwAfter >= 0 && int(rows.size()) == throwAfter) throw std::runtime_error("view broke");
        rows.push_back({a, b, c});
    }
    void SelectRow(int row) override { selected = row; }
};

JobThumbnail Picture(std::uint8_t tag) {
    JobThumbnail t;
    t.width = 160;
    t.height = 120;
    t.stride = 640;
    t.pixels.assign(160 * 120 * 4, tag);
    return t;
}

// Three jobs A, B, C, every field distinct, each with its own thumbnail.
void AddThree(TVideoFileList &list) {
    const char *names[] = {"/v/A.avi", "/v/B.avi", "/v/C.avi"};
    for (int i = 0; i < 3; ++i) {
        int idx = list.AddJob(names[i]);
        FileInfo &j = list.Jobs[idx];
        j.InfoText = "info" + std::to_string(i);
        j.RangeText = "range" + std::to_string(i);
        j.Duration = 10 + i;
        j.StartTime = 1 + i;
        j.EndTime = 5 + i;
        j.VideoWidth = 320 + i;
        j.VideoHeight = 240 + i;
        j.Title = "title" + std::to_string(i);
        j.OutputName = "out" + std::to_string(i);
        j.Thumbnail = Picture(std::uint8_t(i + 1));
    }
}

void ExpectJob(const FileInfo &j, int original) {
    const char *names[] = {"/v/A.avi", "/v/B.avi", "/v/C.avi"};
    EXPECT_EQ(j.SourceFile, names[original]);
    EXPECT_EQ(j.InfoText, "info" + std::to_string(original));
    EXPECT_EQ(j.RangeText, "range" + std::to_string(original));
    EXPECT_EQ(j.Duration, 10 + original);
    EXPECT_EQ(j.StartTime, 1 + original);
    EXPECT_EQ(j.EndTime, 5 + original);
    EXPECT_EQ(j.VideoWidth, 320 + original);
    EXPECT_EQ(j.VideoHeight, 240 + original);
    EXPECT_EQ(j.Title, "title" + std::to_string(original));
    EXPECT_EQ(j.OutputName, "out" + std::to_string(original));
    ASSERT_TRUE(j.Thumbnail.has_value());
    EXPECT_EQ(j.Thumbnail->pixels.front(), original + 1);
}

void ExpectEmpty(const FileInfo &j) {
    EXPECT_TRUE(j.SourceFile.empty() && j.InfoText.empty() && j.RangeText.empty() && j.Title.empty() &&
                j.OutputName.empty());
    EXPECT_EQ(j.Duration, 0);
    EXPECT_EQ(j.StartTime, 0);
    EXPECT_EQ(j.EndTime, 0);
    EXPECT_EQ(j.VideoWidth, 0);
    EXPECT_EQ(j.VideoHeight, 0);
    EXPECT_FALSE(j.Thumbnail.has_value());
}

}  // namespace

TEST(JobList, NewListAndViewBinding) {
    auto list = std::make_unique<TVideoFileList>();
    EXPECT_EQ(list->LastIndex, -1);
    EXPECT_EQ(list->View(), nullptr);
    EXPECT_FALSE(list->RefreshView());
    EXPECT_EQ(list->AddJob("/v/A.avi"), 0);  // works without a view

    FakeView view;
    list->BindView(&view);
    EXPECT_TRUE(view.rows.empty());  // binding redraws nothing
    list->Jobs[0].InfoText = "i";
    list->Jobs[0].RangeText = "r";
    EXPECT_TRUE(list->RefreshView());
    ASSERT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(view.rows[0], (std::vector<std::string>{"/v/A.avi", "i", "r"}));
    EXPECT_EQ(list->AddJob("/v/B.avi"), 1);
    EXPECT_EQ(view.rows.size(), 2u);
    EXPECT_EQ(list->Jobs[1].Title, "");  // the caller fills the rest

    // A view that fails part way stays partly filled; the list is intact.
    view.throwAfter = 1;
    EXPECT_TRUE(list->RefreshView());
    EXPECT_EQ(view.rows.size(), 1u);
    EXPECT_EQ(list->LastIndex, 1);
}

TEST(JobList, DeleteClosesTheGapAndKeepsOtherJobs) {
    auto list = std::make_unique<TVideoFileList>();
    FakeView view;
    list->BindView(&view);
    AddThree(*list);
    ASSERT_TRUE(list->DeleteJob(1));
    EXPECT_EQ(list->LastIndex, 1);
    ExpectJob(list->Jobs[0], 0);
    ExpectJob(list->Jobs[1], 2);
    ExpectEmpty(list->Jobs[2]);
    EXPECT_EQ(view.rows.size(), 2u);
    ASSERT_TRUE(list->DeleteJob(0));
    ExpectJob(list->Jobs[0], 2);
    ExpectEmpty(list->Jobs[1]);
    EXPECT_EQ(list->LastIndex, 0);
    for (int bad : {-1, 1, 499, 500, 100000}) EXPECT_FALSE(list->DeleteJob(bad)) << bad;
    EXPECT_EQ(list->LastIndex, 0);
    ASSERT_TRUE(list->DeleteJob(0));
    EXPECT_EQ(list->LastIndex, -1);
    EXPECT_FALSE(list->DeleteJob(0));
}

TEST(JobList, MoveUpAndDownSwapWholeRecordsAndSelect) {
    auto list = std::make_unique<TVideoFileList>();
    FakeView view;
    list->BindView(&view);
    AddThree(*list);
    ASSERT_TRUE(list->MoveJobUp(1));
    ExpectJob(list->Jobs[0], 1);
    ExpectJob(list->Jobs[1], 0);
    ExpectJob(list->Jobs[2], 2);
    EXPECT_EQ(view.selected, 0);
    EXPECT_EQ(view.rows[0][0], "/v/B.avi");

    view.selected = 7;
    EXPECT_FALSE(list->MoveJobUp(0));
    EXPECT_FALSE(list->MoveJobUp(-3));
    EXPECT_FALSE(list->MoveJobUp(3));  // past the end: no neighbour exists
    EXPECT_FALSE(list->MoveJobDown(2));
    EXPECT_FALSE(list->MoveJobDown(-1));
    EXPECT_FALSE(list->MoveJobDown(3));
    EXPECT_EQ(view.selected, 7);
    ExpectJob(list->Jobs[0], 1);
    ExpectJob(list->Jobs[2], 2);

    ASSERT_TRUE(list->MoveJobDown(1));
    ExpectJob(list->Jobs[1], 2);
    ExpectJob(list->Jobs[2], 0);
    EXPECT_EQ(view.selected, 2);
    EXPECT_EQ(list->GetStartTime(2), 1);
    EXPECT_EQ(list->GetEndTime(2), 5);
    EXPECT_EQ(list->GetStartTime(-1), 0);
    EXPECT_EQ(list->GetEndTime(500), 0);
}

TEST(JobList, FullListRefusesThe501stAndClears) {
    auto list = std::make_unique<TVideoFileList>();
    FakeView view;
    list->BindView(&view);
    for (int i = 0; i < TVideoFileList::kCapacity; ++i) {
        ASSERT_EQ(list->AddJob("/v/" + std::to_string(i) + ".avi"), i);
        list->Jobs[i].Thumbnail = Picture(1);
    }
    EXPECT_EQ(list->AddJob("/v/extra.avi"), -1);
    EXPECT_EQ(list->LastIndex, 499);
    EXPECT_EQ(list->Jobs[499].SourceFile, "/v/499.avi");
    EXPECT_EQ(view.rows.size(), 500u);
    // Deleting the last slot of a full list.
    ASSERT_TRUE(list->DeleteJob(499));
    ExpectEmpty(list->Jobs[499]);
    EXPECT_EQ(list->AddJob("/v/again.avi"), 499);
    list->ClearJobs();
    EXPECT_EQ(list->LastIndex, -1);
    for (const FileInfo &j : list->Jobs) ExpectEmpty(j);
    EXPECT_TRUE(view.rows.empty());
}

TEST(JobTexts, FormatTimeText) {
    struct Case {
        std::int32_t seconds;
        const char *text;
    } cases[] = {
        {0, "00:00:00"},       {9, "00:00:09"},          {10, "00:00:10"},       {59, "00:00:59"},
        {60, "00:01:00"},      {3599, "00:59:59"},       {3600, "01:00:00"},     {3725, "01:02:05"},
        {36000, "10:00:00"},   {360000, "100:00:00"},    {-5, "00:00:00"},
        {2147483647, "596523:14:07"},
    };
    for (const Case &c : cases) EXPECT_EQ(FormatTimeText(c.seconds), c.text) << c.seconds;
}

TEST(JobTexts, RoundSecondsHalvesToEven) {
    struct Case {
        double in;
        std::int32_t out;
    } cases[] = {
        {0.0, 0},  {0.4, 0},   {0.5, 0},   {1.5, 2},    {2.5, 2},     {3.5, 4},   {2.5000001, 3},
        {95.4, 95}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2},  {1e12, 2147483647},  {-1e12, -2147483647 - 1},
        {std::nan(""), 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(RoundSeconds(c.in), c.out) << c.in;
        EXPECT_EQ(RoundHalfEven(c.in), c.out) << c.in;
    }
    EXPECT_EQ(RoundHalfEven((238 - 213) / 2.0), 12);
}

TEST(JobTexts, InfoRangeAndDefaultNames) {
    EXPECT_EQ(MakeInfoText(640, 480, 95.4), "Video Size:640x480 Video Length:00:01:35");
    EXPECT_EQ(MakeRangeText(2.5, 3725.5), "Begin: 00:00:02 End: 01:02:06");
    struct Case {
        const char *path, *name;
    } cases[] = {
        {"/home/u/Holiday.avi", "Holiday"},
        {"/home/u/a.avi.AVI", "a"},
        {"/home/u/noextension", "noextension"},
        {"/home/u/Movie.Part.mp4", "Movie.Part"},
        {"/home/u/x.avi.mkv", "x.avi"},
        {"C:\\clips\\Clip.WMV", "Clip"},
        {"/home/u/.avi", ".avi"},  // nothing would be left: keep the name
        {"/home/u/dir.d/file", "file"},
    };
    for (const Case &c : cases) EXPECT_EQ(DefaultJobName(c.path), c.name) << c.path;
}
