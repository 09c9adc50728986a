#pragma once

// The help window: the topics of the help file in a list, the chosen topic
// beside it. It stays open beside the main window until closed.

#include "app/help_file.h"

#include <QDialog>

#include <filesystem>

class QListWidget;
class QTextBrowser;
class QPushButton;

namespace qn {

class THelpViewer : public QDialog {
    Q_OBJECT
public:
    explicit THelpViewer(QWidget *parent = nullptr);

    // Reads the file; false with a message when it cannot.
    bool LoadFile(const std::filesystem::path &file, std::string &error);
    // Shows the topic of that context number (the first topic when there is
    // none) and brings the window up.
    void ShowContext(int context);

    int CurrentContext() const { return currentContext_; }
    QString CurrentTitle() const;

    QListWidget *TopicList;
    QTextBrowser *TopicText;
    QPushButton *CloseButton;

private:
    void showTopic(const THelpTopic &topic);

    THelpFile file_;
    int currentContext_ = 0;
};

} // namespace qn
