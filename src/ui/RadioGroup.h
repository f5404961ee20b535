#pragma once

#include <QGroupBox>
#include <QStringList>

#include <vector>

class QButtonGroup;
class QRadioButton;

// A framed group of radio buttons made from a list of captions, one above the other, spread
// evenly over the group's height. itemIndex is the checked item, -1 for none (a group may show
// no choice at all, for instance for a value out of range in a damaged profile).
class TRadioGroup : public QGroupBox {
    Q_OBJECT
    Q_PROPERTY(QStringList items READ items WRITE setItems)
    Q_PROPERTY(int itemIndex READ itemIndex WRITE setItemIndex)

public:
    explicit TRadioGroup(QWidget* parent = nullptr);

    QStringList items() const { return m_items; }
    void setItems(const QStringList& items);

    int itemIndex() const { return m_index; }
    // Checks the item; an index outside the list checks none.
    void setItemIndex(int index);

    QRadioButton* button(int index) const;

signals:
    // Any change of the checked item, by the program or by the user.
    void itemIndexChanged(int index);
    // A change made by the user (mouse or keyboard).
    void itemClicked(int index);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void placeButtons();

    QStringList m_items;
    std::vector<QRadioButton*> m_buttons;
    QButtonGroup* m_group;
    int m_index = -1;
};
