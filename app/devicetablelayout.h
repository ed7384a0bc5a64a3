#pragma once

#include <QStringList> // a class in Qt 5, an alias in Qt 6: no forward declaration serves both

class QTableWidget;

namespace Ui {
class MainWindow;
}

// The window has a fixed size, so its texts are fitted to it rather than the other way round: where the
// platform's default font is too large for the room, a widget gets the largest smaller pixel size that fits.

// Fixes the widths of the source IP, MAC and version columns to their longest possible texts under the
// table's font, and lets the name column take the rest, with room kept for the vertical scroll bar; where even
// a name of ten of the widest characters would not fit, the table's font shrinks until it does. Works on the
// columns only, so it costs the same with any number of rows.
void layOutDeviceTable(QTableWidget *table, const QStringList &captions);

// Shrinks the parameter group's font, and one font shared by the command buttons, only as far as needed for
// every label, check box, button and line-format box to show its whole text in the current language.
void fitCaptionFonts(Ui::MainWindow &ui);
