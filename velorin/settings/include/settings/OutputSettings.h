// Output category selection and the output-settings controls of the main
// window.
//
// Two widgets: TCategoryBar holds the fourteen category buttons, and
// TOutputSettings holds the output-settings controls with every handler.
// TOutputSettings creates its bar; the main window places both in its
// layout (adding the bar to a layout re-parents it, which is fine; a bar
// never placed is deleted with the panel).
//
// The selected category is recorded the way the rest of the program reads
// it: its button is the one disabled button of the bar. SelectedCategory()
// reads it there. While all buttons are disabled together (during a run,
// through EnableCategoryButtons(false)) the last chosen category stays the
// selected one.
//
// Every control is a public member named, and objectName()d, after its
// component, so the main window, the conversion run and tests can read it
// directly or find it by name. The handlers are public: the main window
// calls BtnAVIClick and cbProfilesSelect from its FormShow and
// cbbResolutionChange after adding files. Setting an item index from code
// never runs a handler; handlers call each other explicitly where the rules
// say so. GUI thread only.
//
// The profile store and the system settings are the program-wide
// ConfigSetting and SysConfigure unless SetStores() names others (tests).
#pragma once

#include <QWidget>

#include <array>
#include <functional>

#include "settings/Category.h"

class QAbstractButton;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QToolButton;

namespace velorin {

struct FileInfo;
class TConfigSetting;
class TSysConfigure;

class TCategoryBar : public QWidget {
    Q_OBJECT
public:
    explicit TCategoryBar(QWidget *parent = nullptr);

    QToolButton *BtnPSP, *BtniPod, *BtniPhone, *BtnThreeGP, *BtnZune, *BtnPDA, *BtnMusic,
        *BtnAVI, *BtnMPEG4, *BtnMPEG2, *BtnVOB, *BtnWMV, *BtnSWF, *BtnMOV;

    QToolButton *Button(OutputCategory category) const;
    // All fourteen buttons enabled or disabled together.
    void EnableAll(bool enabled);

signals:
    // A button was clicked by the user (not emitted for handler calls).
    void categoryClicked(velorin::OutputCategory category);

private:
    std::array<QToolButton *, 14> m_buttons{};
};

class TOutputSettings : public QWidget {
    Q_OBJECT
public:
    explicit TOutputSettings(QWidget *parent = nullptr);
    ~TOutputSettings() override;

    TCategoryBar *CategoryBar() const { return m_bar; }

    // ---- hooks for the main window ----
    // Called by every category handler at the point where the name box is to
    // be set for the current job (label "Video Title:" for PSP, "Output File
    // Name:" otherwise).
    void SetCategoryChangedHandler(std::function<void(OutputCategory)> handler);
    // The job of the selected row of the job list, or null when no row is
    // selected. cbbResolutionChange takes the source size from it for
    // "Original Size". Not owned; only read during the call.
    void SetSelectedJobProvider(std::function<const FileInfo *()> provider);
    // Store objects; null means the program-wide instance. Not owned.
    void SetStores(TConfigSetting *profiles, TSysConfigure *system);
    // Runs the profile editor for a category, modally. The default creates
    // TFrmOption owned by this panel's window, execs and frees it. Tests
    // replace it.
    void SetProfileEditorRunner(std::function<void(QWidget *owner, OutputCategory)> runner);

    // ---- the selection ----
    OutputCategory SelectedCategory() const;

    // ---- handlers ----
    void BtnPSPClick();
    void BtniPodClick();
    void BtniPhoneClick();
    void BtnThreeGPClick();
    void BtnZuneClick();
    void BtnPDAClick();
    void BtnMusicClick();
    void BtnAVIClick();
    void BtnMPEG4Click();
    void BtnMPEG2Click();
    void BtnVOBClick();
    void BtnWMVClick();
    void BtnSWFClick();
    void BtnMOVClick();
    // The handler of a category by value (same as the named handler).
    void SelectCategory(OutputCategory category);

    void cbProfilesSelect();
    void cbbResolutionChange();
    void cbbVideoCodeChange();
    void cbbOutoutTypeChange();
    void trckbrVolumeChange();
    void BtnOptionClick();

    // ---- routines ----
    void EnableCategoryButtons(bool enabled);
    void SetVideoControlsEnabled(bool enabled);
    // Index of the first cbbResolution item containing "<Width> X <Height>"
    // of profile p of the selected category's list; 0 when none does or p is
    // outside the list.
    int FindResolutionItem(int profileIndex) const;

    // ---- controls (component names) ----
    QComboBox *cbProfiles;
    QLabel *Label3;
    QPushButton *BtnOption;
    QComboBox *cbbResolution;
    QLabel *Label2;
    QSpinBox *WidthBit, *HeightBit;
    QLabel *Label13, *Label14;
    QComboBox *cbbFrameRate;
    QLabel *Label4;
    QSpinBox *edtVideoBit;
    QLabel *Label5;
    QSpinBox *edtAudioBit;
    QComboBox *cbbChannels;
    QSlider *trckbrVolume;
    QLabel *lblVolumePercent;
    QComboBox *cbbKeepAspect;
    QLabel *Label15;
    QComboBox *cbbVideoCode;
    QLabel *Label12;
    QComboBox *cbbOutoutType;
    QLineEdit *iQuality;  // hidden

private:
    TConfigSetting &Profiles() const;
    TSysConfigure &System() const;
    void ApplyCategoryLists(OutputCategory category);
    void FillProfiles(OutputCategory category);
    void SetChannelItems(bool monoOnly);

    TCategoryBar *m_bar;
    OutputCategory m_selected;
    TConfigSetting *m_profiles = nullptr;
    TSysConfigure *m_system = nullptr;
    std::function<void(OutputCategory)> m_categoryChanged;
    std::function<const FileInfo *()> m_selectedJob;
    std::function<void(QWidget *, OutputCategory)> m_editorRunner;
};

}  // namespace velorin
