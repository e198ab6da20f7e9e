#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <map>
#include <string>

class QWebView;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    bool event(QEvent* e) override;

private:
    QWebView* help_window = nullptr;
    std::map<QString, std::map<std::string, std::string>> undo_info;
    QString last_image_load_path;
    QString last_gpx_load_path;
};
