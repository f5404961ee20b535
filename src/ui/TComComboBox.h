#pragma once

#include <QComboBox>

#include <string>
#include <vector>

// What a TComComboBox offers. The program uses only cpPort; the other kinds leave the list empty.
enum TComProperty { cpNone, cpPort, cpBaudRate, cpDataBits, cpStopBits, cpParity, cpFlowControl };

// A drop-down list of the computer's serial ports (only listed names can be chosen). It is a
// chooser only: a choice changes no port by itself.
//
// Text reads the selected name, or "" when nothing is selected; writing Text selects the item of
// that name (compared without regard to case) and otherwise leaves the selection as it is.
class TComComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit TComComboBox(QWidget* parent = nullptr);

    TComProperty ComProperty() const { return m_comProperty; }
    // cpPort rebuilds the list from the ports present and selects the first one.
    void setComProperty(TComProperty value);

    std::string Text() const;
    void setText(const std::string& name);

    // The items in list order.
    std::vector<std::string> Items() const;
    int ItemIndex() const { return currentIndex(); }
    void setItemIndex(int index) { setCurrentIndex(index < count() ? index : -1); }

    // Where the port list is read from (the tty class of sysfs); tests point it at a fake tree
    // before the settings window is built.
    static void setSysfsRoot(std::string root);
    static const std::string& sysfsRoot();

private:
    TComProperty m_comProperty = cpNone;
};
