#include "TComComboBox.h"

#include "SerialPortSelect.h"

namespace {

std::string& sysfsRootSetting() {
    static std::string root = "/sys/class/tty";
    return root;
}

} // namespace

TComComboBox::TComComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(false);
}

void TComComboBox::setSysfsRoot(std::string root) {
    sysfsRootSetting() = std::move(root);
}

const std::string& TComComboBox::sysfsRoot() {
    return sysfsRootSetting();
}

void TComComboBox::setComProperty(TComProperty value) {
    m_comProperty = value;
    clear();
    if (value != cpPort)
        return;
    std::vector<std::string> ports;
    EnumComPorts(ports, sysfsRoot());
    for (const std::string& port : ports)
        addItem(QString::fromStdString(port));
    if (count() > 0)
        setCurrentIndex(0);
}

std::string TComComboBox::Text() const {
    if (currentIndex() < 0)
        return {};
    return currentText().toStdString();
}

void TComComboBox::setText(const std::string& name) {
    const QString wanted = QString::fromStdString(name);
    for (int i = 0; i < count(); ++i) {
        if (itemText(i).compare(wanted, Qt::CaseInsensitive) == 0) {
            setCurrentIndex(i);
            return;
        }
    }
}

std::vector<std::string> TComComboBox::Items() const {
    std::vector<std::string> items;
    items.reserve(static_cast<std::size_t>(count()));
    for (int i = 0; i < count(); ++i)
        items.push_back(itemText(i).toStdString());
    return items;
}
