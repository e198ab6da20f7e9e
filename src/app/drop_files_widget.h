#pragma once

#include <QStringList>
#include <QWidget>

class QDragEnterEvent;
class QDropEvent;

// The drop area: takes files and folders dragged from the desktop.
class drop_files_widget : public QWidget {
    Q_OBJECT

public:
    explicit drop_files_widget(QWidget* parent = nullptr);

Q_SIGNALS:
    void files_dropped(QStringList files);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};
