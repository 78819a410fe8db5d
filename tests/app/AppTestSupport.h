#pragma once

// The one QApplication of the test program (offscreen unless a platform is
// set), with LC_NUMERIC back to "C" as the program has it.
void EnsureApp();

// Lets every posted event and pending paint happen.
void Settle();
