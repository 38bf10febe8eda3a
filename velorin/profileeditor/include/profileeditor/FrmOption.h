// The profile editor: the modal window in which the user edits the profile
// list of one category (one of the eight with a list).
//
// The editor never touches a category list directly. FormShow copies the
// category's list into the store's working list; add, delete and save act
// on that copy; only OK with a confirmed save copies it back and remembers
// the saved profile's index in the system settings. Nothing is written to
// config.ini here. Messages go through Dialogs(). GUI thread only.
//
// Every component is a public member objectName()d after its name; the
// handlers are public so tests (and the owner) can drive them without the
// modal loop. FormShow runs on the first show; tests may call it directly.
#pragma once

#include <QDialog>

#include "core/ConfigSetting.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QToolButton;

namespace velorin {

class TSysConfigure;

class TFrmOption : public QDialog {
    Q_OBJECT
public:
    // `category` is the selected category of the main window. The stores
    // default to the program-wide ConfigSetting and SysConfigure. Not owned.
    TFrmOption(QWidget *owner, OutputCategory category, TConfigSetting *profiles = nullptr,
               TSysConfigure *system = nullptr);
    ~TFrmOption() override;

    OutputCategory Category() const { return m_category; }

    // Fields beyond the components.
    bool MusicMode = false;
    bool Modified = false;

    // Handlers.
    void FormShow();
    void cbProfilesSelect();
    void cbbResolutionChange();
    void cbbVideoCodeChange();
    void cbbOutoutTypeChange();
    void trckbrVolumeChange();
    void btnAddClick();
    void btnDelClick();
    void BtnOkClick();
    // The discard button and the window's close button.
    void suiImageButton3Click();
    void SetVideoControlsEnabled(bool enabled);

    // The stored text the controls describe (what add and save parse).
    std::string StoredTextFromControls() const;

    // Components.
    QComboBox *cbProfiles;
    QLabel *Label3;
    QLineEdit *edtProfileName;
    QLabel *Label10;
    QComboBox *cbbResolution;
    QLabel *Label2;
    QSpinBox *WidthBit, *HeightBit;
    QLabel *Label13, *Label14;
    QComboBox *cbbFrameRate;
    QLabel *Label4;
    QSpinBox *edtVideoBit;
    QLabel *Label5, *Label8;
    QSpinBox *edtAudioBit;
    QLabel *Label6, *Label9;
    QComboBox *cbbChannels;
    QLabel *Label1;
    QSlider *trckbrVolume;
    QLabel *Label7, *lblVolumePercent;
    QComboBox *cbbKeepAspect;
    QLabel *Label15;
    QComboBox *cbbVideoCode;
    QLabel *Label12;
    QComboBox *cbbOutoutType;
    QLabel *Label11;
    QLabel *Label16;
    QPushButton *btnAdd, *btnDel, *BtnOk;
    QPushButton *suiImageButton3;
    // Title bar: minimise and close (close is the same as discard).
    QToolButton *suiImageButton1, *suiImageButton2;

protected:
    void showEvent(QShowEvent *event) override;
    void reject() override;  // Escape and the window's close button: discard
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TConfigSetting &Profiles() const;
    TSysConfigure &System() const;
    void RefillProfileBox();
    int FirstEditable() const;
    int WorkingCount() const;
    std::string WorkingName(int index) const;
    bool IsDuplicateName(const std::string &name, int skipIndex) const;
    void CopyBack(int selected);
    void CloseAccepted();

    OutputCategory m_category;
    TConfigSetting *m_profiles;
    TSysConfigure *m_system;
    bool m_shown = false;
    bool m_closing = false;  // a close already decided, no question
};

// Creates the editor owned by `owner`, shows it modally and frees it.
void RunProfileEditor(QWidget *owner, OutputCategory category, TConfigSetting *profiles = nullptr,
                      TSysConfigure *system = nullptr);

}  // namespace velorin
