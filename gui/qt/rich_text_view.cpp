#include "gui/qt/rich_text_view.h"

#include <QFile>
#include <QTextCursor>

#include "gui/qt/rtf_reader.h"
#include "platform/errors.h"

namespace vs::gui {

RichTextView::RichTextView(QWidget* parent) : QTextEdit(parent) {
    setReadOnly(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFrameShape(QFrame::NoFrame);
    QPalette face = palette();
    face.setColor(QPalette::Base, face.color(QPalette::Window));
    setPalette(face);
}

void RichTextView::setRtf(std::string_view rtf) {
    try {
        ReadRtf(rtf, *document());
        moveCursor(QTextCursor::Start);  // a document is read from its top
    } catch (...) {
        clear();
        throw;
    }
}

void RichTextView::loadFile(const std::string& fileName) {
    clear();
    QFile file(QString::fromStdString(fileName));
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxRtfFileSize) throw EFOpenError(cannotOpenFile(fileName));
    const QByteArray bytes = file.read(kMaxRtfFileSize + 1);
    if (bytes.size() > kMaxRtfFileSize || file.error() != QFileDevice::NoError) throw EFOpenError(cannotOpenFile(fileName));
    setRtf(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

}  // namespace vs::gui
