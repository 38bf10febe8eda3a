#include "profileeditor/FrmOption.h"

#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <climits>

#include "core/DialogService.h"
#include "core/SysConfigure.h"
#include "settings/CategoryTables.h"
#include "settings/WidgetKit.h"
#include "SkinTitleBar.h"
#include <QToolButton>

namespace velorin {

using namespace settings;

namespace {

const char *const kInformation = "Information";

QSpinBox *EditorNumberBox(const char *name, int value, QWidget *parent) {
    auto *box = MakeNumberBox(name, parent);
    box->setValue(value);
    return box;
}

QComboBox *EditorList(const char *name, QWidget *parent) { return MakeList(name, 10, parent); }

QStringList ToList(const std::vector<std::string> &items) {
    QStringList out;
    for (const std::string &s : items) out << QString::fromStdString(s);
    return out;
}

void Inform(const std::string &text, const std::string &caption) {
    Dialogs().MessageBox(text, caption, MsgButtons::Ok, MsgIcon::Information);
}

bool Ask(const std::string &text) {
    return Dialogs().MessageBox(text, ApplicationTitle(), MsgButtons::YesNo, MsgIcon::Question) ==
           MsgResult::Yes;
}

const char *HeadingOf(OutputCategory category) {
    switch (category) {
    case OutputCategory::PSP: return "PSP Config:";
    case OutputCategory::iPod: return "iPod Config:";
    case OutputCategory::iPhone: return "iPhone Config:";
    case OutputCategory::ThreeGP: return "3GP Config:";
    case OutputCategory::PDA: return "PDA Config:";
    case OutputCategory::Zune: return "Zune Config:";
    case OutputCategory::VOB: return "VOB Config:";
    case OutputCategory::Music: return "Music Config:";
    default: return "";
    }
}

}  // namespace

TFrmOption::TFrmOption(QWidget *owner, OutputCategory category, TConfigSetting *profiles,
                       TSysConfigure *system)
    : QDialog(owner), m_category(category), m_profiles(profiles), m_system(system) {
    setObjectName(QStringLiteral("FrmOption"));
    setWindowTitle(QStringLiteral("Profile Settings"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(SkinWindowStyle(objectName()));
    setModal(true);
    auto *titleBar = new SkinTitleBar(this, windowTitle(), "suiImageButton1", "suiImageButton2");
    suiImageButton1 = titleBar->MinimiseButton();
    suiImageButton2 = titleBar->CloseButton();
    connect(suiImageButton1, &QToolButton::clicked, this, [this] { showMinimized(); });
    connect(suiImageButton2, &QToolButton::clicked, this, [this] { suiImageButton3Click(); });

    Label16 = MakeLabel("Label16", QString(), this);
    QFont heading = Label16->font();
    heading.setBold(true);
    heading.setPointSizeF(heading.pointSizeF() * 1.25);
    Label16->setFont(heading);

    Label3 = MakeLabel("Label3", QStringLiteral("Profiles: "), this);
    cbProfiles = EditorList("cbProfiles", this);
    cbProfiles->setMinimumContentsLength(40);
    Label10 = MakeLabel("Label10", QStringLiteral("New Profile Name: "), this);
    edtProfileName = Named(new QLineEdit(this), "edtProfileName");

    Label2 = MakeLabel("Label2", QStringLiteral("Video Resolution:"), this);
    cbbResolution = EditorList("cbbResolution", this);
    Label13 = MakeLabel("Label13", QStringLiteral("Width:"), this);
    WidthBit = EditorNumberBox("WidthBit", 800, this);
    Label14 = MakeLabel("Label14", QStringLiteral("Height:"), this);
    HeightBit = EditorNumberBox("HeightBit", 800, this);
    Label4 = MakeLabel("Label4", QStringLiteral("Video Frame Rate:"), this);
    cbbFrameRate = EditorList("cbbFrameRate", this);
    Label5 = MakeLabel("Label5", QStringLiteral("Video Quality: "), this);
    edtVideoBit = EditorNumberBox("edtVideoBit", 800, this);
    Label8 = MakeLabel("Label8", QStringLiteral("Kbps"), this);
    Label6 = MakeLabel("Label6", QStringLiteral("Audio Quality:"), this);
    edtAudioBit = EditorNumberBox("edtAudioBit", 128, this);
    Label9 = MakeLabel("Label9", QStringLiteral("Kbps"), this);
    Label1 = MakeLabel("Label1", QStringLiteral("Audio Channels: "), this);
    cbbChannels = EditorList("cbbChannels", this);
    Refill(cbbChannels, ChannelItems(), 1);
    Label7 = MakeLabel("Label7", QStringLiteral("Volume:"), this);
    trckbrVolume = Named(new QSlider(Qt::Horizontal, this), "trckbrVolume");
    trckbrVolume->setRange(0, 200);
    trckbrVolume->setValue(100);
    trckbrVolume->setPageStep(2);
    trckbrVolume->setSingleStep(1);
    trckbrVolume->setMouseTracking(true);
    trckbrVolume->installEventFilter(this);
    lblVolumePercent = MakeLabel("lblVolumePercent", QStringLiteral("100%"), this);
    lblVolumePercent->setMinimumWidth(36);
    Label15 = MakeLabel("Label15", QStringLiteral("keep aspect ratio:"), this);
    cbbKeepAspect = EditorList("cbbKeepAspect", this);
    Refill(cbbKeepAspect, KeepAspectItems(), 1);
    Label12 = MakeLabel("Label12", QStringLiteral("Video Code:"), this);
    cbbVideoCode = EditorList("cbbVideoCode", this);
    Label11 = MakeLabel("Label11", QStringLiteral("Output File Type: "), this);
    cbbOutoutType = EditorList("cbbOutoutType", this);

    btnAdd = Named(new QPushButton(QStringLiteral("Add"), this), "btnAdd");
    btnAdd->setToolTip(QStringLiteral("Add the values below as a new profile under the new name"));
    btnDel = Named(new QPushButton(QStringLiteral("Delete"), this), "btnDel");
    btnDel->setToolTip(QStringLiteral("Delete the selected profile"));
    BtnOk = Named(new QPushButton(QStringLiteral("OK"), this), "BtnOk");
    suiImageButton3 = Named(new QPushButton(QStringLiteral("Cancel"), this), "suiImageButton3");
    for (QPushButton *b : {btnAdd, btnDel, BtnOk, suiImageButton3}) {
        b->setAutoDefault(false);
        b->setMinimumWidth(80);
    }

    auto *top = new QGridLayout;
    top->addWidget(Label3, 0, 0);
    top->addWidget(cbProfiles, 0, 1);
    top->addWidget(Label10, 1, 0);
    top->addWidget(edtProfileName, 1, 1);
    top->setColumnStretch(1, 1);

    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    auto *sizeRow = new QHBoxLayout;
    sizeRow->setSpacing(6);
    sizeRow->addWidget(Label13);
    sizeRow->addWidget(WidthBit);
    sizeRow->addSpacing(6);
    sizeRow->addWidget(Label14);
    sizeRow->addWidget(HeightBit);
    sizeRow->addStretch(1);
    grid->addWidget(Label2, 0, 0);
    grid->addWidget(cbbResolution, 0, 1, 1, 2);
    grid->addLayout(sizeRow, 0, 3, 1, 3);
    grid->addWidget(Label4, 1, 0);
    grid->addWidget(cbbFrameRate, 1, 1, 1, 2);
    grid->addWidget(Label15, 1, 3);
    grid->addWidget(cbbKeepAspect, 1, 4, 1, 2);
    grid->addWidget(Label5, 2, 0);
    grid->addWidget(edtVideoBit, 2, 1);
    grid->addWidget(Label8, 2, 2);
    grid->addWidget(Label6, 2, 3);
    grid->addWidget(edtAudioBit, 2, 4);
    grid->addWidget(Label9, 2, 5);
    auto *volumeRow = new QHBoxLayout;
    volumeRow->addWidget(trckbrVolume, 1);
    volumeRow->addWidget(lblVolumePercent);
    grid->addWidget(Label1, 3, 0);
    grid->addWidget(cbbChannels, 3, 1, 1, 2);
    grid->addWidget(Label7, 3, 3);
    grid->addLayout(volumeRow, 3, 4, 1, 2);
    grid->addWidget(Label12, 4, 0);
    grid->addWidget(cbbVideoCode, 4, 1, 1, 2);
    grid->addWidget(Label11, 4, 3);
    grid->addWidget(cbbOutoutType, 4, 4, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(4, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(btnAdd);
    buttons->addWidget(btnDel);
    buttons->addStretch(1);
    buttons->addWidget(BtnOk);
    buttons->addWidget(suiImageButton3);

    auto *frame = new QVBoxLayout(this);
    frame->setContentsMargins(1, 1, 1, 1);
    frame->setSpacing(0);
    frame->addWidget(titleBar);
    auto *outer = new QVBoxLayout;
    frame->addLayout(outer);
    outer->setContentsMargins(14, 12, 14, 12);
    outer->setSpacing(10);
    outer->addWidget(Label16);
    outer->addLayout(top);
    outer->addWidget(line);
    outer->addLayout(grid);
    outer->addStretch(1);
    outer->addLayout(buttons);
    setMinimumWidth(640);

    const auto modified = [this] { Modified = true; };
    connect(cbProfiles, &QComboBox::activated, this, [this] { cbProfilesSelect(); });
    connect(cbbResolution, &QComboBox::activated, this, [this] { cbbResolutionChange(); });
    connect(cbbVideoCode, &QComboBox::activated, this, [this] { cbbVideoCodeChange(); });
    connect(cbbOutoutType, &QComboBox::activated, this, [this] { cbbOutoutTypeChange(); });
    connect(cbbFrameRate, &QComboBox::activated, this, modified);
    connect(cbbChannels, &QComboBox::activated, this, modified);
    for (QSpinBox *box : {edtVideoBit, edtAudioBit, WidthBit, HeightBit})
        connect(box, &QSpinBox::valueChanged, this, modified);
    connect(trckbrVolume, &QSlider::valueChanged, this, [this] {
        Modified = true;
        trckbrVolumeChange();
    });
    connect(btnAdd, &QPushButton::clicked, this, [this] { btnAddClick(); });
    connect(btnDel, &QPushButton::clicked, this, [this] { btnDelClick(); });
    connect(BtnOk, &QPushButton::clicked, this, [this] { BtnOkClick(); });
    connect(suiImageButton3, &QPushButton::clicked, this, [this] { suiImageButton3Click(); });
}

TFrmOption::~TFrmOption() = default;

TConfigSetting &TFrmOption::Profiles() const { return ProfileStore(m_profiles); }
TSysConfigure &TFrmOption::System() const { return SystemSettings(m_system); }

int TFrmOption::FirstEditable() const {
    const TConfigSetting &s = Profiles();
    return MusicMode ? s.FirstEditableMusic : s.FirstEditableVideo;
}

int TFrmOption::WorkingCount() const {
    const TConfigSetting &s = Profiles();
    return std::clamp<int>(MusicMode ? s.WorkingMusicCount : s.WorkingVideoCount, 0, kMaxProfiles);
}

std::string TFrmOption::WorkingName(int index) const {
    const TConfigSetting &s = Profiles();
    return MusicMode ? s.WorkingMusicProfiles[index].Name : s.WorkingVideoProfiles[index].Name;
}

bool TFrmOption::IsDuplicateName(const std::string &name, int skipIndex) const {
    for (int i = std::max(FirstEditable(), 0); i < WorkingCount(); ++i)
        if (i != skipIndex && WorkingName(i) == name) return true;
    return false;
}

void TFrmOption::RefillProfileBox() {
    const TConfigSetting &s = Profiles();
    QStringList summaries;
    for (int i = 0; i < WorkingCount(); ++i)
        summaries << QString::fromStdString(MusicMode ? s.WorkingMusicProfiles[i].Summary
                                                      : s.WorkingVideoProfiles[i].Summary);
    Refill(cbProfiles, summaries, summaries.isEmpty() ? -1 : 0);
}

void TFrmOption::SetVideoControlsEnabled(bool enabled) {
    cbbVideoCode->setEnabled(enabled || m_category == OutputCategory::Music);
    for (QWidget *w : std::initializer_list<QWidget *>{Label4, Label2, Label15, Label5, Label13, Label14,
                                                       cbbResolution, cbbKeepAspect, edtVideoBit, WidthBit,
                                                       HeightBit, cbbFrameRate})
        w->setEnabled(enabled);
    Label12->setText(enabled ? QStringLiteral("Video Code:") : QStringLiteral("Music Code:"));
}

void TFrmOption::FormShow() {
    TConfigSetting &s = Profiles();
    Label16->setText(QString::fromLatin1(HeadingOf(m_category)));
    if (m_category == OutputCategory::Music) {
        Refill(cbbVideoCode, ToList(CodecList(m_category)), 0);
        Refill(cbbOutoutType, ToList(OutputTypeList(m_category)), 0);
        s.WorkingMusicProfiles = s.MusicProfiles;
        s.WorkingMusicCount = std::clamp<std::int32_t>(s.MusicCount, 0, kMaxProfiles);
        MusicMode = true;
        SetVideoControlsEnabled(false);
        Label12->setText(QStringLiteral("Music Codec:"));
        s.FirstEditableMusic = 1;
    } else {
        SetVideoControlsEnabled(true);
        if (const VideoProfileList *list = s.VideoProfilesOf(m_category)) {
            s.WorkingVideoProfiles = *list;
            s.WorkingVideoCount = std::clamp<std::int32_t>(std::as_const(s).CountOf(m_category), 0, kMaxProfiles);
        } else {
            s.WorkingVideoCount = 0;  // not a profile category: nothing to edit
        }
        const CategoryLists &lists = ListsOf(m_category);
        Refill(cbbResolution, lists.resolutions, lists.defaultResolution);
        Refill(cbbVideoCode, lists.codecs, 0);
        Refill(cbbOutoutType, lists.outputTypes, 0);
        Refill(cbbFrameRate, lists.frameRates, 0);
        Refill(cbbKeepAspect, KeepAspectItems(), 1);
        s.FirstEditableVideo = 1;
        MusicMode = false;
    }
    RefillProfileBox();
    cbProfilesSelect();
    Modified = false;
}

void TFrmOption::cbProfilesSelect() {
    const int i = cbProfiles->currentIndex();
    if (i >= 0 && i < WorkingCount()) {
        const TConfigSetting &s = Profiles();
        if (MusicMode) {
            const MusicConfigParameter &m = s.WorkingMusicProfiles[i];
            System().iMusiciProfilesIndex = i;
            SetQuiet(edtAudioBit, m.AudioBitrate);
            SetQuiet(trckbrVolume, m.Volume);
            SelectQuiet(cbbVideoCode, m.AudioCodecIndex);
            SelectQuiet(cbbChannels, m.Channels);
            edtProfileName->setText(QString::fromStdString(m.Name));
        } else {
            const VideoConfigParameter &v = s.WorkingVideoProfiles[i];
            SelectQuiet(cbbResolution, v.ResolutionIndex);
            SelectQuiet(cbbFrameRate, v.FrameRateIndex);
            SetQuiet(edtVideoBit, v.VideoBitrate);
            SetQuiet(edtAudioBit, v.AudioBitrate);
            SetQuiet(trckbrVolume, v.Volume);
            SelectQuiet(cbbChannels, v.Channels);
            SelectQuiet(cbbVideoCode, v.VideoCodecIndex);
            SelectQuiet(cbbOutoutType, v.OutputTypeIndex);
            SetQuiet(HeightBit, v.Height);
            SetQuiet(WidthBit, v.Width);
            SelectQuiet(cbbKeepAspect, v.KeepAspect);
            edtProfileName->setText(QString::fromStdString(v.Name));
            cbbResolutionChange();
        }
    }
    cbbVideoCodeChange();
    trckbrVolumeChange();
}

void TFrmOption::cbbResolutionChange() {
    if (const auto size = ParseResolutionText(cbbResolution->currentText())) {
        SetQuiet(WidthBit, size->width);
        SetQuiet(HeightBit, size->height);
        if (m_category == OutputCategory::ThreeGP) {
            const bool h263 = ThreeGPSizeAllowsH263(cbbResolution->currentIndex());
            SelectQuiet(cbbVideoCode, h263 ? 0 : 1);
            cbbVideoCode->setEnabled(h263);
        }
    }
    Modified = true;
}

void TFrmOption::cbbVideoCodeChange() {
    if (m_category != OutputCategory::ThreeGP) {
        SelectQuiet(cbbOutoutType, cbbVideoCode->currentIndex());
    } else if (cbbVideoCode->currentIndex() == 0) {
        Refill(cbbChannels, {QStringLiteral("Mono")}, 0);
    } else {
        Refill(cbbChannels, ChannelItems(), 1);
    }
    Modified = true;
}

void TFrmOption::cbbOutoutTypeChange() {
    if (m_category != OutputCategory::ThreeGP) SelectQuiet(cbbVideoCode, cbbOutoutType->currentIndex());
    Modified = true;
}

void TFrmOption::trckbrVolumeChange() {
    lblVolumePercent->setText(QStringLiteral("%1%").arg(trckbrVolume->value()));
}

bool TFrmOption::eventFilter(QObject *watched, QEvent *event) {
    if (watched == trckbrVolume && (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove))
        trckbrVolumeChange();
    return QDialog::eventFilter(watched, event);
}

std::string TFrmOption::StoredTextFromControls() const {
    QString text;
    if (MusicMode) {
        text = QStringLiteral("%1|%2|0|%3|%4|")
                   .arg(edtAudioBit->value())
                   .arg(trckbrVolume->value())
                   .arg(cbbChannels->currentIndex())
                   .arg(cbbVideoCode->currentIndex());
    } else {
        text = QStringLiteral("%1|%2|%3|%4|%5|%6|0|%7|%8|%9|")
                   .arg(cbbResolution->currentIndex())
                   .arg(cbbFrameRate->currentIndex())
                   .arg(edtVideoBit->value())
                   .arg(edtAudioBit->value())
                   .arg(trckbrVolume->value())
                   .arg(cbbChannels->currentIndex())
                   .arg(cbbKeepAspect->currentIndex())
                   .arg(cbbVideoCode->currentIndex())
                   .arg(cbbOutoutType->currentIndex());
        text += QStringLiteral("%1|%2|3|").arg(WidthBit->value()).arg(HeightBit->value());
    }
    return text.toStdString();
}

namespace {

const char *const kDuplicateName = "This profile name has already existed, please choose another one.";
const char *const kUnstorableName =
    "This profile name can not be kept in the settings file (it must not contain \"=\", start with "
    "\"[\" or \";\", or be one of the list's own key names), please choose another one.";

}  // namespace

void TFrmOption::btnAddClick() {
    const std::string name = edtProfileName->text().trimmed().toStdString();
    if (name.empty()) {
        Inform("Please input a valid profile name in \"New Profile Name\".", kInformation);
        return;
    }
    if (IsDuplicateName(name, -1)) {
        Inform(kDuplicateName, kInformation);
        return;
    }
    if (!TConfigSetting::IsStorableProfileName(m_category, name)) {
        Inform(kUnstorableName, kInformation);
        return;
    }
    if (WorkingCount() >= kMaxProfiles) {
        Inform("The profile list is full: a category holds at most " + std::to_string(kMaxProfiles) +
                   " profiles. Delete a profile before adding another one.",
               kInformation);
        return;
    }
    TConfigSetting &s = Profiles();
    const std::string text = StoredTextFromControls();
    std::string summary;
    try {
        bool added;
        if (MusicMode) {
            MusicConfigParameter record;
            TConfigSetting::ParseMusicProfile(text, name, record);
            summary = record.Summary;
            added = s.AddWorkingMusicProfile(record);
        } else {
            VideoConfigParameter record;
            TConfigSetting::ParseVideoProfile(text, name, record);
            summary = record.Summary;
            added = s.AddWorkingVideoProfile(record);
        }
        if (!added) return;  // full; checked above
    } catch (const std::exception &error) {
        Dialogs().MessageBox(error.what(), "Error", MsgButtons::Ok, MsgIcon::Error);
        return;
    }
    cbProfiles->addItem(QString::fromStdString(summary));
    // An added profile is a change that OK keeps and closing asks about.
    Modified = true;
    Inform("Add profile successfully.", ApplicationTitle());
    SelectQuiet(cbProfiles, cbProfiles->count() - 1);
}

void TFrmOption::btnDelClick() {
    const int i = cbProfiles->currentIndex();
    if (i < FirstEditable() || i < 1) {
        Inform("Can not delete Finally profiles.", kInformation);
        return;
    }
    if (i >= WorkingCount()) return;
    const std::string name = WorkingName(i);
    if (!Ask("Are you sure you want to remove profile \"" + name + "\"?")) return;
    TConfigSetting &s = Profiles();
    if (MusicMode)
        s.DeleteWorkingMusicProfile(i);
    else
        s.DeleteWorkingVideoProfile(i);
    RefillProfileBox();
    SelectQuiet(cbProfiles, cbProfiles->count() - 1);
    cbProfilesSelect();
    Modified = true;
    Inform("Delete profile \"" + name + "\" successfully.", ApplicationTitle());
}

void TFrmOption::CopyBack(int selected) {
    TConfigSetting &s = Profiles();
    if (MusicMode) {
        s.MusicCount = s.WorkingMusicCount;
        s.MusicProfiles = s.WorkingMusicProfiles;
    } else if (VideoProfileList *list = s.VideoProfilesOf(m_category)) {
        *s.CountOf(m_category) = s.WorkingVideoCount;
        *list = s.WorkingVideoProfiles;
    }
    if (std::int32_t *remembered = RememberedProfileIndex(System(), m_category)) *remembered = selected;
}

void TFrmOption::CloseAccepted() {
    m_closing = true;
    accept();
}

void TFrmOption::BtnOkClick() {
    if (!Modified) {
        CloseAccepted();
        return;
    }
    // A name of blanks would be stored as an empty name, which the settings
    // file cannot key: it is refused like an empty one.
    const std::string name = edtProfileName->text().trimmed().toStdString();
    if (name.empty()) {
        Inform("Profile Name Can not be empty!", ApplicationTitle());
        return;
    }
    if (!Ask("Are you sure you want to save the changes?")) return;
    const int i = cbProfiles->currentIndex();
    if (i < 0 || i >= WorkingCount()) return;
    if (IsDuplicateName(name, i)) {
        Inform(kDuplicateName, kInformation);
        return;
    }
    if (i >= 1 && !TConfigSetting::IsStorableProfileName(m_category, name)) {
        Inform(kUnstorableName, kInformation);
        return;
    }
    TConfigSetting &s = Profiles();
    const std::string text = StoredTextFromControls();
    try {
        if (MusicMode) {
            MusicConfigParameter record;
            TConfigSetting::ParseMusicProfile(text, name, record);
            s.WorkingMusicProfiles[i] = record;
        } else {
            VideoConfigParameter record;
            TConfigSetting::ParseVideoProfile(text, name, record);
            s.WorkingVideoProfiles[i] = record;
        }
    } catch (const std::exception &error) {
        Dialogs().MessageBox(error.what(), "Error", MsgButtons::Ok, MsgIcon::Error);
        return;
    }
    Inform("Save profile successfully.", ApplicationTitle());
    CopyBack(i);
    CloseAccepted();
}

void TFrmOption::suiImageButton3Click() {
    if (Modified && !Ask("Are you sure you want to discard the changes?")) return;
    m_closing = true;
    QDialog::reject();
}

// Escape and the window's close button (QDialog routes both here).
void TFrmOption::reject() {
    if (m_closing) {
        QDialog::reject();
        return;
    }
    suiImageButton3Click();
}

void TFrmOption::showEvent(QShowEvent *event) {
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
    QDialog::showEvent(event);
}

void RunProfileEditor(QWidget *owner, OutputCategory category, TConfigSetting *profiles,
                      TSysConfigure *system) {
    auto *editor = new TFrmOption(owner, category, profiles, system);
    editor->setAttribute(Qt::WA_DeleteOnClose, false);
    editor->exec();
    delete editor;
}

}  // namespace velorin
