#pragma once

// What assistive technology sees of the interface widgets: a flat button is
// a push button named by its caption (without the accelerator mark), its hint
// as the description, with a press action; the ring panel is a plain,
// unnamed container (its rings are painting only); a graphic panel reads as
// the text it shows; a widget marked as a heading reads as one.

class QString;
class QWidget;

namespace qn {

// Makes Qt's accessibility use these descriptions (once per program).
void InstallWidgetAccessibility();

// Marks a label or caption panel as a heading for assistive technology.
void MarkAsHeading(QWidget *widget);

// A caption without its accelerator marks ("E&xit" -> "Exit", "&&" -> "&").
QString StripAccelerator(const QString &caption);

} // namespace qn
