// What the file can hold: the writer's rule for the characters of a cell's
// text, by which FormatRow writes a field and setVariant refuses a value, so
// that an edit the table takes can always be saved.
#pragma once

#include <cstddef>

#include "platform/Platform.h"

// The most bytes one character takes in a field.
const int kMaxFieldCharacterBytes = 16;

// The bytes that the character at text[k] becomes inside a quoted field (a
// surrogate pair is one character; units receives the code units it took):
// a character up to U+00FF its own byte, the quote doubled, a character above
// it its exact narrow form. 0 when no field can hold it so that it reads
// back: a line feed or a Ctrl-Z (the reader ends the line or the file there),
// or a character that the narrow encoding cannot hold exactly (on Windows,
// one the ANSI code page lacks; anywhere, half a surrogate pair).
int FieldCharacter(const OLECHAR* text, size_t length, size_t k, char (&out)[kMaxFieldCharacterBytes], int& units);
