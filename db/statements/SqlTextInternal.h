#pragma once
// The SQL text routines' character classes and word tests, shared by the scanner and its tests
// only. Internal to db/statements.

#include <QString>

namespace db::statements {

// Character classes; characters outside the first 256 code points belong to none of them.
namespace sqlchars {
bool IsWordBefore(char16_t c);
bool IsWordAfter(char16_t c);
bool IsLeadSkip(char16_t c);
bool IsNameChar(char16_t c);
bool IsLineEnd(char16_t c);
bool IsMacroEnd(char16_t c);
bool IsScanBlank(char16_t c);
bool IsOperatorSkip(char16_t c);
bool IsNegation(char16_t c);
bool IsComparison(char16_t c);
} // namespace sqlchars

// Whether the upper-case ASCII `word` stands at `pos` as a whole word (letters match in either case).
bool IsWordAt(const char* word, const QString& text, int pos);
// Advances `pos` past leading blanks, brackets, ';', '^' and comments of a text of length `len`.
void SkipBlanks(const QString& text, int len, int& pos);
// Whether a WHERE clause begins at `pos`.
bool IsWhereAt(const QString& text, int pos);
// Whether a WHERE clause ends at `pos`: the end of the text or a keyword that follows the clause.
bool IsWhereEndAt(const QString& text, int pos);
} // namespace db::statements
