#include "app/help_viewer.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace qn {

THelpViewer::THelpViewer(QWidget *parent) : QDialog(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Quillnook Help"));
    setModal(false);
    // Closing the main window ends the program even while help is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(640, 460);

    auto *splitter = new QSplitter(this);
    TopicList = new QListWidget(splitter);
    TopicText = new QTextBrowser(splitter);
    TopicText->setOpenLinks(false);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({180, 460});

    CloseButton = new QPushButton(QStringLiteral("Close"), this);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(CloseButton);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addLayout(buttons);

    connect(CloseButton, &QPushButton::clicked, this, &QDialog::close);
    connect(TopicList, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row < static_cast<int>(file_.Topics().size()))
            showTopic(file_.Topics()[static_cast<size_t>(row)]);
    });
    connect(TopicText, &QTextBrowser::anchorClicked, this, [this](const QUrl &url) {
        if (url.scheme() == QLatin1String("topic"))
            ShowContext(url.path().toInt());
    });
}

bool THelpViewer::LoadFile(const std::filesystem::path &file, std::string &error)
{
    THelpFile loaded;
    if (!loaded.Load(file, error))
        return false;
    file_ = std::move(loaded);
    QSignalBlocker block(TopicList);
    TopicList->clear();
    for (const THelpTopic &topic : file_.Topics())
        TopicList->addItem(QString::fromStdString(topic.Title));
    return true;
}

void THelpViewer::ShowContext(int context)
{
    const THelpTopic *topic = file_.Find(context);
    if (!topic && !file_.Topics().empty())
        topic = &file_.Topics().front();
    if (topic) {
        showTopic(*topic);
        QSignalBlocker block(TopicList);
        TopicList->setCurrentRow(static_cast<int>(topic - file_.Topics().data()));
    }
    show();
    raise();
    activateWindow();
}

QString THelpViewer::CurrentTitle() const
{
    const THelpTopic *topic = file_.Find(currentContext_);
    return topic ? QString::fromStdString(topic->Title) : QString();
}

void THelpViewer::showTopic(const THelpTopic &topic)
{
    currentContext_ = topic.Context;
    TopicText->setHtml(QString::fromStdString(TopicToHtml(topic)));
}

} // namespace qn
