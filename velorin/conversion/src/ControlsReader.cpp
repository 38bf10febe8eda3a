#include "conversion/ControlsReader.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>
#include <QWidget>

namespace velorin::conv {

namespace {

QWidget *Find(const QWidget *window, const char *name) {
    return window ? window->findChild<QWidget *>(QString::fromLatin1(name)) : nullptr;
}

// Text as the user sees it in an edit, number box or list.
std::optional<std::string> TextOf(const QWidget *window, const char *name) {
    QWidget *w = Find(window, name);
    if (!w) return std::nullopt;
    if (auto *edit = qobject_cast<QLineEdit *>(w)) return edit->text().toStdString();
    if (auto *combo = qobject_cast<QComboBox *>(w)) return combo->currentText().toStdString();
    if (auto *spin = qobject_cast<QSpinBox *>(w)) return std::to_string(spin->value());
    if (auto *box = qobject_cast<QAbstractSpinBox *>(w)) return box->text().toStdString();
    const QVariant text = w->property("text");
    if (text.isValid()) return text.toString().toStdString();
    return std::nullopt;
}

std::optional<int> IndexOf(const QWidget *window, const char *name) {
    if (auto *combo = qobject_cast<QComboBox *>(Find(window, name))) return combo->currentIndex();
    return std::nullopt;
}

std::optional<int> ValueOf(const QWidget *window, const char *name) {
    QWidget *w = Find(window, name);
    if (!w) return std::nullopt;
    if (auto *spin = qobject_cast<QSpinBox *>(w)) return spin->value();
    if (auto *slider = qobject_cast<QAbstractSlider *>(w)) return slider->value();
    if (auto *edit = qobject_cast<QLineEdit *>(w)) {
        if (auto v = ParseInt32(edit->text().toStdString())) return *v;
        return std::nullopt;
    }
    const QVariant value = w->property("value");
    if (value.isValid()) return value.toInt();
    return std::nullopt;
}

template <class T>
void Take(T &field, const std::optional<T> &value) {
    if (value) field = *value;
}

}  // namespace

std::optional<Category> ReadSelectedCategory(const QWidget *mainWindow) {
    std::optional<Category> selected;
    for (int i = 0; i < kCategoryCount; ++i) {
        const auto category = static_cast<Category>(i);
        const std::string name = std::string("Btn") + CategoryName(category);
        QWidget *button = Find(mainWindow, name.c_str());
        // The button's own state: a disabled ancestor (the main window
        // while a modal window is open, say) says nothing of the choice.
        if (!button || !button->testAttribute(Qt::WA_ForceDisabled)) continue;
        if (selected) return std::nullopt;  // two selected: no valid choice
        selected = category;
    }
    return selected;
}

OutputControls ReadOutputControls(const QWidget *mainWindow) {
    OutputControls c;
    c.category = ReadSelectedCategory(mainWindow);
    Take(c.resolutionIndex, IndexOf(mainWindow, "cbbResolution"));
    Take(c.width, ValueOf(mainWindow, "WidthBit"));
    Take(c.height, ValueOf(mainWindow, "HeightBit"));
    Take(c.frameRateText, TextOf(mainWindow, "cbbFrameRate"));
    Take(c.videoBitText, TextOf(mainWindow, "edtVideoBit"));
    Take(c.audioBitText, TextOf(mainWindow, "edtAudioBit"));
    Take(c.channelsIndex, IndexOf(mainWindow, "cbbChannels"));
    Take(c.volume, ValueOf(mainWindow, "trckbrVolume"));
    Take(c.keepAspectIndex, IndexOf(mainWindow, "cbbKeepAspect"));
    Take(c.videoCodeIndex, IndexOf(mainWindow, "cbbVideoCode"));
    Take(c.outputTypeIndex, IndexOf(mainWindow, "cbbOutoutType"));
    Take(c.qualityText, TextOf(mainWindow, "iQuality"));
    return c;
}

}  // namespace velorin::conv
