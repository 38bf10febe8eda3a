// Small builders for the named controls of the settings panel and the
// profile editor, which show the same kinds of boxes and lists.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStringList>

#include <climits>

namespace velorin::settings {

// Every control carries its component name, so tests find it by name.
template <class W>
W *Named(W *widget, const char *name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

inline QLabel *MakeLabel(const char *name, const QString &text, QWidget *parent) {
    return Named(new QLabel(text, parent), name);
}

// A whole-number box without arrows.
inline QSpinBox *MakeNumberBox(const char *name, QWidget *parent) {
    auto *box = Named(new QSpinBox(parent), name);
    box->setRange(0, INT_MAX);
    box->setButtonSymbols(QAbstractSpinBox::NoButtons);
    box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    box->setMaximumWidth(90);
    return box;
}

inline QComboBox *MakeList(const char *name, int minimumCharacters, QWidget *parent) {
    auto *box = Named(new QComboBox(parent), name);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMinimumContentsLength(minimumCharacters);
    return box;
}

// Refilling from code runs no handler; an index past the items selects none.
inline void Refill(QComboBox *box, const QStringList &items, int selected) {
    const QSignalBlocker quiet(box);
    box->clear();
    box->addItems(items);
    box->setCurrentIndex(selected < items.size() ? selected : -1);
}

// An index outside the list leaves no item selected, as a list does when
// handed a stored index it does not have.
inline void SelectQuiet(QComboBox *box, int index) {
    const QSignalBlocker quiet(box);
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}

template <class W, class V>
void SetQuiet(W *widget, V value) {
    const QSignalBlocker quiet(widget);
    widget->setValue(value);
}

}  // namespace velorin::settings
