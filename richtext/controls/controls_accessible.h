#pragma once

// What assistive technology sees of the tool bar's colour lists, the ruler
// and the status bar: a colour list says the chosen colour's name as its
// value, the ruler is named "Ruler" and describes the indents and tab stops
// of the paragraph at the caret, the status bar's panels read as labels.

#include <QString>

namespace qn {

class TQnRuler;

// Makes Qt's accessibility use these descriptions (once per program).
void InstallControlsAccessibility();

// "First line indent 0.5 in, left indent 0 in, right indent 0 in; tab stops
// at 1 in (left), 2.5 in (centre)", in the ruler's units.
QString RulerDescription(const TQnRuler &ruler);

} // namespace qn
