#pragma once
#include "live/RtfReader.h"

class QTextDocument;

// Replaces the document's content with the note: one block per paragraph,
// one fragment per run, twips turned into pixels at 96 dots per inch.
void FillTextDocument(QTextDocument& document, const SRtfDocument& note);
