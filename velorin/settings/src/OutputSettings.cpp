#include "settings/OutputSettings.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>

#include <climits>

#include "core/SysConfigure.h"
#include "core/VideoFileList.h"
#include "profileeditor/FrmOption.h"
#include "settings/CategoryIcons.h"
#include "settings/CategoryTables.h"
#include "settings/WidgetKit.h"

namespace velorin {

using namespace settings;

namespace {

// The panel's boxes are narrow: keep numbers readable and let the drop-down
// show whole texts.
QSpinBox *PanelNumberBox(const char *name, QWidget *parent) {
    auto *box = MakeNumberBox(name, parent);
    box->setMinimumWidth(52);
    return box;
}

QComboBox *PanelList(const char *name, QWidget *parent) { return MakeList(name, 5, parent); }

void RefillWide(QComboBox *box, const QStringList &items, int selected) {
    Refill(box, items, selected);
    box->view()->setMinimumWidth(box->view()->sizeHintForColumn(0) + 24);
}

}  // namespace

// ---------------------------------------------------------------------------
// TCategoryBar

TCategoryBar::TCategoryBar(QWidget *parent) : QWidget(parent) {
    setObjectName(QStringLiteral("CategoryBar"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(4, 2, 4, 2);
    row->setSpacing(2);
    QToolButton **named[kCategoryCount] = {&BtnPSP,   &BtniPod,  &BtniPhone, &BtnThreeGP, &BtnZune,
                                           &BtnPDA,   &BtnMusic, &BtnAVI,    &BtnMPEG4,   &BtnMPEG2,
                                           &BtnVOB,   &BtnWMV,   &BtnSWF,    &BtnMOV};
    for (int i = 0; i < kCategoryCount; ++i) {
        const OutputCategory category = CategoryAt(i);
        const CategoryLists &lists = ListsOf(category);
        auto *button = Named(new QToolButton(this), lists.buttonName);
        button->setText(QString::fromLatin1(lists.caption));
        button->setToolTip(QStringLiteral("Convert to %1").arg(QString::fromLatin1(lists.caption)));
        button->setIcon(CategoryIcon(category));
        button->setIconSize(QSize(32, 32));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setFixedSize(56, 58);
        button->setAutoRaise(true);
        connect(button, &QToolButton::clicked, this, [this, category] { emit categoryClicked(category); });
        row->addWidget(button);
        m_buttons[i] = button;
        *named[i] = button;
    }
    row->addStretch(1);
    // The chosen category is the disabled button; it should read as
    // "selected", not greyed out.
    setStyleSheet(QStringLiteral(
        "QToolButton { border: 1px solid transparent; border-radius: 6px; padding: 2px;"
        " color: #20303c; font-size: 11px; }"
        "QToolButton:hover { border-color: #7aa7c7; background: #e6f0f7; }"
        "QToolButton:disabled { border-color: #2f6f9f; background: #cfe3f2; color: #0c3a5c;"
        " font-weight: bold; }"));
}

QToolButton *TCategoryBar::Button(OutputCategory category) const { return m_buttons[PositionOf(category)]; }

void TCategoryBar::EnableAll(bool enabled) {
    for (QToolButton *button : m_buttons) button->setEnabled(enabled);
}

// ---------------------------------------------------------------------------
// TOutputSettings

TOutputSettings::TOutputSettings(QWidget *parent)
    : QWidget(parent), m_bar(new TCategoryBar(this)), m_selected(OutputCategory::AVI) {
    setObjectName(QStringLiteral("OutputSettings"));
    m_bar->hide();  // shown where the main window places it

    Label3 = MakeLabel("Label3", QStringLiteral("Profiles: "), this);
    cbProfiles = PanelList("cbProfiles", this);
    cbProfiles->setMinimumContentsLength(20);
    BtnOption = Named(new QPushButton(QStringLiteral("Edit..."), this), "BtnOption");
    BtnOption->setToolTip(QStringLiteral("Add, change or delete the profiles of this category"));

    Label2 = MakeLabel("Label2", QStringLiteral("Video Resolution:"), this);
    cbbResolution = PanelList("cbbResolution", this);
    Label13 = MakeLabel("Label13", QStringLiteral("Width:"), this);
    WidthBit = PanelNumberBox("WidthBit", this);
    Label14 = MakeLabel("Label14", QStringLiteral("Height:"), this);
    HeightBit = PanelNumberBox("HeightBit", this);

    Label4 = MakeLabel("Label4", QStringLiteral("Video Frame Rate:"), this);
    cbbFrameRate = PanelList("cbbFrameRate", this);
    Label15 = MakeLabel("Label15", QStringLiteral("Keep Aspect Ratio:"), this);
    cbbKeepAspect = PanelList("cbbKeepAspect", this);

    Label5 = MakeLabel("Label5", QStringLiteral("Video Quality: "), this);
    edtVideoBit = PanelNumberBox("edtVideoBit", this);
    auto *videoKbps = MakeLabel("lblVideoKbps", QStringLiteral("Kbps"), this);
    auto *audioLabel = MakeLabel("lblAudioQuality", QStringLiteral("Audio:"), this);
    edtAudioBit = PanelNumberBox("edtAudioBit", this);
    auto *audioKbps = MakeLabel("lblAudioKbps", QStringLiteral("Kbps"), this);

    auto *channelsLabel = MakeLabel("lblChannels", QStringLiteral("Channels:"), this);
    cbbChannels = PanelList("cbbChannels", this);
    auto *volumeLabel = MakeLabel("lblVolume", QStringLiteral("Volume:"), this);
    trckbrVolume = Named(new QSlider(Qt::Horizontal, this), "trckbrVolume");
    trckbrVolume->setRange(0, 200);
    trckbrVolume->setValue(100);
    trckbrVolume->setPageStep(2);
    trckbrVolume->setSingleStep(1);
    lblVolumePercent = MakeLabel("lblVolumePercent", QStringLiteral("100%"), this);
    lblVolumePercent->setMinimumWidth(36);

    Label12 = MakeLabel("Label12", QStringLiteral("Video Codec:"), this);
    cbbVideoCode = PanelList("cbbVideoCode", this);
    auto *typeLabel = MakeLabel("lblOutputType", QStringLiteral("Output:"), this);
    cbbOutoutType = PanelList("cbbOutoutType", this);

    iQuality = Named(new QLineEdit(QStringLiteral("3"), this), "iQuality");
    iQuality->hide();

    // Compact: three groups of label, field and unit side by side, so the
    // panel fits the main window's strip of about 600x144.
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(4, 2, 4, 2);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(2);
    auto *profileRow = new QHBoxLayout;
    profileRow->addWidget(cbProfiles, 1);
    profileRow->addWidget(BtnOption);
    grid->addWidget(Label3, 0, 0);
    grid->addLayout(profileRow, 0, 1, 1, 8);

    // Group 1: the picture.
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(cbbResolution, 1, 1, 1, 2);
    grid->addWidget(Label4, 2, 0);
    grid->addWidget(cbbFrameRate, 2, 1, 1, 2);
    grid->addWidget(Label5, 3, 0);
    grid->addWidget(edtVideoBit, 3, 1);
    grid->addWidget(videoKbps, 3, 2);
    grid->addWidget(Label12, 4, 0);
    grid->addWidget(cbbVideoCode, 4, 1, 1, 2);

    // Group 2: size, proportions, sound quality, container.
    grid->addWidget(Label13, 1, 3);
    grid->addWidget(WidthBit, 1, 4);
    grid->addWidget(Label14, 2, 3);
    grid->addWidget(HeightBit, 2, 4);
    grid->addWidget(audioLabel, 3, 3);
    grid->addWidget(edtAudioBit, 3, 4);
    grid->addWidget(audioKbps, 3, 5);
    grid->addWidget(typeLabel, 4, 3);
    grid->addWidget(cbbOutoutType, 4, 4, 1, 2);

    // Group 3: aspect and sound.
    grid->addWidget(Label15, 1, 6);
    grid->addWidget(cbbKeepAspect, 1, 7, 1, 2);
    grid->addWidget(channelsLabel, 2, 6);
    grid->addWidget(cbbChannels, 2, 7, 1, 2);
    grid->addWidget(volumeLabel, 3, 6);
    grid->addWidget(trckbrVolume, 3, 7);
    grid->addWidget(lblVolumePercent, 3, 8);
    grid->setColumnStretch(1, 5);
    grid->setColumnStretch(4, 2);
    grid->setColumnStretch(7, 1);
    grid->setRowStretch(5, 1);

    RefillWide(cbbChannels, ChannelItems(), 1);
    RefillWide(cbbKeepAspect, KeepAspectItems(), 1);

    // The profile row keeps its room while hidden, so the controls below do
    // not jump between categories.
    for (QWidget *w : std::initializer_list<QWidget *>{Label3, cbProfiles, BtnOption}) {
        QSizePolicy policy = w->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        w->setSizePolicy(policy);
    }

    // Only the user's choices run the handlers (activated, not
    // currentIndexChanged): from code, the handlers are called explicitly.
    connect(m_bar, &TCategoryBar::categoryClicked, this, &TOutputSettings::SelectCategory);
    connect(cbProfiles, &QComboBox::activated, this, [this] { cbProfilesSelect(); });
    connect(cbbResolution, &QComboBox::activated, this, [this] { cbbResolutionChange(); });
    connect(cbbVideoCode, &QComboBox::activated, this, [this] { cbbVideoCodeChange(); });
    connect(cbbOutoutType, &QComboBox::activated, this, [this] { cbbOutoutTypeChange(); });
    // The label only mirrors the slider, so it follows every change.
    connect(trckbrVolume, &QSlider::valueChanged, this, [this] { trckbrVolumeChange(); });
    connect(BtnOption, &QPushButton::clicked, this, [this] { BtnOptionClick(); });
}

TOutputSettings::~TOutputSettings() = default;

void TOutputSettings::SetCategoryChangedHandler(std::function<void(OutputCategory)> handler) {
    m_categoryChanged = std::move(handler);
}

void TOutputSettings::SetSelectedJobProvider(std::function<const FileInfo *()> provider) {
    m_selectedJob = std::move(provider);
}

void TOutputSettings::SetStores(TConfigSetting *profiles, TSysConfigure *system) {
    m_profiles = profiles;
    m_system = system;
}

void TOutputSettings::SetProfileEditorRunner(std::function<void(QWidget *, OutputCategory)> runner) {
    m_editorRunner = std::move(runner);
}

TConfigSetting &TOutputSettings::Profiles() const { return ProfileStore(m_profiles); }
TSysConfigure &TOutputSettings::System() const { return SystemSettings(m_system); }

OutputCategory TOutputSettings::SelectedCategory() const {
    // The disabled button is the record; with all buttons disabled together
    // (or all enabled) it says nothing, and the last choice stands.
    int disabled = -1, disabledCount = 0;
    for (int i = 0; i < kCategoryCount; ++i) {
        if (!m_bar->Button(CategoryAt(i))->isEnabled()) {
            disabled = i;
            ++disabledCount;
        }
    }
    return disabledCount == 1 ? CategoryAt(disabled) : m_selected;
}

void TOutputSettings::EnableCategoryButtons(bool enabled) { m_bar->EnableAll(enabled); }

void TOutputSettings::SetVideoControlsEnabled(bool enabled) {
    const OutputCategory category = SelectedCategory();
    if (category != OutputCategory::ThreeGP) cbbVideoCode->setEnabled(true);
    for (QWidget *w : std::initializer_list<QWidget *>{Label4, Label2, Label15, Label5, Label13, Label14,
                                                       cbbResolution, cbbKeepAspect, edtVideoBit, WidthBit,
                                                       HeightBit, cbbFrameRate})
        w->setEnabled(enabled);
    Label12->setText(enabled ? QStringLiteral("Video Codec:") : QStringLiteral("Music Codec:"));
    const bool profiles = !IsPlainFormat(category);
    Label3->setVisible(profiles);
    cbProfiles->setVisible(profiles);
    BtnOption->setVisible(profiles);
}

void TOutputSettings::BtnPSPClick() { SelectCategory(OutputCategory::PSP); }
void TOutputSettings::BtniPodClick() { SelectCategory(OutputCategory::iPod); }
void TOutputSettings::BtniPhoneClick() { SelectCategory(OutputCategory::iPhone); }
void TOutputSettings::BtnThreeGPClick() { SelectCategory(OutputCategory::ThreeGP); }
void TOutputSettings::BtnZuneClick() { SelectCategory(OutputCategory::Zune); }
void TOutputSettings::BtnPDAClick() { SelectCategory(OutputCategory::PDA); }
void TOutputSettings::BtnMusicClick() { SelectCategory(OutputCategory::Music); }
void TOutputSettings::BtnAVIClick() { SelectCategory(OutputCategory::AVI); }
void TOutputSettings::BtnMPEG4Click() { SelectCategory(OutputCategory::MPEG4); }
void TOutputSettings::BtnMPEG2Click() { SelectCategory(OutputCategory::MPEG2); }
void TOutputSettings::BtnVOBClick() { SelectCategory(OutputCategory::VOB); }
void TOutputSettings::BtnWMVClick() { SelectCategory(OutputCategory::WMV); }
void TOutputSettings::BtnSWFClick() { SelectCategory(OutputCategory::SWF); }
void TOutputSettings::BtnMOVClick() { SelectCategory(OutputCategory::MOV); }

void TOutputSettings::ApplyCategoryLists(OutputCategory category) {
    const CategoryLists &lists = ListsOf(category);
    if (category == OutputCategory::Music) {
        RefillWide(cbbResolution, {}, -1);
        RefillWide(cbbKeepAspect, {}, -1);
        RefillWide(cbbFrameRate, {}, -1);
        SetQuiet(edtVideoBit, 0);
        SetQuiet(WidthBit, 0);
        SetQuiet(HeightBit, 0);
    } else {
        RefillWide(cbbResolution, lists.resolutions, lists.defaultResolution);
        if (IsPlainFormat(category)) cbbResolutionChange();
        RefillWide(cbbKeepAspect, KeepAspectItems(), 1);
        RefillWide(cbbFrameRate, lists.frameRates, 0);
    }
    RefillWide(cbbVideoCode, lists.codecs, 0);
    RefillWide(cbbOutoutType, lists.outputTypes, 0);
    SetChannelItems(false);
}

void TOutputSettings::SetChannelItems(bool monoOnly) {
    if (monoOnly)
        RefillWide(cbbChannels, {QStringLiteral("Mono")}, 0);
    else
        RefillWide(cbbChannels, ChannelItems(), 1);
}

void TOutputSettings::FillProfiles(OutputCategory category) {
    TConfigSetting &store = Profiles();
    const int count = std::clamp<int>(std::as_const(store).CountOf(category), 0, kMaxProfiles);
    QStringList summaries;
    for (int i = 0; i < count; ++i) {
        const std::string &summary = category == OutputCategory::Music ? store.MusicProfiles[i].Summary
                                                                       : (*store.VideoProfilesOf(category))[i].Summary;
        summaries << QString::fromStdString(summary);
    }
    // A remembered index past the list selects the last profile; a negative
    // one (only from a hand-edited config.ini) the first.
    const std::int32_t *remembered = RememberedProfileIndex(System(), category);
    int index = remembered ? *remembered : 0;
    if (index >= count) index = count - 1;
    if (index < 0) index = count > 0 ? 0 : -1;
    RefillWide(cbProfiles, summaries, index);
}

void TOutputSettings::SelectCategory(OutputCategory category) {
    EnableCategoryButtons(true);
    m_bar->Button(category)->setEnabled(false);
    m_selected = category;
    SetVideoControlsEnabled(category != OutputCategory::Music);
    ApplyCategoryLists(category);
    if (m_categoryChanged) m_categoryChanged(category);
    if (HasProfiles(category)) {
        FillProfiles(category);
        cbProfilesSelect();
    } else {
        // No profile applies to the plain formats.
        iQuality->setText(QStringLiteral("3"));
    }
}

int TOutputSettings::FindResolutionItem(int profileIndex) const {
    const OutputCategory category = SelectedCategory();
    const TConfigSetting &store = Profiles();
    const VideoProfileList *list = store.VideoProfilesOf(category);
    if (!list || profileIndex < 0 || profileIndex >= std::min<int>(std::as_const(store).CountOf(category), kMaxProfiles))
        return 0;
    QStringList items;
    for (int i = 0; i < cbbResolution->count(); ++i) items << cbbResolution->itemText(i);
    const VideoConfigParameter &p = (*list)[profileIndex];
    return settings::FindResolutionItem(items, p.Width, p.Height);
}

void TOutputSettings::cbProfilesSelect() {
    iQuality->setText(QStringLiteral("3"));
    const OutputCategory category = SelectedCategory();
    TConfigSetting &store = Profiles();
    const int p = cbProfiles->currentIndex();
    const int count = std::min<int>(std::as_const(store).CountOf(category), kMaxProfiles);
    const bool valid = HasProfiles(category) && p >= 0 && p < count;
    if (valid) {
        if (std::int32_t *remembered = RememberedProfileIndex(System(), category)) *remembered = p;
    }
    if (valid && category == OutputCategory::Music) {
        const MusicConfigParameter &m = store.MusicProfiles[p];
        SetQuiet(edtAudioBit, m.AudioBitrate);
        trckbrVolume->setValue(m.Volume);
        SelectQuiet(cbbVideoCode, m.AudioCodecIndex);
        SelectQuiet(cbbChannels, m.Channels);
    } else if (valid) {
        const VideoConfigParameter &v = (*store.VideoProfilesOf(category))[p];
        SelectQuiet(cbbResolution, FindResolutionItem(p));
        SelectQuiet(cbbFrameRate, v.FrameRateIndex);
        SetQuiet(edtVideoBit, v.VideoBitrate);
        SetQuiet(edtAudioBit, v.AudioBitrate);
        trckbrVolume->setValue(v.Volume);
        SelectQuiet(cbbChannels, v.Channels);
        SelectQuiet(cbbVideoCode, v.VideoCodecIndex);
        SelectQuiet(cbbOutoutType, v.OutputTypeIndex);
        SetQuiet(HeightBit, v.Height);
        SetQuiet(WidthBit, v.Width);
        SelectQuiet(cbbKeepAspect, v.KeepAspect);
        iQuality->setText(QString::number(v.Quality));
        cbbResolutionChange();
    }
    cbbVideoCodeChange();
    trckbrVolumeChange();
}

void TOutputSettings::cbbResolutionChange() {
    const QString text = cbbResolution->currentText().trimmed();
    if (cbbResolution->currentIndex() < 0) return;  // empty list (Music): nothing to follow
    if (IsSizeText(text)) {
        const auto size = ParseResolutionText(text);
        if (!size) return;
        SetQuiet(WidthBit, size->width);
        SetQuiet(HeightBit, size->height);
        WidthBit->setEnabled(true);
        HeightBit->setEnabled(true);
    } else if (const FileInfo *job = m_selectedJob ? m_selectedJob() : nullptr) {
        if (cbbResolution->currentIndex() != 0) {
            // "Costom Size": free entry.
            WidthBit->setEnabled(true);
            HeightBit->setEnabled(true);
        } else {
            // "Original Size": the source's own size.
            WidthBit->setEnabled(false);
            HeightBit->setEnabled(false);
            SetQuiet(WidthBit, job->VideoWidth);
            SetQuiet(HeightBit, job->VideoHeight);
        }
    }
    if (SelectedCategory() == OutputCategory::ThreeGP) {
        const bool h263 = ThreeGPSizeAllowsH263(cbbResolution->currentIndex());
        SelectQuiet(cbbVideoCode, h263 ? 0 : 1);
        cbbVideoCode->setEnabled(h263);
    }
}

void TOutputSettings::cbbVideoCodeChange() {
    if (SelectedCategory() != OutputCategory::ThreeGP)
        SelectQuiet(cbbOutoutType, cbbVideoCode->currentIndex());
    else
        SetChannelItems(cbbVideoCode->currentIndex() == 0);
}

void TOutputSettings::cbbOutoutTypeChange() {
    if (SelectedCategory() != OutputCategory::ThreeGP) SelectQuiet(cbbVideoCode, cbbOutoutType->currentIndex());
}

void TOutputSettings::trckbrVolumeChange() {
    lblVolumePercent->setText(QStringLiteral("%1%").arg(trckbrVolume->value()));
}

void TOutputSettings::BtnOptionClick() {
    const OutputCategory category = SelectedCategory();
    if (!HasProfiles(category)) return;  // the button is hidden for these
    const int remembered = cbProfiles->currentIndex();
    if (m_editorRunner)
        m_editorRunner(window(), category);
    else
        RunProfileEditor(window(), category, m_profiles, m_system);
    try {
        // Rebuild the lists and profiles from the possibly changed store.
        SelectCategory(category);
    } catch (...) {
    }
    // Back to the profile chosen before the editor opened, as far as it
    // still exists: past the end means the last one, negative the first.
    const int count = cbProfiles->count();
    int wanted = remembered;
    if (wanted >= count) wanted = count - 1;
    if (wanted < 0) wanted = count > 0 ? 0 : -1;
    if (cbProfiles->currentIndex() != wanted) SelectQuiet(cbProfiles, wanted);
    cbProfilesSelect();
}

}  // namespace velorin
