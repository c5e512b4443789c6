#include "gui/qt/rtf_reader.h"

#include <QColor>
#include <QMap>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cstring>
#include <optional>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/byte_reader.h"
#include "platform/cp1252.h"

namespace vs::gui {

namespace {

// Numbers in RTF are 16- or 32-bit; a longer run of digits is read to its end
// but its value saturates here.
constexpr std::int64_t kMaxParameter = 0x7FFFFFFF;
// Indents and spacing beyond 22 inches (in twips) are nonsense; clamp them.
constexpr int kMaxTwips = 31680;
constexpr int kMaxFontTableEntries = 1024;
constexpr int kMaxColorTableEntries = 1024;
constexpr int kMaxFontNameLength = 256;
// Screen pixels at 96 dots per inch: 1440 twips per inch.
constexpr double kTwipsPerPixel = 15.0;
constexpr std::size_t kMaxWordLength = 32;

struct CharState {
    bool bold = false, italic = false, underline = false;
    int halfPoints = 24;  // \fs: 12 point
    int font = -1;        // \f: index into the font table; -1 = the default font
    int color = 0;        // \cf: index into the colour table; 0 = automatic
};

struct ParagraphState {
    int leftIndent = 0, firstIndent = 0, spaceBefore = 0, spaceAfter = 0;  // twips
    Qt::Alignment alignment = Qt::AlignLeft;
};

enum class Destination { Text, FontTable, ColorTable, Skip };

struct GroupState {
    CharState character;
    ParagraphState paragraph;
    Destination destination = Destination::Text;
    int unicodeSkip = 1;  // \uc: fallback characters after each \u
};

// Destinations whose contents are not document text.
bool isSkippedDestination(std::string_view word) {
    static constexpr std::string_view kSkipped[] = {
        "author",  "buptim",  "comment", "creatim", "doccomm", "footer",    "footerf", "footerl",
        "footerr", "footnote", "header", "headerf", "headerl", "headerr",   "info",    "keywords",
        "object",  "operator", "pict",   "printim", "revtim",  "stylesheet", "subject", "title",
        "xe",      "tc",      "fldinst", "themedata", "listtable", "listoverridetable"};
    return std::find(std::begin(kSkipped), std::end(kSkipped), word) != std::end(kSkipped);
}

int clampTwips(std::int64_t v) { return static_cast<int>(std::clamp<std::int64_t>(v, -kMaxTwips, kMaxTwips)); }

class RtfParser {
public:
    RtfParser(std::string_view rtf, QTextDocument& document)
        : in_(Bytes(reinterpret_cast<const std::uint8_t*>(rtf.data()), rtf.size()), msg::InvalidRichText),
          cursor_(&document) {}

    void Run() {
        const auto start = in_.at(0, 5);
        if (!start || std::memcmp(start->data(), "{\\rtf", 5) != 0) invalid();
        while (!in_.atEnd()) {
            const char c = next();
            switch (c) {
                case '{': openGroup(); break;
                case '}':
                    if (stack_.size() == 1) {  // the outermost group is the document; anything behind it is not
                        finishParagraph(false);
                        dropTrailingEmptyParagraph();
                        closeGroup();
                        return;
                    }
                    closeGroup();
                    break;
                case '\\': controlSequence(); break;
                case '\r':
                case '\n': break;
                case '\t': onSymbol(u'\t'); break;
                default:
                    if (static_cast<unsigned char>(c) >= 0x20) onSymbol(textChar(static_cast<std::uint8_t>(c)));
                    break;
            }
        }
        invalid();  // the outermost group never closed
    }

private:
    [[noreturn]] static void invalid() { throw ERtfError(msg::InvalidRichText); }

    GroupState& state() { return stack_.back(); }

    static char16_t textChar(std::uint8_t byte) { return static_cast<char16_t>(Cp1252ToUnicode(byte)); }

    void openGroup() {
        flushText();
        fallbackLeft_ = 0;
        if (static_cast<int>(stack_.size()) >= kMaxRtfGroupDepth) invalid();
        stack_.push_back(stack_.empty() ? GroupState{} : stack_.back());
    }

    void closeGroup() {
        flushText();
        fallbackLeft_ = 0;
        if (stack_.empty()) invalid();
        if (state().destination == Destination::FontTable) commitFont();
        stack_.pop_back();
    }

    // A backslash has been read.
    void controlSequence() {
        const auto after = peek();
        if (!after) invalid();
        const char c = *after;
        if (isLetter(c)) {
            controlWord();
            return;
        }
        next();
        switch (c) {
            case '\\':
            case '{':
            case '}': onSymbol(static_cast<char16_t>(c)); break;
            case '\'': hexByte(); break;
            case '*':
                if (!stack_.empty()) state().destination = Destination::Skip;
                break;
            case '~': onSymbol(u'\u00A0'); break;
            case '_': onSymbol(u'\u2011'); break;
            case '\r':
            case '\n': onWord("par", false, 0); break;
            default:
                consumeFallback();  // \- (optional hyphen), \| and the rest show nothing
                break;
        }
    }

    // \'hh; an escape with fewer than two hex digits eats what it has and
    // shows nothing.
    void hexByte() {
        auto hexValue = [](char h) -> int {
            if (h >= '0' && h <= '9') return h - '0';
            if (h >= 'a' && h <= 'f') return h - 'a' + 10;
            if (h >= 'A' && h <= 'F') return h - 'A' + 10;
            return -1;
        };
        int value = 0, digits = 0;
        for (auto h = peek(); digits < 2 && h && hexValue(*h) >= 0; h = peek()) {
            value = value * 16 + hexValue(next());
            ++digits;
        }
        if (digits == 2) onSymbol(textChar(static_cast<std::uint8_t>(value)));
    }

    void controlWord() {
        // Words are at most 32 letters; the letters of a longer one are read
        // but it names nothing.
        std::string word;
        for (auto l = peek(); l && isLetter(*l); l = peek()) {
            next();
            if (word.size() <= kMaxWordLength) word += *l;
        }
        bool hasParameter = false, negative = false;
        std::int64_t parameter = 0;
        if (peek() == '-' && isDigit(peek(1))) {
            negative = true;
            next();
        }
        while (isDigit(peek())) {
            hasParameter = true;
            parameter = std::min(parameter * 10 + (next() - '0'), kMaxParameter);
        }
        if (negative) parameter = -parameter;
        if (peek() == ' ') next();  // the delimiting space belongs to the word
        onWord(word, hasParameter, parameter);
    }

    // Characters that stand in for a \u character are dropped; returns true
    // when this one was such a character.
    bool consumeFallback() {
        if (fallbackLeft_ <= 0) return false;
        --fallbackLeft_;
        return true;
    }

    void onSymbol(char16_t ch) {
        if (stack_.empty()) invalid();
        if (consumeFallback()) return;
        switch (state().destination) {
            case Destination::Text: text_ += QChar(ch); break;
            case Destination::FontTable:
                if (ch == u';') commitFont();
                else if (fontName_.size() < kMaxFontNameLength) fontName_ += QChar(ch);
                break;
            case Destination::ColorTable:
                if (ch == u';') commitColor();
                break;
            case Destination::Skip: break;
        }
    }

    void onWord(std::string_view word, bool hasParameter, std::int64_t parameter) {
        if (stack_.empty()) invalid();
        if (word == "bin") {  // binary data: skip its bytes, whatever the destination
            const auto n = static_cast<std::size_t>(std::max<std::int64_t>(parameter, 0));
            in_.skip(std::min(n, in_.remaining()));
            return;
        }
        GroupState& s = state();
        if (s.destination == Destination::Skip) return;
        if (word == "fonttbl") { flushText(); s.destination = Destination::FontTable; return; }
        if (word == "colortbl") { flushText(); s.destination = Destination::ColorTable; return; }
        if (isSkippedDestination(word)) { flushText(); s.destination = Destination::Skip; return; }
        if (s.destination == Destination::FontTable) {
            if (word == "f") {
                commitFont();
                fontIndex_ = static_cast<int>(parameter);
            }
            return;
        }
        if (s.destination == Destination::ColorTable) {
            const int v = static_cast<int>(std::clamp<std::int64_t>(parameter, 0, 255));
            if (word == "red") { red_ = v; colorGiven_ = true; }
            else if (word == "green") { green_ = v; colorGiven_ = true; }
            else if (word == "blue") { blue_ = v; colorGiven_ = true; }
            return;
        }
        if (word == "u") {
            unicodeChar(parameter);
            return;
        }
        if (consumeFallback()) return;

        const bool on = !hasParameter || parameter != 0;
        CharState& ch = s.character;
        ParagraphState& para = s.paragraph;
        if (word == "par") finishParagraph(true);
        else if (word == "line") onSymbol(QChar::LineSeparator);
        else if (word == "tab") onSymbol(u'\t');
        else if (word == "bullet") onSymbol(u'\u2022');
        else if (word == "endash") onSymbol(u'\u2013');
        else if (word == "emdash") onSymbol(u'\u2014');
        else if (word == "lquote") onSymbol(u'\u2018');
        else if (word == "rquote") onSymbol(u'\u2019');
        else if (word == "ldblquote") onSymbol(u'\u201C');
        else if (word == "rdblquote") onSymbol(u'\u201D');
        else if (word == "emspace" || word == "enspace") onSymbol(u' ');
        else {
            flushText();  // a format change applies only to the text after it
            if (word == "plain") ch = CharState{};
            else if (word == "b") ch.bold = on;
            else if (word == "i") ch.italic = on;
            else if (word == "ul") ch.underline = on;
            else if (word == "ulnone") ch.underline = false;
            else if (word == "fs") ch.halfPoints = hasParameter ? static_cast<int>(std::clamp<std::int64_t>(parameter, 2, 400)) : 24;
            else if (word == "f") ch.font = static_cast<int>(parameter);
            else if (word == "cf") ch.color = static_cast<int>(std::clamp<std::int64_t>(parameter, 0, kMaxColorTableEntries));
            else if (word == "pard") para = ParagraphState{};
            else if (word == "li") para.leftIndent = clampTwips(parameter);
            else if (word == "fi") para.firstIndent = clampTwips(parameter);
            else if (word == "sb") para.spaceBefore = clampTwips(std::max<std::int64_t>(parameter, 0));
            else if (word == "sa") para.spaceAfter = clampTwips(std::max<std::int64_t>(parameter, 0));
            else if (word == "ql") para.alignment = Qt::AlignLeft;
            else if (word == "qc") para.alignment = Qt::AlignHCenter;
            else if (word == "qr") para.alignment = Qt::AlignRight;
            else if (word == "qj") para.alignment = Qt::AlignJustify;
            else if (word == "uc") s.unicodeSkip = static_cast<int>(std::clamp<std::int64_t>(parameter, 0, 16));
            else if (word == "deff") defaultFont_ = static_cast<int>(parameter);
            // \rtf1, \ansi, \ansicpg1252 and every unknown word: nothing to do
        }
    }

    void unicodeChar(std::int64_t parameter) {
        // Code units above 32767 are written as negative 16-bit numbers.
        if (parameter < 0) parameter += 65536;
        char16_t unit = u'\uFFFD';
        if (parameter >= 0 && parameter <= 0xFFFF) unit = static_cast<char16_t>(parameter);
        const int skip = state().unicodeSkip;
        fallbackLeft_ = 0;
        onSymbol(unit);
        fallbackLeft_ = skip;
    }

    void commitFont() {
        const QString name = fontName_.trimmed();
        if (fontIndex_ >= 0 && !name.isEmpty() && fonts_.size() < kMaxFontTableEntries) fonts_.insert(fontIndex_, name);
        fontName_.clear();
        fontIndex_ = -1;
    }

    void commitColor() {
        if (static_cast<int>(colors_.size()) < kMaxColorTableEntries)
            colors_.push_back(colorGiven_ ? QColor(red_, green_, blue_) : QColor());  // no values: automatic
        red_ = green_ = blue_ = 0;
        colorGiven_ = false;
    }

    QTextCharFormat charFormat(const CharState& ch) const {
        QTextCharFormat f;
        f.setFontWeight(ch.bold ? QFont::Bold : QFont::Normal);
        f.setFontItalic(ch.italic);
        f.setFontUnderline(ch.underline);
        f.setFontPointSize(ch.halfPoints / 2.0);
        const int font = ch.font >= 0 ? ch.font : defaultFont_;
        if (auto it = fonts_.find(font); it != fonts_.end()) f.setFontFamilies({*it});
        if (ch.color > 0 && static_cast<std::size_t>(ch.color) < colors_.size() && colors_[ch.color].isValid())
            f.setForeground(colors_[ch.color]);
        return f;
    }

    QTextBlockFormat blockFormat(const ParagraphState& p) const {
        QTextBlockFormat f;
        f.setAlignment(p.alignment);
        f.setLeftMargin(p.leftIndent / kTwipsPerPixel);
        f.setTextIndent(p.firstIndent / kTwipsPerPixel);
        f.setTopMargin(p.spaceBefore / kTwipsPerPixel);
        f.setBottomMargin(p.spaceAfter / kTwipsPerPixel);
        // A hanging indent has a tab stop at the left indent, so that a
        // bullet and its tab line the text up with the lines below. Qt
        // measures tab stops from where the first line starts.
        if (p.firstIndent < 0) f.setTabPositions({QTextOption::Tab(-p.firstIndent / kTwipsPerPixel, QTextOption::LeftTab)});
        return f;
    }

    void flushText() {
        if (text_.isEmpty()) return;
        // A \u pair may have been cut by bad input; lone surrogates show as U+FFFD.
        for (qsizetype i = 0; i < text_.size(); ++i) {
            const QChar c = text_[i];
            const bool pairStart = c.isHighSurrogate() && i + 1 < text_.size() && text_[i + 1].isLowSurrogate();
            if (pairStart) ++i;
            else if (c.isSurrogate()) text_[i] = QChar::ReplacementCharacter;
        }
        cursor_.insertText(text_, charFormat(state().character));
        text_.clear();
    }

    // Ends the paragraph: its format is the one in force at its end.
    void finishParagraph(bool startNext) {
        if (stack_.empty()) return;
        flushText();
        cursor_.setBlockFormat(blockFormat(state().paragraph));
        if (startNext) cursor_.insertBlock(blockFormat(state().paragraph), charFormat(state().character));
    }

    // A document that ends with \par would otherwise end with an empty line.
    void dropTrailingEmptyParagraph() {
        if (cursor_.block().length() == 1 && cursor_.block().previous().isValid()) cursor_.deletePreviousChar();
    }

    // The byte `ahead` places on, or nothing past the end.
    std::optional<char> peek(std::size_t ahead = 0) const {
        const auto b = in_.at(std::uint64_t{in_.position()} + ahead, 1);
        if (!b) return std::nullopt;
        return static_cast<char>((*b)[0]);
    }
    char next() { return static_cast<char>(in_.u8()); }
    static bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static bool isDigit(std::optional<char> c) { return c && *c >= '0' && *c <= '9'; }

    ByteReader in_;
    QTextCursor cursor_;
    std::vector<GroupState> stack_;
    QString text_;
    int fallbackLeft_ = 0;

    int defaultFont_ = 0;
    QMap<int, QString> fonts_;
    int fontIndex_ = -1;
    QString fontName_;
    std::vector<QColor> colors_;
    int red_ = 0, green_ = 0, blue_ = 0;
    bool colorGiven_ = false;
};

}  // namespace

void ReadRtf(std::string_view rtf, QTextDocument& document) {
    document.clear();
    try {
        RtfParser(rtf, document).Run();
    } catch (const EReadError&) {
        document.clear();
        throw ERtfError(msg::InvalidRichText);
    } catch (...) {
        document.clear();
        throw;
    }
}

}  // namespace vs::gui
