#include "app/device_list_window.h"

#include <QHeaderView>
#include <QLabel>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "device/base_info.h"
#include "device/device_manager.h"
#include "platform/text_format.h"

namespace nimbara {

namespace {

QString text(const std::optional<std::string>& value) {
    return value ? QString::fromStdString(*value) : QStringLiteral("—");
}

QString gigabytes(std::uint64_t bytes) {
    return QString::fromStdString(formatFixed(static_cast<double>(bytes) / 1e9, 2)) + " GB";
}

std::int64_t physicalSize(const PlistValue& params, const std::string& group,
                          const std::string& item = {}) {
    const PlistValue& g = params[group];
    const PlistValue& node = item.empty() ? g : g[item];
    return node["_PhysicalSize"].toInt64();
}

}  // namespace

DeviceListWindow::DeviceListWindow(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Nimbara — attached devices"));
    resize(820, 460);
    auto* layout = new QVBoxLayout(this);
    status_ = new QLabel(this);
    layout->addWidget(status_);
    tree_ = new QTreeWidget(this);
    tree_->setColumnCount(2);
    tree_->setHeaderLabels({QStringLiteral("Property"), QStringLiteral("Value")});
    tree_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    layout->addWidget(tree_);

    auto& center = NotificationCenter::defaultCenter();
    observers_.add(center.addObserver("DeviceConnect", [this](const Notification&) { refresh(); }));
    // The item is still there while the removal is posted: refresh once it has gone.
    observers_.add(center.addObserver("DeviceDisConnect", [this](const Notification&) {
        QTimer::singleShot(0, this, [this] { refresh(); });
    }));

    // Storage figures arrive over media sync some time after the attach.
    metricsTimer_ = new QTimer(this);
    metricsTimer_->setInterval(1000);
    connect(metricsTimer_, &QTimer::timeout, this, [this] { refresh(); });
    metricsTimer_->start();
    refresh();
}

DeviceListWindow::~DeviceListWindow() = default;

void DeviceListWindow::refresh() {
    auto& manager = amd::DeviceManager::GetInstance();
    const auto indices = manager.Indices();
    status_->setText(
        indices.empty()
            ? QStringLiteral("No device attached. Connect an iPhone, iPad or iPod touch.")
            : QStringLiteral("%1 device(s) attached").arg(indices.size()));
    tree_->clear();
    for (int index : indices) {
        auto item = manager.FindItem(index);
        if (!item || !item->info()) {
            continue;
        }
        amd::BaseInfo& info = *item->info();
        auto* top = new QTreeWidgetItem(tree_);
        top->setText(0, text(info.GetDeviceName()));
        top->setText(1, QStringLiteral("device index %1").arg(index));
        auto add = [top](const QString& key, const QString& value) {
            auto* row = new QTreeWidgetItem(top);
            row->setText(0, key);
            row->setText(1, value);
        };
        add(QStringLiteral("Unique device ID"), text(info.GetUniqueDeviceID()));
        add(QStringLiteral("Model"), text(info.GetProductType()));
        add(QStringLiteral("iOS version"), text(info.GetProductVersion()));
        add(QStringLiteral("Build"), text(info.GetBuildVersion()));
        add(QStringLiteral("Serial number"), text(info.GetSerialNumber()));
        add(QStringLiteral("Phone number"), text(info.GetPhoneNumber()));
        const amd::DiskUsage usage = info.GetDiskUsage();
        add(QStringLiteral("Capacity"), gigabytes(usage.TotalDiskCapacity));
        add(QStringLiteral("Free"), gigabytes(usage.AmountDataAvailable));
        if (PlistRef metrics = info.GetValues()) {
            add(QStringLiteral("Apps"), gigabytes(physicalSize(*metrics, "Application")));
            add(QStringLiteral("Music"), gigabytes(physicalSize(*metrics, "Media", "Music")));
            add(QStringLiteral("Movies"), gigabytes(physicalSize(*metrics, "Media", "Movie")));
            add(QStringLiteral("Photos"), gigabytes(physicalSize(*metrics, "Photo", "Photo")));
        } else {
            add(QStringLiteral("Storage by category"), QStringLiteral("waiting for the device…"));
        }
        top->setExpanded(true);
    }
}

}  // namespace nimbara
