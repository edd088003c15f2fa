// The demonstration a user could do by hand: with the converter dialog open over GRAM
// holding a picture, export it as 640x200 and 320x200 bitmaps, import the 320x200 one (GRAM
// takes its coarser picture), import the 640x200 one (GRAM is the picture again), exit.
// It runs on a helper thread of the host, as the user, while the host's thread runs the
// dialog.
#pragma once

#include <stdint.h>

#include <string>

struct DemoSetup {
  std::string folder;  // where the bitmaps, GRAM snapshots and screenshots go (Windows path)
  uint8_t* planes[3];  // the GRAM the host lends the plug-in
};

// Starts the helper thread; it waits for the dialog the caller opens next. Prints one line
// per step on stdout. False when the thread could not start.
bool StartDemo(const DemoSetup& setup);
// Waits for the helper thread (call once the dialog call returned) and says whether every
// step went as expected; problem says what did not.
bool FinishDemo(std::string& problem);
