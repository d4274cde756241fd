#ifndef RECORDDISPLAY_H
#define RECORDDISPLAY_H

#include <QString>

// Whether a record text must be shown as plain text because a text field would
// not lay it out quickly: it is longer than 65,536 characters or holds a run
// of more than 1,000 characters without white space; or, when it is markup
// (@p markup), it is longer than 32,768 characters, has more than 512 tags,
// elements nested more than 32 deep or tables more than 4 deep, or a number
// of 100,000 or more inside a tag or a style element (hex colours aside).
bool needsPlainDisplay(const QString& text, bool markup);

#endif
