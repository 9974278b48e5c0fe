#include "params/list_page.h"

#include <QFileInfo>
#include <QFont>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "params/page_widgets.h"
#include "params/parameter_file.h"
#include "params/parameter_list.h"
#include "ui/dialog_key_filter.h"
#include "ui/user_prompts.h"

using page::Q;
using page::S;

CDlgFileNewSave::CDlgFileNewSave(torvane::DriveSession& session, QWidget* parent)
    : QDialog(parent), session_(session) {
    setObjectName("listPage");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setModal(true);
    DialogKeyFilter::Install(this);

    auto* group = new QGroupBox("Parameter List", this);
    group->setObjectName("parameterListGroup");
    list_ = new QListWidget(group);
    list_->setObjectName("parameterList");
    list_->setAccessibleName("Parameter List");
    list_->setSortingEnabled(false);
    list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list_->setAlternatingRowColors(true);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(list_);

    saveButton_ = page::Button(this, "Saved to a file", "saveButton");
    downloadButton_ = page::Button(this, "Downloaded to the drive", "downloadButton");
    openButton_ = page::Button(this, "Open File", "openButton");
    backButton_ = page::Button(this, "Back", "backButton");
    finishButton_ = page::Button(this, "Finish", "finishButton");
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {saveButton_, downloadButton_, openButton_}) buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(backButton_);
    buttons->addWidget(finishButton_);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(group, 1);
    layout->addLayout(buttons);
    // Long enough for every row of a section at once, wide enough for the longest row.
    resize(540, 620);

    connect(saveButton_, &QPushButton::clicked, this, [this] { SaveToFile(); });
    connect(downloadButton_, &QPushButton::clicked, this, [this] { Download(); });
    connect(openButton_, &QPushButton::clicked, this, [this] { OpenFile(); });
    connect(backButton_, &QPushButton::clicked, this, [this] { Back(); });
    connect(finishButton_, &QPushButton::clicked, this, [this] { done(kFinished); });
}

int CDlgFileNewSave::exec() {
    Initialise();
    if (OpenAtOnce && ListMode == torvane::ListMode::Open) {
        // Once the page is up, so the open dialog stands over it.
        QTimer::singleShot(0, this, [this] { OpenFile(); });
    }
    OpenAtOnce = false;
    return QDialog::exec();
}

void CDlgFileNewSave::reject() {
    done(kClosed);
}

void CDlgFileNewSave::Initialise() {
    list_->clear();
    openButton_->setEnabled(false);
    saveButton_->setEnabled(true);
    downloadButton_->setEnabled(true);
    backButton_->setEnabled(true);
    switch (ListMode) {
        case torvane::ListMode::New:
            setWindowTitle(QString::fromUtf8(kNewTitle));
            FillList();
            break;
        case torvane::ListMode::Open:
            setWindowTitle(kOpenTitle);
            openButton_->setEnabled(true);
            saveButton_->setEnabled(false);
            downloadButton_->setEnabled(false);
            backButton_->setEnabled(false);
            break;
        case torvane::ListMode::Save:
            setWindowTitle(kSaveTitle);
            backButton_->setEnabled(false);
            FillList();
            break;
    }
}

void CDlgFileNewSave::FillList() {
    list_->clear();
    QFont caption = list_->font();
    caption.setBold(true);
    for (const torvane::ListRow& row : torvane::ParameterListRows(session_.State().Params)) {
        auto* item = new QListWidgetItem(Q(row.Text()), list_);
        // Group captions stand out from the values under them.
        if (!row.Label.empty() && row.Value.empty()) item->setFont(caption);
    }
}

QStringList CDlgFileNewSave::Rows() const {
    QStringList rows;
    for (int i = 0; i < list_->count(); ++i) rows << list_->item(i)->text();
    return rows;
}

void CDlgFileNewSave::SaveToFile() {
    const torvane::DriveState& state = session_.State();
    ParameterImage = torvane::EncodeParameterImage(state.Params, state.CountsPerRev);
    QString path = Prompts().SaveFileNameWithDefaults("Save As", kFileFilter,
                                                      QString::fromUtf8(kInitialFileName), "dat");
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += ".dat";
    const torvane::FileResult written = torvane::WriteParameterFile(S(path), ParameterImage);
    if (!written.Ok) Prompts().Notice(Q(written.Message), UserPrompts::Icon::Error);
}

void CDlgFileNewSave::OpenFile() {
    QString path = OpenFolder.isEmpty()
                       ? Prompts().OpenFileName("Open", kFileFilter)
                       : Prompts().OpenFileNameIn("Open", kFileFilter, OpenFolder);
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty() && !QFileInfo::exists(path)) path += ".dat";
    Prompts().Notice(path);
    // The image changes only when the whole file was read.
    const torvane::FileResult read = torvane::ReadParameterFile(S(path), ParameterImage);
    if (!read.Ok) {
        Prompts().Notice(Q(read.Message), UserPrompts::Icon::Error);
        return;
    }
    torvane::DriveState& state = session_.State();
    torvane::DecodeParameterImage(ParameterImage, state.Params, state.CountsPerRev);
    FillList();
    downloadButton_->setEnabled(true);
    saveButton_->setEnabled(true);
}

void CDlgFileNewSave::Download() {
    if (!session_.IsOpen()) return;
    torvane::DriveSession::BusyScope busy(session_);
    lastDownload_ = torvane::DownloadFromListPage(session_.Link(), backup_, ListMode,
                                                  ListMode == torvane::ListMode::Open);
}

void CDlgFileNewSave::Back() {
    done(ListMode == torvane::ListMode::New ? kBack : kClosed);
}
