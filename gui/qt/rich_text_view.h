#pragma once
// A read-only rich-text view on the window's face colour with a vertical
// scroll bar (edPrintingInfo, edDateTimeInfo, edExecInfo, edVarSaveInfo,
// edGeneralHelp), fed with RTF.
#include <QTextEdit>

#include <string>
#include <string_view>

namespace vs::gui {

// Help documents are a few kilobytes; anything far larger is not one.
inline constexpr qint64 kMaxRtfFileSize = 8 * 1024 * 1024;

class RichTextView : public QTextEdit {
    Q_OBJECT
public:
    explicit RichTextView(QWidget* parent = nullptr);

    // Fails with "Rich text is not valid"; the view is then empty.
    void setRtf(std::string_view rtf);
    // Fails with "Cannot open file %s" when the file is missing, unreadable or
    // too large, and as setRtf; the view is then empty.
    void loadFile(const std::string& fileName);
};

}  // namespace vs::gui
