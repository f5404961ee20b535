#include "ComComboBox.h"

#include "SerialPortSelect.h"

#include <QFileInfo>

namespace {

// Marks an entry that setPort added for a name the port list does not hold.
constexpr int kNichtGelistetRole = Qt::UserRole + 1;

std::string& sysfsRootSetting() {
    static std::string root = "/sys/class/tty";
    return root;
}

// Whether a port name names an existing device (as the serial port opens it).
bool geraetDa(const QString& name) {
    return QFileInfo::exists(name.startsWith(QLatin1Char('/')) ? name : QStringLiteral("/dev/") + name);
}

} // namespace

TComComboBox::TComComboBox(QWidget* parent) : QComboBox(parent) {
    // A typed name is used as it is: never added to the list, never completed into another one.
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    connect(this, &QComboBox::currentIndexChanged, this, &TComComboBox::updateToolTip);
    connect(this, &QComboBox::editTextChanged, this, &TComComboBox::updateToolTip);
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
    setCurrentIndex(count() > 0 ? 0 : -1);
}

std::string TComComboBox::Text() const {
    return currentText().trimmed().toStdString();
}

int TComComboBox::findPort(const std::string& name, Qt::CaseSensitivity cs) const {
    const QString wanted = QString::fromStdString(name);
    for (int i = 0; i < count(); ++i) {
        if (itemText(i).compare(wanted, cs) == 0)
            return i;
    }
    return -1;
}

void TComComboBox::setText(const std::string& name) {
    const int i = findPort(name, Qt::CaseInsensitive);
    if (i >= 0) {
        setCurrentIndex(i);
        setEditText(itemText(i));
    }
}

void TComComboBox::setPort(const std::string& name) {
    // Only one added entry at a time: the one of the port shown.
    for (int i = count() - 1; i >= 0; --i) {
        if (itemData(i, kNichtGelistetRole).toBool() && itemText(i) != QString::fromStdString(name))
            removeItem(i);
    }
    if (name.empty()) {
        setCurrentIndex(-1);
        setEditText(QString());
        return;
    }
    // Device names differ by case: only the very name is the same port.
    int i = findPort(name, Qt::CaseSensitive);
    if (i < 0) {
        const QString port = QString::fromStdString(name);
        addItem(port);
        i = count() - 1;
        setItemData(i, true, kNichtGelistetRole);
        QFont kursiv = font();
        kursiv.setItalic(true);
        setItemData(i, kursiv, Qt::FontRole);
        setItemData(i,
                    geraetDa(port) ? QStringLiteral("%1 ist keine gefundene serielle Schnittstelle").arg(port)
                                   : QStringLiteral("%1 ist nicht vorhanden").arg(port),
                    Qt::ToolTipRole);
    }
    setCurrentIndex(i);
    setEditText(itemText(i));
    updateToolTip();
}

std::vector<std::string> TComComboBox::Items() const {
    std::vector<std::string> items;
    items.reserve(static_cast<std::size_t>(count()));
    for (int i = 0; i < count(); ++i)
        items.push_back(itemText(i).toStdString());
    return items;
}

bool TComComboBox::isListed(const std::string& name) const {
    const int i = findPort(name, Qt::CaseSensitive);
    return i >= 0 && !itemData(i, kNichtGelistetRole).toBool();
}

void TComComboBox::updateToolTip() {
    // The box tells what its entry says: a port that is not present shows it while it is chosen.
    const int i = currentIndex();
    const bool gewaehlt = i >= 0 && itemText(i) == currentText();
    setToolTip(gewaehlt ? itemData(i, Qt::ToolTipRole).toString() : QString());
}
