#include "SelectNetworkDialog.h"
#include "ui_SelectNetworkDialog.h"

#include <QHeaderView>

namespace {
const QString SignalFolder = QStringLiteral(":/SettingsMenu/WiFi_signal/");
const int BssidRole = Qt::UserRole + 1;
} // namespace

SelectNetworkDialog::SelectNetworkDialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui_SelectNetworkDialog)
{
    for (const char *name : {"network_0.png", "network_20.png", "network_40.png", "network_60.png",
                             "network_80.png", "network_100.png"})
        m_SignalImages << QIcon(SignalFolder + QLatin1String(name));
    m_NoNetwork = QIcon(SignalFolder + QStringLiteral("no_network.png"));
    m_Lock = QIcon(SignalFolder + QStringLiteral("lock_1.png"));
    m_Empty = QIcon(SignalFolder + QStringLiteral("net_empty.png"));

    m_Model.clear();
    m_Model.setColumnCount(3);
    m_Model.setHorizontalHeaderLabels(
        {QStringLiteral("Level"), QStringLiteral("Sec"), QStringLiteral("Network")});

    ui->setupUi(this);
    ui->LV_NETWORKS->setModel(&m_Model);
    ui->LV_NETWORKS->setColumnHidden(0, true);
    ui->LV_NETWORKS->setColumnHidden(1, true);
    ui->LV_NETWORKS->horizontalHeader()->setStretchLastSection(true);
    ui->LV_NETWORKS->setColumnWidth(2, ui->LV_NETWORKS->width());
    ui->LV_NETWORKS->verticalHeader()->setDefaultSectionSize(48);
    ui->BUTTON_OK->setEnabled(false);
}

SelectNetworkDialog::~SelectNetworkDialog()
{
    delete ui;
    qDeleteAll(m_Networks);
}

const ssid_info_t *SelectNetworkDialog::info(const QString &bssid) const
{
    return m_Networks.value(bssid, nullptr);
}

void SelectNetworkDialog::slotUpdateAccessPoint(QMap<QString, AccessPoint> &accessPoints)
{
    for (auto it = accessPoints.cbegin(); it != accessPoints.cend(); ++it) {
        if (!m_Networks.contains(it.key()))
            add_ap_item(it.value());
    }
    ui->BUTTON_OK->setEnabled(m_Model.rowCount() > 0);
}

void SelectNetworkDialog::add_ap_item(const AccessPoint &ap)
{
    auto *info = new ssid_info_t;
    info->name = ap.essid;
    info->level = ap.level;
    info->encrypted = ap.encrypted;
    delete m_Networks.value(ap.bssid, nullptr);
    m_Networks.insert(ap.bssid, info);
    add_network_list_item(ap.bssid, ap.essid, ap.level, ap.encrypted, ap.frequency);
}

int SelectNetworkDialog::signalImageOf(int level)
{
    level = qBound(0, level, 100);
    if (level == 0)
        return -1;
    return int(level * 6.0 / 101.0);
}

QString SelectNetworkDialog::labelOf(const QString &name, float frequency)
{
    if (frequency > 4.0f && !name.contains(QLatin1String("5G"), Qt::CaseInsensitive))
        return name + QStringLiteral(" (5G)");
    return name;
}

void SelectNetworkDialog::add_network_list_item(const QString &bssid, const QString &name,
                                                int level, bool encrypted, float frequency)
{
    const int image = signalImageOf(level);
    auto *levelItem = new QStandardItem(image < 0 ? m_NoNetwork : m_SignalImages.at(image),
                                        QString());
    auto *securityItem = new QStandardItem(encrypted ? m_Lock : m_Empty, QString());
    auto *nameItem = new QStandardItem(m_Empty, labelOf(name, frequency));
    nameItem->setData(bssid, BssidRole);
    m_Model.appendRow({levelItem, securityItem, nameItem});
}

void SelectNetworkDialog::on_BUTTON_OK_clicked()
{
    if (m_Model.rowCount() == 0)
        return;
    QItemSelectionModel *selection = ui->LV_NETWORKS->selectionModel();
    if (!selection->hasSelection())
        ui->LV_NETWORKS->selectRow(0);
    const QModelIndexList rows = selection->selectedRows(2);
    if (rows.isEmpty())
        return;
    m_Bssid = rows.first().data(BssidRole).toString();
    accept();
}

void SelectNetworkDialog::on_BUTTON_CANCEL_clicked()
{
    reject();
}
