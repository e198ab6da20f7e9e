#include "app/drop_files_widget.h"

#include "jobs/path_listing.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

drop_files_widget::drop_files_widget(QWidget* parent)
    : QWidget(parent)
{
}

void drop_files_widget::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasFormat("text/uri-list"))
        event->acceptProposedAction();
}

void drop_files_widget::dropEvent(QDropEvent* event)
{
    // Emitted also when nothing usable was dropped; the window then only re-sorts.
    QStringList files;
    const QMimeData* mime = event->mimeData();
    if (mime->hasUrls()) {
        for (const QUrl& url : mime->urls()) {
            if (url.isLocalFile())
                files << url.toLocalFile();
        }
    }
    Q_EMIT files_dropped(files);
}
