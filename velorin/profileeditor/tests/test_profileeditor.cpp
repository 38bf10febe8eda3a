// The profile editor and the about box, headless, driven through their
// handlers with a dialog double answering the questions.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QSlider>
#include <QSpinBox>

#include "../../settings/tests/DialogDouble.h"
#include "core/SysConfigure.h"
#include "profileeditor/FrmAbout.h"
#include "profileeditor/FrmOption.h"

using namespace velorin;

namespace {

QStringList Items(const QComboBox *box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
    return out;
}

void Choose(QComboBox *box, int index) {
    box->setCurrentIndex(index);
    emit box->activated(index);
}

const std::string kSave = "Are you sure you want to save the changes?";
const std::string kDiscard = "Are you sure you want to discard the changes?";
const std::string kDuplicate = "This profile name has already existed, please choose another one.";

class EditorTest : public ::testing::Test {
protected:
    EditorTest() : store(std::string()), system(std::string()) {}

    std::unique_ptr<TFrmOption> Open(OutputCategory category) {
        auto editor = std::make_unique<TFrmOption>(nullptr, category, &store, &system);
        editor->FormShow();
        return editor;
    }

    test::DialogDouble dialogs;
    TConfigSetting store;
    TSysConfigure system;
};

TEST_F(EditorTest, OpeningForPSPShowsTheFirstProfileAndOKClosesSilently) {
    const TConfigSetting before = store;
    auto editor = Open(OutputCategory::PSP);
    EXPECT_EQ(editor->Label16->text(), "PSP Config:");
    EXPECT_EQ(editor->Label12->text(), "Video Code:");
    ASSERT_EQ(editor->cbProfiles->count(), 5);
    EXPECT_EQ(editor->cbProfiles->currentIndex(), 0);
    EXPECT_EQ(editor->cbProfiles->itemText(0),
              "Lowest Quality: Video: 320X240, 150Kbps, 23.97, Audio: 16Kbps,Mono");
    EXPECT_EQ(editor->edtProfileName->text(), "Lowest Quality");
    EXPECT_EQ(editor->edtVideoBit->value(), 150);
    EXPECT_EQ(editor->edtAudioBit->value(), 16);
    EXPECT_EQ(editor->cbbChannels->currentIndex(), 0);
    EXPECT_EQ(editor->WidthBit->value(), 320);
    EXPECT_EQ(editor->HeightBit->value(), 240);
    EXPECT_EQ(editor->lblVolumePercent->text(), "100%");
    EXPECT_FALSE(editor->Modified);
    EXPECT_EQ(store.WorkingVideoCount, 5);
    EXPECT_EQ(store.FirstEditableVideo, 1);

    editor->BtnOkClick();
    EXPECT_EQ(editor->result(), QDialog::Accepted);
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(system.iPSPConfigCount, 3);
    EXPECT_EQ(store.PSPProfiles[1].StoredText, before.PSPProfiles[1].StoredText);
}

TEST_F(EditorTest, SavingAChangedProfileStoresItsTextAndRemembersIt) {
    auto editor = Open(OutputCategory::PSP);
    Choose(editor->cbProfiles, 1);  // "Low Quality"
    editor->edtVideoBit->setValue(350);
    EXPECT_TRUE(editor->Modified);
    editor->BtnOkClick();
    EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{kSave, "Save profile successfully."}));
    EXPECT_EQ(dialogs.messages[0].caption, ApplicationTitle());
    EXPECT_EQ(dialogs.messages[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(store.PSPProfiles[1].StoredText, "0|1|350|32|100|0|0|1|0|0|320|240|3|");
    EXPECT_EQ(store.PSPProfiles[1].VideoBitrate, 350);
    EXPECT_EQ(store.PSPCount, 5);
    EXPECT_EQ(system.iPSPConfigCount, 1);
    EXPECT_EQ(editor->result(), QDialog::Accepted);
}

TEST_F(EditorTest, SaveAnsweredNoKeepsTheWindowAndTheList) {
    auto editor = Open(OutputCategory::iPod);
    editor->show();
    editor->edtAudioBit->setValue(96);
    dialogs.answers = {MsgResult::No};
    editor->BtnOkClick();
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(store.iPodProfiles[0].AudioBitrate, 64);
    editor->hide();
}

TEST_F(EditorTest, NameChecksOnAddAndSave) {
    struct Case {
        const char *name;
        bool add;  // add, else save over the selected "Normal Quality"
        std::string message;
        bool stored;
    } cases[] = {
        {"Lowest Quality", true, "Add profile successfully.", true},  // entry 0 is not compared
        {"Low Quality", true, kDuplicate, false},
        {"  Low Quality ", true, kDuplicate, false},
        {"low quality", true, "Add profile successfully.", true},  // case matters
        {"", true, "Please input a valid profile name in \"New Profile Name\".", false},
        {"   ", true, "Please input a valid profile name in \"New Profile Name\".", false},
        {"a=b", true, "", false},  // cannot be a key of config.ini
        {"Best Quality", false, kDuplicate, false},
        {"Normal Quality", false, "Save profile successfully.", true},  // its own name
        {"   ", false, "Profile Name Can not be empty!", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        store = TConfigSetting(std::string());
        dialogs.messages.clear();
        auto editor = Open(OutputCategory::PSP);
        Choose(editor->cbProfiles, 2);
        editor->edtProfileName->setText(QString::fromLatin1(c.name));
        if (c.add) {
            editor->btnAddClick();
            EXPECT_EQ(store.WorkingVideoCount, c.stored ? 6 : 5);
        } else {
            editor->edtVideoBit->setValue(700);
            editor->BtnOkClick();
            EXPECT_EQ(store.PSPProfiles[2].VideoBitrate, c.stored ? 700 : 600);
        }
        ASSERT_FALSE(dialogs.messages.empty());
        if (!c.message.empty()) {
            EXPECT_EQ(dialogs.messages.back().text, c.message);
        }
    }
}

TEST_F(EditorTest, AddedProfileIsSelectedAndKeptByOK) {
    auto editor = Open(OutputCategory::PSP);
    editor->edtProfileName->setText(" Mine ");
    editor->btnAddClick();
    EXPECT_EQ(dialogs.messages.back().caption, ApplicationTitle());
    ASSERT_EQ(editor->cbProfiles->count(), 6);
    EXPECT_EQ(editor->cbProfiles->currentIndex(), 5);
    EXPECT_EQ(editor->cbProfiles->itemText(5).toStdString(), store.WorkingVideoProfiles[5].Summary);
    EXPECT_EQ(store.WorkingVideoProfiles[5].Name, "Mine");
    EXPECT_EQ(store.WorkingVideoProfiles[5].StoredText, "0|1|150|16|100|0|0|1|0|0|320|240|3|");
    EXPECT_EQ(store.PSPCount, 5);  // only the working copy so far

    // Nothing else was changed: OK still keeps the addition.
    editor->BtnOkClick();
    EXPECT_EQ(store.PSPCount, 6);
    EXPECT_EQ(store.PSPProfiles[5].Name, "Mine");
    EXPECT_EQ(system.iPSPConfigCount, 5);
}

TEST_F(EditorTest, TheEightySecondProfileIsRefused) {
    for (int i = store.PSPCount; i < kMaxProfiles; ++i)
        TConfigSetting::ParseVideoProfile("0|1|150|16|100|0|0|1|0|0|320|240|3|", "P" + std::to_string(i),
                                          store.PSPProfiles[i]);
    store.PSPCount = kMaxProfiles;
    auto editor = Open(OutputCategory::PSP);
    editor->edtProfileName->setText("One too many");
    editor->btnAddClick();
    EXPECT_EQ(store.WorkingVideoCount, kMaxProfiles);
    EXPECT_EQ(editor->cbProfiles->count(), kMaxProfiles);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_NE(dialogs.messages[0].text.find("81"), std::string::npos);
}

TEST_F(EditorTest, DeleteRefusesTheFirstAndAsksForOthers) {
    auto editor = Open(OutputCategory::PSP);
    editor->btnDelClick();
    EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{"Can not delete Finally profiles."});
    EXPECT_EQ(dialogs.messages[0].caption, "Information");

    dialogs.messages.clear();
    Choose(editor->cbProfiles, 2);
    dialogs.answers = {MsgResult::No};
    editor->btnDelClick();
    EXPECT_EQ(store.WorkingVideoCount, 5);

    dialogs.messages.clear();
    Choose(editor->cbProfiles, 2);
    editor->btnDelClick();
    EXPECT_EQ(dialogs.Texts(), (std::vector<std::string>{"Are you sure you want to remove profile \"Normal Quality\"?",
                                                         "Delete profile \"Normal Quality\" successfully."}));
    ASSERT_EQ(store.WorkingVideoCount, 4);
    EXPECT_EQ(store.WorkingVideoProfiles[2].Name, "Excellent Quality");
    EXPECT_EQ(editor->cbProfiles->count(), 4);
    EXPECT_EQ(editor->cbProfiles->currentIndex(), 3);
    EXPECT_EQ(editor->edtProfileName->text(), "Best Quality");
    EXPECT_EQ(store.PSPCount, 5);  // the category list waits for OK
}

TEST_F(EditorTest, DiscardAsksWhenModifiedAndNeverCopiesBack) {
    auto editor = Open(OutputCategory::PSP);
    editor->show();
    Choose(editor->cbProfiles, 3);
    editor->btnDelClick();  // Yes
    dialogs.messages.clear();

    dialogs.answers = {MsgResult::No};
    editor->close();  // the window's own close button
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(dialogs.Texts(), std::vector<std::string>{kDiscard});
    dialogs.answers = {MsgResult::No};
    editor->suiImageButton2->click();  // the title bar's close button
    EXPECT_TRUE(editor->isVisible());
    EXPECT_EQ(dialogs.messages.size(), 2u);

    editor->suiImageButton3Click();  // Yes
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(editor->result(), QDialog::Rejected);
    EXPECT_EQ(store.PSPCount, 5);
    EXPECT_EQ(store.PSPProfiles[3].Name, "Excellent Quality");
}

TEST_F(EditorTest, UnmodifiedDiscardClosesWithoutAQuestion) {
    auto editor = Open(OutputCategory::Zune);
    editor->show();
    editor->edtProfileName->setText("renamed only");  // does not count as a change
    editor->suiImageButton3Click();
    EXPECT_FALSE(editor->isVisible());
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(EditorTest, ResolutionFillsTheSizeBoxes) {
    struct Case {
        OutputCategory category;
        int item, width, height;
    } cases[] = {
        {OutputCategory::VOB, 1, 720, 576},
        {OutputCategory::Zune, 3, 480, 368},
        {OutputCategory::iPhone, 4, 720, 406},
        {OutputCategory::PSP, 2, 400, 192},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(CategoryName(c.category));
        auto editor = Open(c.category);
        Choose(editor->cbbResolution, c.item);
        EXPECT_EQ(editor->WidthBit->value(), c.width);
        EXPECT_EQ(editor->HeightBit->value(), c.height);
        EXPECT_TRUE(editor->Modified);
    }
}

TEST_F(EditorTest, ThreeGPCodecFollowsTheSizeButOnlyTheCodecListSetsChannels) {
    auto editor = Open(OutputCategory::ThreeGP);
    EXPECT_EQ(editor->Label16->text(), "3GP Config:");
    struct Case {
        int item;
        bool h263;
    } cases[] = {{9, true}, {8, false}, {10, false}, {3, true}, {0, true}, {11, false}, {7, false}};
    Choose(editor->cbbVideoCode, 1);
    ASSERT_EQ(Items(editor->cbbChannels), (QStringList{"Mono", "Stereo"}));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.item);
        Choose(editor->cbbResolution, c.item);
        EXPECT_EQ(editor->cbbVideoCode->currentIndex(), c.h263 ? 0 : 1);
        EXPECT_EQ(editor->cbbVideoCode->isEnabled(), c.h263);
        EXPECT_EQ(Items(editor->cbbChannels), (QStringList{"Mono", "Stereo"}));
    }
    Choose(editor->cbbResolution, 3);
    Choose(editor->cbbVideoCode, 0);
    EXPECT_EQ(Items(editor->cbbChannels), QStringList{"Mono"});
    Choose(editor->cbbOutoutType, 1);  // independent of the codec here
    EXPECT_EQ(editor->cbbVideoCode->currentIndex(), 0);
}

TEST_F(EditorTest, MusicEditsTheMusicListWithTheVideoControlsOff) {
    auto editor = Open(OutputCategory::Music);
    EXPECT_TRUE(editor->MusicMode);
    EXPECT_EQ(editor->Label16->text(), "Music Config:");
    EXPECT_EQ(editor->Label12->text(), "Music Codec:");
    EXPECT_EQ(Items(editor->cbbVideoCode), (QStringList{"MPEG Layer-3 Audio", "MS Media Audio"}));
    EXPECT_TRUE(editor->cbbVideoCode->isEnabled());
    EXPECT_FALSE(editor->cbbResolution->isEnabled());
    EXPECT_FALSE(editor->cbbFrameRate->isEnabled());
    EXPECT_FALSE(editor->edtVideoBit->isEnabled());
    EXPECT_EQ(store.FirstEditableMusic, 1);

    Choose(editor->cbProfiles, 1);
    EXPECT_EQ(editor->cbbOutoutType->currentText(), "*.wma");
    EXPECT_EQ(system.iMusiciProfilesIndex, 1);
    editor->trckbrVolume->setValue(150);
    EXPECT_EQ(editor->lblVolumePercent->text(), "150%");
    EXPECT_EQ(editor->StoredTextFromControls(), "128|150|0|1|1|");

    editor->edtProfileName->setText("Loud WMA");
    editor->BtnOkClick();
    EXPECT_EQ(store.MusicProfiles[1].StoredText, "128|150|0|1|1|");
    EXPECT_EQ(store.MusicProfiles[1].Summary, "Loud WMA: Audio: 128Kbps 150%");
    EXPECT_EQ(store.MusicCount, 2);
}

TEST_F(EditorTest, CodecAndTypeFollowEachOtherOutsideThreeGP) {
    auto editor = Open(OutputCategory::PDA);
    Choose(editor->cbbVideoCode, 1);
    EXPECT_EQ(editor->cbbOutoutType->currentText(), "*.wmv");
    Choose(editor->cbbOutoutType, 0);
    EXPECT_EQ(editor->cbbVideoCode->currentText(), "PDAMpeg4");
}

TEST_F(EditorTest, RunProfileEditorShowsTheWindowModally) {
    QString heading;
    QMetaObject::invokeMethod(
        qApp,
        [&] {
            if (auto *editor = qobject_cast<TFrmOption *>(QApplication::activeModalWidget())) {
                heading = editor->Label16->text();
                editor->BtnOkClick();
            }
        },
        Qt::QueuedConnection);
    RunProfileEditor(nullptr, OutputCategory::VOB, &store, &system);
    EXPECT_EQ(heading, "VOB Config:");
}

// ---------------------------------------------------------------------------
// About box

TEST(AboutBox, ShowsProductVersionAndOpensTheLinks) {
    test::DialogDouble dialogs;
    TfrmAbout about;
    EXPECT_EQ(about.windowTitle(), "About");
    EXPECT_TRUE(about.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(about.lblProduct->text(), "Velorin");
    EXPECT_EQ(about.lblVersion->text(), "Version: 1.33");  // project version 1.0.0.33
    EXPECT_TRUE(about.Memo1->isReadOnly());
    EXPECT_FALSE(about.Memo1->toPlainText().isEmpty());
    EXPECT_EQ(about.lblHomepage->text(), "Homepage: ");
    EXPECT_EQ(about.lblEmail->text(), "Email: ");

    about.lblHomepageClick();
    about.lblEmailClick();
    EXPECT_EQ(dialogs.opened, (std::vector<std::string>{"https://velorin.example.org",
                                                        std::string("mailto:") + kProjectEmail}));
    for (QAbstractButton *closer : {static_cast<QAbstractButton *>(about.btnOK),
                                    static_cast<QAbstractButton *>(about.suiImageButton2)}) {
        about.show();
        closer->click();
        EXPECT_FALSE(about.isVisible()) << closer->objectName().toStdString();
    }
}

}  // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
