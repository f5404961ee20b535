#include "RadioGroup.h"

#include <QButtonGroup>
#include <QEvent>
#include <QRadioButton>

TRadioGroup::TRadioGroup(QWidget* parent) : QGroupBox(parent), m_group(new QButtonGroup(this)) {
    // Exclusive by hand: a group must be able to show no choice at all.
    m_group->setExclusive(false);
    connect(m_group, &QButtonGroup::idClicked, this, [this](int id) {
        const int before = m_index;
        setItemIndex(id); // also unchecks the others and keeps a re-clicked item checked
        if (m_index != before)
            emit itemClicked(m_index);
    });
}

void TRadioGroup::setItems(const QStringList& items) {
    for (QRadioButton* b : m_buttons)
        delete b;
    m_buttons.clear();
    m_items = items;
    m_index = -1;
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], this);
        b->setAutoExclusive(false);
        m_group->addButton(b, i);
        m_buttons.push_back(b);
        b->show();
    }
    placeButtons();
}

void TRadioGroup::setItemIndex(int index) {
    if (index < 0 || index >= static_cast<int>(m_buttons.size()))
        index = -1;
    for (int i = 0; i < static_cast<int>(m_buttons.size()); ++i)
        m_buttons[static_cast<std::size_t>(i)]->setChecked(i == index);
    if (index == m_index)
        return;
    m_index = index;
    emit itemIndexChanged(index);
}

QRadioButton* TRadioGroup::button(int index) const {
    if (index < 0 || index >= static_cast<int>(m_buttons.size()))
        return nullptr;
    return m_buttons[static_cast<std::size_t>(index)];
}

void TRadioGroup::resizeEvent(QResizeEvent* event) {
    QGroupBox::resizeEvent(event);
    placeButtons();
}

void TRadioGroup::changeEvent(QEvent* event) {
    QGroupBox::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        placeButtons();
}

void TRadioGroup::placeButtons() {
    if (m_buttons.empty())
        return;
    const int top = fontMetrics().height() + 4; // below the title
    const int bottom = 4;
    const int n = static_cast<int>(m_buttons.size());
    const int slot = std::max(1, (height() - top - bottom) / n);
    for (int i = 0; i < n; ++i) {
        QRadioButton* b = m_buttons[static_cast<std::size_t>(i)];
        const QSize hint = b->sizeHint();
        const int w = std::min(hint.width(), width() - 16);
        b->setGeometry(8, top + i * slot + (slot - hint.height()) / 2, w, hint.height());
    }
}
