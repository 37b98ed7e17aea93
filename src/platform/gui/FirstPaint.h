#pragma once

class QApplication;

// A measuring aid for the start-up benchmark: with VELMORA_FIRST_PAINT set in the
// environment, the program writes one line at its first painted window and ends there,
//   primo-disegno <monotonic clock, ns> <processor time, ns>
// so that the time from exec to the first paint can be taken from outside. Without the
// variable nothing happens.
namespace FirstPaint {

void reportIfAsked(QApplication& app);

} // namespace FirstPaint
