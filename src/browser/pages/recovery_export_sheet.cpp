#include "browser/pages/recovery_export_sheet.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <filesystem>
#include <system_error>
#include <utility>

#include "cleanup/clean_export.h"
#include "ui/alerts.h"
#include "ui/fonts.h"
#include "ui/progress_view.h"
#include "ui/save_panel.h"

namespace {

namespace fs = std::filesystem;
using nimbara::browser::RecoveryExportJob;
using nimbara::browser::RecoveryExportSummary;

constexpr const char* kWorkingText = "Recovering the selected files, please wait...";
constexpr const char* kStoppingText = "Stopping...";

QString percentText(int percent) {
    return QStringLiteral("%1%").arg(percent);
}

QString items(std::uint64_t n) {
    return n == 1 ? QStringLiteral("1 item") : QStringLiteral("%1 items").arg(n);
}

void tell(QWidget* parent, const QString& message) {
    nimbara::Alerts::ask(parent, {message, QString(), QStringLiteral("OK"), QString(), QString()});
}

}  // namespace

PRRecoveryExportSheet::PRRecoveryExportSheet(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("saveWindow"));
    setWindowTitle(QStringLiteral("Recover"));
    setWindowModality(Qt::WindowModal);
    setMinimumWidth(460);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 16);
    layout->setSpacing(10);
    saveinfoTextlab = new QLabel(QString::fromLatin1(kWorkingText), this);
    saveinfoTextlab->setObjectName(QStringLiteral("saveinfoTextlab"));
    saveinfoTextlab->setFont(nimbara::ui::appFont(12, true));
    saveinfoTextlab->setWordWrap(true);
    layout->addWidget(saveinfoTextlab);

    auto* bar = new QHBoxLayout;
    saveProgressor = new PRProgressView(this);
    saveProgressor->setObjectName(QStringLiteral("saveProgressor"));
    saveProgressor->setMinimumWidth(300);
    bar->addWidget(saveProgressor, 1);
    savepercentlab = new QLabel(percentText(0), this);
    savepercentlab->setObjectName(QStringLiteral("savepercentlab"));
    savepercentlab->setFont(nimbara::ui::appFont(12));
    savepercentlab->setMinimumWidth(40);
    savepercentlab->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    bar->addWidget(savepercentlab);
    layout->addLayout(bar);

    summaryDetaillab = new QLabel(this);
    summaryDetaillab->setObjectName(QStringLiteral("summaryDetaillab"));
    summaryDetaillab->setFont(nimbara::ui::appFont(11));
    summaryDetaillab->setWordWrap(true);
    summaryDetaillab->setTextInteractionFlags(Qt::TextSelectableByMouse);
    summaryDetaillab->hide();
    layout->addWidget(summaryDetaillab);

    failureList = new QListWidget(this);
    failureList->setObjectName(QStringLiteral("failureList"));
    failureList->setFont(nimbara::ui::appFont(11));
    failureList->setMinimumHeight(120);
    failureList->setWordWrap(true);
    failureList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    failureList->hide();
    layout->addWidget(failureList);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    stopBtn = new QPushButton(QStringLiteral("Stop"), this);
    stopBtn->setObjectName(QStringLiteral("stopBtn"));
    connect(stopBtn, &QPushButton::clicked, this, [this] { stop(); });
    buttons->addWidget(stopBtn);
    doneBtn = new QPushButton(QStringLiteral("Done"), this);
    doneBtn->setObjectName(QStringLiteral("doneBtn"));
    doneBtn->hide();
    connect(doneBtn, &QPushButton::clicked, this, [this] { accept(); });
    buttons->addWidget(doneBtn);
    layout->addLayout(buttons);

    timer_.setInterval(kRefreshIntervalMs);
    connect(&timer_, &QTimer::timeout, this, [this] { refresh(); });
}

PRRecoveryExportSheet::~PRRecoveryExportSheet() = default;

void PRRecoveryExportSheet::watch(std::shared_ptr<RecoveryExportJob> job,
                                  std::function<void(const RecoveryExportSummary&)> ended) {
    job_ = std::move(job);
    ended_ = std::move(ended);
    saveinfoTextlab->setText(QString::fromLatin1(kWorkingText));
    summaryDetaillab->hide();
    failureList->clear();
    failureList->hide();
    stopBtn->setEnabled(true);
    stopBtn->show();
    doneBtn->hide();
    showProgress(0, job_ ? job_->total() : 0);
    timer_.start();
}

void PRRecoveryExportSheet::showProgress(std::uint64_t done, std::uint64_t total) {
    const int percent = nimbara::browser::exportPercent(done, total);
    saveProgressor->setProgressValue(static_cast<float>(percent) / 100.0f);
    savepercentlab->setText(percentText(percent));
}

void PRRecoveryExportSheet::refresh() {
    if (!job_) {
        timer_.stop();
        return;
    }
    const bool finished = job_->finished();  // read first: the counters are final once it holds
    showProgress(job_->done(), job_->total());
    if (!finished) {
        return;
    }
    timer_.stop();
    const RecoveryExportSummary summary = job_->summary();
    job_.reset();
    showSummary(summary);
    if (auto ended = std::move(ended_)) {
        ended(summary);
    }
}

void PRRecoveryExportSheet::showSummary(const RecoveryExportSummary& summary) {
    showProgress(summary.done, summary.steps);
    saveinfoTextlab->setText(nimbara::browser::recoveryExportHeadline(summary));
    QStringList detail;
    if (summary.stopped && !summary.failed.empty()) {
        detail << QStringLiteral("%1 could not be exported.").arg(items(summary.failed.size()));
    }
    detail << QStringLiteral("Export folder: %1")
                  .arg(QDir::toNativeSeparators(QString::fromStdString(summary.root.string())));
    summaryDetaillab->setText(detail.join(QLatin1Char('\n')));
    summaryDetaillab->show();
    failureList->clear();
    for (const nimbara::browser::ExportFailure& failure : summary.failed) {
        failureList->addItem(failure.item + QStringLiteral(": ") + failure.reason);
    }
    failureList->setVisible(!summary.failed.empty());
    stopBtn->hide();
    doneBtn->show();
    doneBtn->setDefault(true);
    adjustSize();
}

void PRRecoveryExportSheet::stop() {
    if (!job_) {
        return;
    }
    job_->requestStop();
    stopBtn->setEnabled(false);
    saveinfoTextlab->setText(QString::fromLatin1(kStoppingText));
}

void PRRecoveryExportSheet::reject() {
    if (job_) {
        stop();  // the sheet stays until the worker has ended
        return;
    }
    QDialog::reject();
}

namespace nimbara::browser {

QString recoveryExportHeadline(const RecoveryExportSummary& summary) {
    if (summary.stopped) {
        return QStringLiteral("The export was stopped: %1 of %2 exported.")
            .arg(summary.done)
            .arg(items(summary.steps));
    }
    if (!summary.failed.empty()) {
        return QStringLiteral("%1 could not be exported").arg(items(summary.failed.size()));
    }
    if (summary.steps == 0) {
        return QStringLiteral("The export is complete.");
    }
    return summary.steps == 1 ? QStringLiteral("1 item has been exported.")
                              : QStringLiteral("%1 items have been exported.").arg(summary.steps);
}

RecoveryExport::RecoveryExport(QObject* parent) : QObject(parent) {}

RecoveryExport::~RecoveryExport() {
    // A running export is asked to stop as the job goes, and ends on its own.
    job_.reset();
    delete sheet_.data();  // its reference to the job goes too
}

bool RecoveryExport::isRunning() const {
    return job_ && !job_->finished();
}

bool RecoveryExport::startRecoveryExport(QWidget* window, const ExportSelection& selection) {
    if (isRunning()) {
        return false;
    }
    RecoveryExportPlan plan = makeRecoveryExportPlan(selection);
    if (plan.empty()) {
        tell(window, QStringLiteral("Please select the files you want to recover."));
        return false;
    }
    const std::optional<QString> chosen = nimbara::ui::SavePanel::chooseFolder(
        window, {QStringLiteral("Recover"), QString(),
                 nimbara::cleanup::cleanExportFolderName(QDateTime::currentDateTime())});
    if (!chosen || chosen->isEmpty()) {
        return false;
    }
    const QString folder = QFileInfo(*chosen).absoluteFilePath();
    const fs::path root(QFile::encodeName(folder).toStdString());
    const QString shown = QDir::toNativeSeparators(folder);
    std::error_code ec;
    if (fs::exists(root, ec)) {
        if (!fs::is_directory(root, ec)) {
            tell(window,
                 QStringLiteral("\"%1\" is not a folder. Please choose a folder to export into.")
                     .arg(shown));
            return false;
        }
        if (!fs::is_empty(root, ec)) {
            const auto answer = nimbara::Alerts::ask(
                window, {QStringLiteral("The folder \"%1\" is not empty.").arg(shown),
                         QStringLiteral("The exported items will be added beside what it "
                                        "holds; nothing in it will be replaced."),
                         QStringLiteral("Export"), QStringLiteral("Cancel"), QString()});
            if (answer != nimbara::Alerts::Answer::Default) {
                return false;
            }
        }
    } else if (!fs::create_directories(root, ec) || ec) {
        tell(window, QStringLiteral("The folder \"%1\" can't be made: %2")
                         .arg(shown, QString::fromStdString(ec.message())));
        return false;
    }

    job_ = std::make_shared<RecoveryExportJob>(std::move(plan), root);
    lastSummary_.reset();
    if (sheet_) {
        sheet_->deleteLater();
    }
    sheet_ = new PRRecoveryExportSheet(window);
    job_->start();
    sheet_->watch(job_, [this](const RecoveryExportSummary& summary) { ended(summary); });
    sheet_->open();
    return true;
}

void RecoveryExport::ended(const RecoveryExportSummary& summary) {
    lastSummary_ = summary;
    if (!summary.stopped && summary.failed.empty()) {
        nimbara::ui::FileViewer::reveal(QString::fromStdString(summary.root.string()));
    }
}

}  // namespace nimbara::browser
