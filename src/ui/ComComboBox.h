#pragma once

#include <QComboBox>

#include <string>
#include <vector>

// What a TComComboBox offers. The program uses only cpPort; the other kinds leave the list empty.
enum TComProperty { cpNone, cpPort, cpBaudRate, cpDataBits, cpStopBits, cpParity, cpFlowControl };

// A list of the computer's serial ports that also takes a typed name (a pseudo-terminal such as
// "pts/3", or any device under /dev). It is a chooser only: a choice changes no port by itself.
//
// Text reads the name shown in the box, or "" when there is none; writing Text selects the item of
// that name (compared without regard to case) and otherwise leaves the selection as it is.
// setPort shows a port in any case: a name that is not listed gets an entry of its own, marked as
// not present, so the box never shows a port other than the one in use.
class TComComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit TComComboBox(QWidget* parent = nullptr);

    TComProperty ComProperty() const { return m_comProperty; }
    // cpPort rebuilds the list from the ports present and selects the first one.
    void setComProperty(TComProperty value);

    std::string Text() const;
    void setText(const std::string& name);
    // Shows the given port: selects its item, or adds it as an entry marked as not present (an
    // entry added before for another name goes). An empty name shows nothing.
    void setPort(const std::string& name);

    // The items in list order, including an entry added by setPort.
    std::vector<std::string> Items() const;
    // Whether the name is one of the ports found on the computer.
    bool isListed(const std::string& name) const;
    int ItemIndex() const { return currentIndex(); }
    void setItemIndex(int index) { setCurrentIndex(index < count() ? index : -1); }

    // Where the port list is read from (the tty class of sysfs); tests point it at a fake tree
    // before the settings window is built.
    static void setSysfsRoot(std::string root);
    static const std::string& sysfsRoot();

private:
    int findPort(const std::string& name, Qt::CaseSensitivity cs) const;
    void updateToolTip();

    TComProperty m_comProperty = cpNone;
};
