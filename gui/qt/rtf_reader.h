#pragma once
// Rich text (RTF) into a QTextDocument. Qt reads no RTF of its own, and the
// help documents are RTF, so this reads the part of it that they use:
// groups, the font and colour tables, paragraphs (\par, \pard, \li, \fi, \sb,
// \sa, \qc, \qr, \qj), line breaks and tabs, character formats (\plain, \b,
// \i, \ul, \fs, \f, \cf), Windows-1252 bytes (\'hh and raw), \uN with \ucN,
// the escaped \\ \{ \} and the typographic symbols (\bullet, dashes, quotes).
// Unknown control words are ignored and {\*\...} destinations, pictures,
// headers and the like are skipped whole.
#include <string_view>

#include "platform/errors.h"

class QTextDocument;

namespace vs::gui {

class ERtfError : public VsError { public: using VsError::VsError; };

namespace msg {
inline constexpr const char* InvalidRichText = "Rich text is not valid";
}

// Groups deeper than this are refused rather than followed.
inline constexpr int kMaxRtfGroupDepth = 64;

// Replaces the contents of `document` with the rich text. Fails with
// "Rich text is not valid" when the text does not start with "{\rtf", when
// its outermost group is not closed, or when groups nest deeper than
// kMaxRtfGroupDepth; the document is then left empty.
void ReadRtf(std::string_view rtf, QTextDocument& document);

}  // namespace vs::gui
